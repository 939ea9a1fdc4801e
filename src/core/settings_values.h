#pragma once
// The settings as the load leaves them: typed values, parsed once from MSDE_DBTOOL.INI (and the
// ZUZOR.INI fallback of the temporary-log term), so that no stage parses a text again. Where a
// rule shows or checks a value as it was written, that text is kept beside the typed value.

#include "platform/datetime.h"
#include "platform/profile.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// The three backup kinds, in the order of the due-kind slots.
enum class BackupKind : std::uint8_t { Full = 1, Diff = 2, Log = 4 };
inline constexpr std::array<BackupKind, 3> kBackupKinds = {BackupKind::Full, BackupKind::Diff, BackupKind::Log};

// The kind's code in file names, the procedure's call and the due-kind slots.
constexpr std::string_view kindCode(BackupKind kind) {
    return kind == BackupKind::Full ? "INIT" : kind == BackupKind::Diff ? "DIFF" : "LOG";
}

// A set of backup kinds.
class BackupKinds {
public:
    constexpr BackupKinds() = default;
    constexpr BackupKinds(BackupKind kind) : bits_(std::uint8_t(kind)) {}
    constexpr bool has(BackupKind kind) const { return (bits_ & std::uint8_t(kind)) != 0; }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr BackupKinds& operator|=(BackupKinds other) {
        bits_ = std::uint8_t(bits_ | other.bits_);
        return *this;
    }
    constexpr BackupKinds operator|(BackupKinds other) const { return BackupKinds(*this) |= other; }
    constexpr bool operator==(const BackupKinds&) const = default;

private:
    std::uint8_t bits_ = 0;
};

// A retention term in whole days, with its text as the load kept it: the file's own text when
// its value is in range ("12abc" keeps 12 days and is logged as "12abc"), else the default.
struct Term {
    std::chrono::days days{0};
    std::string text;
    // The setting as written is no number of days the program can trust: the settings check
    // refuses it, or only its leading digits are a number ("3O" with a letter O would be read as
    // 3). The deletion it governs is skipped rather than made with a guessed term.
    bool refused = false;
    std::string written = {}; // "key=value" as the file holds it, for the line that names it
};

// One kind's schedule. The weekday mask uses Monday 1 ... Saturday 32, Sunday 64.
struct Schedule {
    std::string dayText, timeText; // as loaded: trimmed, or "NON" for an optional kind that is off
    std::uint8_t weekdays = 0;     // the Day as the leading-number parse reads it; 0 never matches
    // The minute of the day; none when the Time is no "hh:mm" text (such a schedule is never due).
    std::optional<std::chrono::minutes> time;
};

// The weekday mask of a Day text as the leading-number parse reads it ("96abc" is 96; "NON", ""
// and values outside 0..2^31-1 are 0).
std::uint8_t weekdayMaskOf(std::string_view day);

// Reads a schedule from its texts the way the evaluation uses them.
Schedule scheduleFromTexts(std::string_view day, std::string_view time);

// The term rule of the load: a text whose leading-number value is from 1 to `highest` is kept,
// anything else gives `fallback`.
Term termFromText(std::string_view text, double highest, std::string_view fallback);

// The values of MSDE_DBTOOL.INI as fnLoadSettings leaves them. Folders stay texts: every user
// joins them with "/" and a name, and logs the result byte for byte.
struct Settings {
    std::vector<std::string> databases; // [Schedule] Db, split at TAB
    std::string path;                   // [Schedule] Path, the local backup folder
    // [ScheduleAll], [ScheduleDiff], [ScheduleLOG], in the order of kBackupKinds.
    std::array<Schedule, 3> schedules;
    std::string dbBackupFileDir; // [FILE_COPY] DBBACKUPFILE_DIR
    std::string keyFileDir;      // [FILE_COPY] KEYFILE_DIR
    std::string gijyutuFileDir;  // [FILE_COPY] GIJYUTUFILE_DIR
    bool copyEnabled = true;     // [FILE_COPY] EXECUTE: anything but "0" copies
    Term localPreserveTerm;      // [Schedule] LocalPreserveTerm
    Term outSidePreserveTerm;    // [FILE_COPY] OutSidePreserveTerm
    Term tempLogTerm;            // [Schedule] TEMPLOGTERM or its fallback

    const Schedule& schedule(BackupKind kind) const { return schedules[slotOf(kind)]; }
    Schedule& schedule(BackupKind kind) { return schedules[slotOf(kind)]; }
    static constexpr std::size_t slotOf(BackupKind kind) {
        return kind == BackupKind::Full ? 0 : kind == BackupKind::Diff ? 1 : 2;
    }
};

// Which MSDE_DBTOOL.INI and ZUZOR.INI the settings were loaded from, and in which versions.
struct SettingsFileVersions {
    std::filesystem::path scheduleIni, zuzorIni;
    platform::FileVersion schedule, zuzor;
    bool operator==(const SettingsFileVersions&) const = default;
};

} // namespace core
