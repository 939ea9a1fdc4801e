#pragma once
// What the settings dialog shows, as plain values: loading fills them, the checks examine (and
// may normalise) them, saving writes them. The widgets only mirror these values, so every rule of
// the dialog can be exercised without a window.

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace settings_dialog {

// Monday (0) to Sunday (6), as the day check boxes are ordered.
using WeekDays = std::array<bool, 7>;

// One backup kind: its check box, its seven day boxes and its time picker ("HH:mm").
struct KindSchedule {
    bool enabled = false;
    WeekDays days{};
    std::string time = "00:00";
};

struct DatabaseItem {
    std::string name;
    bool ticked = false;
};

struct FormValues {
    // Tab 0.
    std::vector<DatabaseItem> databases;
    std::string dbBackupFolder;
    std::string localPreserveTerm;
    KindSchedule all, diff, log;
    std::string tempLogTerm;

    // Tab 1.
    bool fileCopy = false;
    std::string dbCopySource, dbCopyTarget;
    std::string outSidePreserveTerm;
    std::string keySource, keyTarget;
    std::string gijyutuSource, gijyutuTarget;
};

// The weekday mask of the settings file ("65" is Monday and Sunday) and the day boxes. A text
// that is no valid mask gives no day.
WeekDays daysFromMask(std::string_view mask);
// The mask in decimal without leading zeros; "0" when no day is ticked.
std::string maskFromDays(const WeekDays& days);

bool anyDay(const WeekDays& days);

} // namespace settings_dialog
