#include "platform_qt/qt_ui_sink.h"

#include "platform_qt/qt_text.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QWidget>

namespace platform_qt {
namespace {

using platform::kProgramTitle;

QMessageBox::Icon qtIcon(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Critical:
        return QMessageBox::Critical;
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::Exclamation:
        break;
    }
    return QMessageBox::Warning;
}

void showBox(QWidget* parent, std::string_view text, std::string_view title, MsgIcon icon) {
    // The texts separate lines with CR alone; Qt breaks lines only at LF.
    QString body = toQString(text);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(qtIcon(icon), toQString(title.empty() ? kProgramTitle : title), body, QMessageBox::Ok, parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace

void QtUiSink::messageBox(std::string_view text, std::string_view title, MsgIcon icon) {
    showBox(parent_, text, title, icon);
}

void QtUiSink::message(int, std::string_view, std::string_view, std::string_view, std::string_view shownText,
                       MsgIcon icon) {
    showBox(parent_, shownText, kProgramTitle, icon);
}

void QtUiSink::setNoticeShower(NoticeShower show) {
    showNotice_ = std::move(show);
    if (!showNotice_)
        return;
    for (const auto& [text, title] : std::exchange(pendingNotices_, {}))
        showNotice_(text, title);
}

void QtUiSink::notice(std::string_view text, std::string_view title) {
    if (showNotice_)
        showNotice_(text, title.empty() ? kProgramTitle : title);
    else
        pendingNotices_.emplace_back(text, title.empty() ? kProgramTitle : title);
}

std::string QtUiSink::chooseFolder(std::string_view title, std::string_view initialFolder) {
    const QString chosen = QFileDialog::getExistingDirectory(parent_, toQString(title), toQString(initialFolder),
                                                             QFileDialog::ShowDirsOnly);
    return fromQString(chosen);
}

std::string QtUiSink::activeWindowName() const {
    const QWidget* active = QApplication::activeWindow();
    return active ? active->objectName().toStdString() : std::string();
}

} // namespace platform_qt
