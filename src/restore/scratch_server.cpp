#include "restore/scratch_server.h"

#include "common/password.h"
#include "core/connection.h"
#include "core/settings.h"
#include "data/variant_convert.h"

#include <charconv>

namespace restore {
namespace {

// Restores and checks run as long as the database needs; a stop ends them through the cancel.
constexpr int kNoTimeout = 0;

std::optional<std::size_t> columnOf(const data::ResultTable& table, std::string_view name) {
    for (std::size_t c = 0; c < table.columns.size(); ++c)
        if (table.columns[c] == name)
            return c;
    return std::nullopt;
}

std::string textOf(const data::Variant& value) {
    if (const auto* text = std::get_if<std::string>(&value))
        return *text;
    if (const auto* number = std::get_if<std::int64_t>(&value))
        return std::to_string(*number);
    if (const auto* real = std::get_if<double>(&value)) {
        char buffer[64];
        const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, *real, std::chars_format::fixed, 0);
        return ec == std::errc() ? std::string(buffer, end) : std::string();
    }
    return {};
}

// LSNs are numeric(25,0) on a real server and may arrive as text, integer or decimal.
std::uint64_t numberOf(const data::Variant& value) {
    const std::string text = textOf(value);
    std::uint64_t number = 0;
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

} // namespace

std::string sqlText(std::string_view text) {
    std::string out = "N'";
    for (char c : text) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

ScratchServer::ScratchServer(const core::ProgramContext& ctx) : ctx_(ctx) {}

bool ScratchServer::open() {
    std::string user, password;
    if (core::fnGetDbLogin(ctx_, user, password) != core::DbObjectFailure::None) {
        error_ = "the login of MSDE_DBTOOL.INI [(local)] is missing or cannot be deciphered";
        return false;
    }
    const data::DataEnv env = ctx_.dataEnv();
    auto target = data::loginTarget(env.odbcDriver, core::fnGetServerName(ctx_), "master", user, password);
    common::wipe(password);
    if (!target) {
        error_ = "the server name of ZUZOR.INI [DATABASE] SERVER_NAME cannot be used";
        return false;
    }
    const data::LibStatus status = connection_.open(*target, env.loginTimeoutSeconds);
    common::wipe(target->password);
    if (status != data::libstatus::kOk) {
        error_ = connection_.lastErrorText();
        return false;
    }
    connection_.setCommandTimeout(kNoTimeout);
    return true;
}

bool ScratchServer::run(std::string_view sql) {
    std::int64_t affected = 0;
    if (connection_.execute(sql, affected) == data::libstatus::kOk)
        return true;
    error_ = connection_.lastErrorText();
    return false;
}

bool ScratchServer::query(std::string_view sql, data::ResultTable& table) {
    if (connection_.query(sql, table) == data::libstatus::kOk)
        return true;
    error_ = connection_.lastErrorText();
    return false;
}

std::optional<SetHeader> ScratchServer::header(const std::filesystem::path& file) {
    data::ResultTable table;
    if (!query("RESTORE HEADERONLY FROM DISK = " + sqlText(file.string()), table))
        return std::nullopt;
    const auto name = columnOf(table, "DatabaseName"), type = columnOf(table, "BackupType"),
               first = columnOf(table, "FirstLSN"), last = columnOf(table, "LastLSN"),
               checkpoint = columnOf(table, "CheckpointLSN"), base = columnOf(table, "DifferentialBaseLSN");
    if (table.rows.size() != 1 || !name || !type || !first || !last || !checkpoint || !base) {
        error_ = table.rows.size() > 1 ? "the file holds more than one backup set"
                                       : "RESTORE HEADERONLY did not describe one backup set";
        return std::nullopt;
    }
    const auto& row = table.rows[0];
    return SetHeader{textOf(row[*name]),         static_cast<int>(numberOf(row[*type])),
                     numberOf(row[*first]),      numberOf(row[*last]),
                     numberOf(row[*checkpoint]), numberOf(row[*base])};
}

std::optional<std::vector<SetFile>> ScratchServer::fileList(const std::filesystem::path& file) {
    data::ResultTable table;
    if (!query("RESTORE FILELISTONLY FROM DISK = " + sqlText(file.string()), table))
        return std::nullopt;
    const auto name = columnOf(table, "LogicalName"), type = columnOf(table, "Type"), size = columnOf(table, "Size");
    if (!name || !type || !size || table.rows.empty()) {
        error_ = "RESTORE FILELISTONLY did not list the files of the backup set";
        return std::nullopt;
    }
    std::vector<SetFile> files;
    for (const auto& row : table.rows) {
        const std::string kind = textOf(row[*type]);
        files.push_back({textOf(row[*name]), kind.empty() ? 'D' : kind[0], numberOf(row[*size])});
    }
    return files;
}

std::optional<std::string> ScratchServer::defaultDataFolder() {
    data::ResultTable table;
    if (!query("SELECT CAST(SERVERPROPERTY('InstanceDefaultDataPath') AS nvarchar(260)) AS folder", table))
        return std::nullopt;
    if (table.rows.empty() || textOf(table.rows[0][0]).empty()) {
        error_ = "the server does not tell its default data folder (InstanceDefaultDataPath)";
        return std::nullopt;
    }
    return textOf(table.rows[0][0]);
}

std::optional<bool> ScratchServer::scratchExists() {
    data::ResultTable table;
    if (!query("SELECT name FROM sys.databases WHERE name = " + sqlText(kScratchDatabase), table))
        return std::nullopt;
    return !table.rows.empty();
}

bool ScratchServer::restoreStep(const BackupFile& file, const std::vector<std::pair<std::string, std::string>>& moves,
                                bool last) {
    std::string sql = std::string(file.kind == core::BackupKind::Log ? "RESTORE LOG " : "RESTORE DATABASE ") +
                      std::string(kScratchDatabase) + " FROM DISK = " + sqlText(file.path.string()) + " WITH ";
    for (const auto& [logical, physical] : moves)
        sql += "MOVE " + sqlText(logical) + " TO " + sqlText(physical) + ", ";
    sql += last ? "RECOVERY, CHECKSUM" : "NORECOVERY, CHECKSUM";
    return run(sql);
}

bool ScratchServer::checkScratch() {
    return run("DBCC CHECKDB (" + std::string(kScratchDatabase) + ") WITH NO_INFOMSGS, ALL_ERRORMSGS");
}

bool ScratchServer::dropScratch() {
    return run("DROP DATABASE " + std::string(kScratchDatabase));
}

} // namespace restore
