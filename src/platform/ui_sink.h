#pragma once
// Everything the core asks of a user: modal message boxes, the standard messages of the message
// component, passing notices and choosing a folder. Production shows Qt widgets; headless
// operation and tests record each call. Opening the settings dialog and letting window events
// through belong to the layer that owns the windows: the core is handed callbacks for them.

#include <string>
#include <string_view>

namespace platform {

enum class MsgIcon { Exclamation, Critical, Information };

// The title of message boxes that are given none.
inline constexpr std::string_view kProgramTitle = "スケジュールバックアップ";

class UiSink {
public:
    virtual ~UiSink() = default;

    // A modal box with one OK button; returns once it is closed.
    virtual void messageBox(std::string_view text, std::string_view title, MsgIcon icon) = 0;

    // A standard message: its code, the three inserted texts, and the catalogue's text with the
    // inserted texts in place (what a person reads).
    virtual void message(int code, std::string_view text1, std::string_view text2, std::string_view text3,
                         std::string_view shownText, MsgIcon icon) = 0;

    // A passing notice that holds nothing up (a balloon at the tray icon): for what the user must
    // learn although no run is there to show a box, such as settings that can never lead to a backup.
    virtual void notice(std::string_view text, std::string_view title) = 0;

    // A folder chooser opened on `initialFolder`; "" when cancelled.
    virtual std::string chooseFolder(std::string_view title, std::string_view initialFolder) = 0;

    // The name of the program's active window; "" when none is active or there are no windows.
    virtual std::string activeWindowName() const { return {}; }
};

// Shows nothing and answers at once: for work that has nobody to tell (the health check reads
// the settings through the same code as a run; a signal ends a run from a thread of its own).
class SilentUiSink final : public UiSink {
public:
    void messageBox(std::string_view, std::string_view, MsgIcon) override {}
    void message(int, std::string_view, std::string_view, std::string_view, std::string_view, MsgIcon) override {}
    void notice(std::string_view, std::string_view) override {}
    std::string chooseFolder(std::string_view, std::string_view) override { return {}; }
};

// Writes one line per event to standard error and answers at once:
//   MSGBOX<TAB>icon<TAB>title<TAB>text
//   MESSAGE<TAB>code<TAB>text1<TAB>text2<TAB>text3<TAB>the catalogue's text as shown
//   DIALOG<TAB>settings
//   NOTICE<TAB>title<TAB>text
// CR, LF and TAB inside a text are written as the two characters \r, \n and \t.
class HeadlessUiSink : public UiSink {
public:
    void messageBox(std::string_view text, std::string_view title, MsgIcon icon) override;
    void message(int code, std::string_view text1, std::string_view text2, std::string_view text3,
                 std::string_view shownText, MsgIcon icon) override;
    void notice(std::string_view text, std::string_view title) override;
    std::string chooseFolder(std::string_view title, std::string_view initialFolder) override;
    // Nobody can open the dialog here: the DIALOG line stands for it. Headless operation hands
    // this to the scheduler as its settings opener.
    virtual void openSettingsDialog();

    static std::string escape(std::string_view text);
    static std::string_view iconName(MsgIcon icon);

protected:
    virtual void writeLine(const std::string& line);
};

} // namespace platform
