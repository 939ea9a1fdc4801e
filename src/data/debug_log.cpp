#include "data/debug_log.h"

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/write_all.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace data {
namespace {

std::string upperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return out;
}

void showFailure(const DataEnv& env, const std::string& text) {
    if (env.ui)
        env.ui->messageBox(text, "", platform::MsgIcon::Exclamation);
}

std::string errorText(int err) {
    return std::error_code(err, std::generic_category()).message();
}

std::string executableStem() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.stem().string();
}

} // namespace

std::string fnReadIniValue(std::string_view section, std::string_view key, std::string_view def,
                           const std::filesystem::path& file, platform::UiSink* ui) {
    std::error_code readError;
    std::string value = platform::profileRead(file, section, key, def, 2048, &readError);
    if (readError) {
        if (ui)
            ui->messageBox(file.string() + "読込みエラー", "QRCDBS_RecordSetクラス", platform::MsgIcon::Exclamation);
        // The default, not "": an empty RECORDSET_DEBUG would switch logging on.
        return std::string(def);
    }
    // A value never holds a NUL; a list of names would, and only its first name counts.
    if (const auto nul = value.find('\0'); nul != std::string::npos && nul != 0)
        value.resize(nul);
    return value;
}

std::int16_t fnFileExists(const std::filesystem::path& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec) ? -1 : 0;
}

bool fnGetSelectColumns(std::string_view sql, std::string& columns) {
    columns.clear();
    // Upper-casing ASCII keeps byte positions, so positions in the upper-cased text hold in the
    // original.
    const auto select = upperAscii(sql).find("SELECT ");
    if (select == std::string::npos)
        return false;
    const std::string_view rest = sql.substr(select + 7);
    const auto from = upperAscii(rest).find(" FROM");
    if (from == std::string::npos)
        return false;
    std::vector<std::string> parts;
    std::int16_t count = 0;
    fnSplitText(rest.substr(0, from), ",", parts, count);
    for (const auto& part : parts)
        columns += part + "\t";
    return !columns.empty();
}

void fnSplitText(std::string_view text, std::string_view separator, std::vector<std::string>& parts,
                 std::int16_t& count) {
    parts.clear();
    count = 0;
    if (separator.empty()) {
        parts.emplace_back(text);
        return;
    }
    std::size_t start = 0;
    for (auto pos = text.find(separator); pos != std::string_view::npos; pos = text.find(separator, start)) {
        parts.emplace_back(text.substr(start, pos - start));
        ++count;
        start = pos + separator.size();
    }
    parts.emplace_back(text.substr(start));
}

platform::LocalTime logNow(const DataEnv& env) {
    static const platform::SystemClock systemClock;
    return (env.clock ? *env.clock : static_cast<const platform::Clock&>(systemClock)).now();
}

std::string debugLogHeader(platform::LocalTime t) {
    return "-----<<< " + platform::formatSlashDate(t) + " " + platform::formatHms(t) + " >>> -----";
}

std::filesystem::path zuzorIniPath(const DataEnv& env) {
    return platform::findFileNoCase(env.programDir, "ZUZOR.INI");
}

std::filesystem::path programIniPath(const DataEnv& env) {
    return platform::findFileNoCase(env.programDir, executableStem() + ".INI");
}

void DebugLog::readOptions(const std::filesystem::path& settingsFile, std::string_view defaultFile) {
    on_ = fnReadIniValue("DEBUG_OPTION", "RECORDSET_DEBUG", "OFF", settingsFile, env_.ui) != "OFF";
    pending_.clear();
    fileName_.clear();
    if (on_)
        fileName_ = fnReadIniValue("DEBUG_OPTION", "RECORDSET_LOGFILE", defaultFile, settingsFile, env_.ui);
}

std::filesystem::path DebugLog::path() const {
    std::string_view name = fileName_;
    if (!name.empty() && (name.front() == '\\' || name.front() == '/'))
        name.remove_prefix(1);
    return env_.programDir / std::string(name);
}

void DebugLog::sbWriteDebugLog(std::string_view text, bool flush) {
    if (!flush) {
        pending_ += text;
        return;
    }
    const auto file = path();
    std::error_code openError;
    const int fd = platform::openForAppend(file, openError);
    if (fd < 0) {
        // The pending text stays for the next attempt.
        showFailure(env_, errorText(openError.value()) + "：指定ﾌｧｲﾙ(" + file.string() + ")をオープンできません。");
        return;
    }
    std::string line = pending_;
    if (!pending_.empty() && !text.empty())
        line += "\r\n";
    line.append(text).append("\r\n");
    pending_.clear();
    // A failing close can be the first sign of a failed write (a full disk on a network file).
    int error = platform::writeAll(fd, platform::toCp932(line)) ? 0 : errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        showFailure(env_, errorText(error) + "：指定ﾌｧｲﾙ (" + file.string() + ")の書き込み中にエラーが発生しました。");
}

void DebugLog::writeHeader() {
    sbWriteDebugLog(debugLogHeader(logNow(env_)), true);
}

} // namespace data
