#include "setup/settings_writer.h"

#include "common/password.h"
#include "common/string_utils.h"
#include "core/settings.h"
#include "platform/codepage.h"
#include "platform/profile.h"

#include <system_error>

namespace setup {
namespace {

namespace fs = std::filesystem;

struct Key {
    std::string_view section, key;
    std::string value;
};

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names)
        out += (out.empty() ? "" : "\t") + name;
    return out;
}

std::vector<Key> zuzorKeys(const Answers& a) {
    return {{"DATABASE", "SERVER_NAME", a.server},
            {"DATABASE", "DB_NAME", a.productDatabase},
            {"SABRELUND", "PATH", a.productFolder},
            {"GIJYUTU", "PATH", a.documentsFolder}};
}

// The keys of MSDE_DBTOOL.INI the answers cover, in the order the sections appear in a new file.
std::vector<Key> scheduleKeys(const Answers& a, const std::string& storedPassword) {
    std::vector<Key> keys{{"Schedule", "Db", joined(a.databases)},
                          {"Schedule", "Path", a.backupFolder},
                          {"Schedule", "LocalPreserveTerm", a.localTerm}};
    if (!a.tempLogTerm.empty())
        keys.push_back({"Schedule", "TEMPLOGTERM", a.tempLogTerm});
    const char* const sections[] = {"ScheduleAll", "ScheduleDiff", "ScheduleLOG"};
    for (std::size_t slot = 0; slot < a.schedules.size(); ++slot) {
        keys.push_back({sections[slot], "Day", a.schedules[slot].day});
        keys.push_back({sections[slot], "Time", a.schedules[slot].time});
    }
    keys.push_back({"FILE_COPY", "EXECUTE", a.copy ? "1" : "0"});
    if (a.copy) {
        keys.push_back({"FILE_COPY", "DBBACKUPFILE_DIR", a.copyFolder});
        keys.push_back({"FILE_COPY", "KEYFILE_DIR", a.certificateCopyFolder});
        keys.push_back({"FILE_COPY", "GIJYUTUFILE_DIR", a.documentsCopyFolder});
        keys.push_back({"FILE_COPY", "OutSidePreserveTerm", a.copyTerm});
    }
    keys.push_back({"(local)", "USER_NAME", a.login});
    keys.push_back({"(local)", "PASSWORD", storedPassword});
    return keys;
}

std::string describe(const Key& k) {
    return "[" + std::string(k.section) + "] " + std::string(k.key);
}

// Writes `keys` into a copy of `file` beside it, then puts the copy in its place.
std::error_code replaceWithKeys(const fs::path& file, const std::vector<Key>& keys) {
    fs::path staged = file;
    staged += ".setup-new";
    std::error_code ec;
    fs::remove(staged, ec);
    if (fs::exists(file, ec)) {
        fs::copy_file(file, staged, ec);
        if (ec)
            return ec;
    }
    for (const Key& k : keys)
        if ((ec = platform::profileWrite(staged, k.section, k.key, k.value)))
            break;
    if (!ec)
        fs::rename(staged, file, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(staged, ignored);
    }
    return ec;
}

WriteResult writeZuzor(const core::ProgramContext& ctx, const Answers& a) {
    WriteResult result;
    const fs::path file = core::fnGetZuzorIniPath(ctx);
    const bool existed = zuzorIniExists(ctx);
    std::vector<Key> keys;
    std::string added;
    for (Key& k : zuzorKeys(a)) {
        if (k.value.empty() || (existed && !common::trim(core::fnGetZuzorIni(ctx, k.section, k.key)).empty()))
            continue;
        added += (added.empty() ? "" : ", ") + describe(k);
        keys.push_back(std::move(k));
    }
    const std::string name = file.filename().string();
    if (keys.empty()) {
        result.lines.push_back(name + ": kept as it was (it belongs to the product)");
        return result;
    }
    if (const std::error_code ec = replaceWithKeys(file, keys))
        result.error = "cannot write " + file.string() + ": " + ec.message();
    else
        result.lines.push_back(existed ? name + ": added " + added : name + ": created");
    return result;
}

} // namespace

std::string unwritableValue(const Answers& a) {
    std::vector<Key> keys = zuzorKeys(a);
    for (Key& k : scheduleKeys(a, ""))
        keys.push_back(std::move(k));
    for (const Key& k : keys) {
        // Db joins its names with TAB; inside one name a TAB would split it.
        const bool tabbed = k.key == "Db" ? false : k.value.find('\t') != std::string::npos;
        if (k.value.find_first_of("\r\n") != std::string::npos || tabbed)
            return describe(k) + ": a line end or TAB cannot be stored";
        if (platform::fromCp932(platform::toCp932(k.value)) != k.value)
            return describe(k) + ": \"" + k.value + "\" holds a character that code page 932 cannot represent";
    }
    for (const std::string& name : a.databases)
        if (name.find('\t') != std::string::npos)
            return "[Schedule] Db: a database name holds a TAB";
    return {};
}

WriteResult writeAnswers(const core::ProgramContext& ctx, const Answers& a) {
    if (std::string why = unwritableValue(a); !why.empty())
        return {why, {}};
    std::string stored = a.storedPassword;
    if (!a.password.empty()) {
        const fs::path key = common::passwordKeyPath(ctx.programDir);
        if (const std::error_code ec = common::ensurePasswordKey(key))
            return {"cannot create the key file " + key.string() + ": " + ec.message(), {}};
        const auto enciphered = common::encipherPassword(key, a.password);
        if (!enciphered)
            return {"cannot read the key file " + key.string(), {}};
        stored = *enciphered;
    }
    if (stored.empty())
        return {"no password to store for " + a.login, {}};

    WriteResult result = writeZuzor(ctx, a);
    if (!result.error.empty())
        return result;
    const fs::path file = core::fnGetScheduleIniPath(ctx);
    if (const std::error_code ec = replaceWithKeys(file, scheduleKeys(a, stored))) {
        result.error = "cannot write " + file.string() + ": " + ec.message();
        return result;
    }
    result.lines.push_back(
        file.filename().string() + ": written" +
        (a.password.empty() ? "" : " (the password enciphered with " + std::string(common::kPasswordKeyName) + ")"));
    return result;
}

} // namespace setup
