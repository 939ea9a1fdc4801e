#pragma once
// The desktop's sink: Qt message boxes, notices and folder chooser. On the GUI thread (the settings
// dialog) a box is modal and waits for its OK. From a backup job's thread every box, message and
// notice is handed to the GUI thread in the order it was made and shown there without waiting: a
// box must never hold a backup while nobody is at the desktop.

#include "platform/ui_sink.h"

#include <QPointer>

#include <functional>
#include <string>
#include <utility>
#include <vector>

class QMessageBox;
class QWidget;

namespace platform_qt {

using platform::MsgIcon;

class QtUiSink : public platform::UiSink {
public:
    QtUiSink() = default;
    // Closes the boxes of jobs nobody closed.
    ~QtUiSink() override;
    QtUiSink(const QtUiSink&) = delete;
    QtUiSink& operator=(const QtUiSink&) = delete;

    // Shows a notice (text, title), as the tray icon does. Notices given before one is set wait
    // for it: the settings are loaded before the icon exists.
    using NoticeShower = std::function<void(std::string_view, std::string_view)>;
    void setNoticeShower(NoticeShower show);
    // The window that owns the boxes; none gives top-level boxes.
    void setParentWindow(QWidget* parent) { parent_ = parent; }

    void messageBox(std::string_view text, std::string_view title, MsgIcon icon) override;
    void message(int code, std::string_view text1, std::string_view text2, std::string_view text3,
                 std::string_view shownText, MsgIcon icon) override;
    void notice(std::string_view text, std::string_view title) override;
    std::string chooseFolder(std::string_view title, std::string_view initialFolder) override;
    std::string activeWindowName() const override;

private:
    void showPassingBox(const std::string& text, const std::string& title, MsgIcon icon);

    NoticeShower showNotice_;
    std::vector<QPointer<QMessageBox>> passingBoxes_;
    std::vector<std::pair<std::string, std::string>> pendingNotices_;
    QWidget* parent_ = nullptr;
};

} // namespace platform_qt
