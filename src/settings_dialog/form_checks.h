#pragma once
// The checks made when OK is pressed, as ordered tables of steps over the dialog's values. The
// first failing step names the tab to show, the control to focus and what to tell the user; the
// term steps may normalise their field's text (full-width digits become half-width) as they go.

#include "platform/filesystem.h"
#include "platform/ui_sink.h"
#include "settings_dialog/form_values.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings_dialog {

inline constexpr int kScheduleTab = 0;
inline constexpr int kFileCopyTab = 1;

// Either a standard message (code with one inserted text) or a plain exclamation box.
struct Notice {
    enum class Kind { Message, Box };
    Kind kind = Kind::Message;
    int code = 0;
    std::string text;  // the inserted text, or the box's text
    std::string title; // boxes only
};

struct CheckFailure {
    int tab = kScheduleTab;
    std::string focus; // objectName of the control that gets the focus
    Notice notice;
};

struct CheckStep {
    std::function<bool(FormValues&)> passes;
    CheckFailure failure;
    // When set, the message's inserted text as it depends on the values (which item failed).
    std::function<std::string(const FormValues&)> insertedText = {};
};

// The steps of the schedule tab and of the copy tab, in the order they run; folders are looked
// for on `files`.
std::vector<CheckStep> scheduleSteps(const platform::FileSystem& files);
std::vector<CheckStep> fileCopySteps(const platform::FileSystem& files);

// The first failure of each tab, or nothing when every step passes. The copy tab passes at once
// when copying is off.
std::optional<CheckFailure> fnCheckSchedule(FormValues& v, const platform::FileSystem& files);
std::optional<CheckFailure> fnCheckFileCopy(FormValues& v, const platform::FileSystem& files);

// A term field of one to three digits, 1 to 999; the text is rewritten in its normal form.
bool checkTerm(std::string& text);

// The temporary-log term lies between 90 and 365; a term below (or not a term at all) is set to
// "90", one above to "365".
bool checkTempLogTerm(std::string& text);

void showNotice(platform::UiSink& ui, const Notice& notice);

} // namespace settings_dialog
