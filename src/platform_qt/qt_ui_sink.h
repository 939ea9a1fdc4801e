#pragma once
// The desktop's sink: Qt message boxes, notices and folder chooser.

#include "platform/ui_sink.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

class QWidget;

namespace platform_qt {

using platform::MsgIcon;

class QtUiSink : public platform::UiSink {
public:
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
    NoticeShower showNotice_;
    std::vector<std::pair<std::string, std::string>> pendingNotices_;
    QWidget* parent_ = nullptr;
};

} // namespace platform_qt
