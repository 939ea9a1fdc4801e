#include "platform_qt/qt_ui_sink.h"

#include "platform_qt/qt_text.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>
#include <QWidget>

#include <functional>

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

bool onGuiThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Runs `show` on the GUI thread after what was handed over before it.
void handOver(std::function<void()> show) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(show), Qt::QueuedConnection);
}

QString boxBody(std::string_view text) {
    // The texts separate lines with CR alone; Qt breaks lines only at LF.
    QString body = toQString(text);
    return body.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

void showBox(QWidget* parent, std::string_view text, std::string_view title, MsgIcon icon) {
    QMessageBox box(qtIcon(icon), toQString(title.empty() ? kProgramTitle : title), boxBody(text), QMessageBox::Ok,
                    parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace

QtUiSink::~QtUiSink() {
    for (const QPointer<QMessageBox>& box : passingBoxes_)
        delete box.data();
}

// A box of a job: shown on top of the ones before it, closed by its OK, waited for by nobody.
void QtUiSink::showPassingBox(const std::string& text, const std::string& title, MsgIcon icon) {
    auto* box = new QMessageBox(qtIcon(icon), toQString(title.empty() ? kProgramTitle : title), boxBody(text),
                                QMessageBox::Ok, parent_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    std::erase_if(passingBoxes_, [](const QPointer<QMessageBox>& b) { return b.isNull(); });
    passingBoxes_.emplace_back(box);
}

void QtUiSink::messageBox(std::string_view text, std::string_view title, MsgIcon icon) {
    if (onGuiThread()) {
        showBox(parent_, text, title, icon);
        return;
    }
    handOver([this, text = std::string(text), title = std::string(title), icon] { showPassingBox(text, title, icon); });
}

void QtUiSink::message(int, std::string_view, std::string_view, std::string_view, std::string_view shownText,
                       MsgIcon icon) {
    messageBox(shownText, kProgramTitle, icon);
}

void QtUiSink::setNoticeShower(NoticeShower show) {
    showNotice_ = std::move(show);
    if (!showNotice_)
        return;
    for (const auto& [text, title] : std::exchange(pendingNotices_, {}))
        showNotice_(text, title);
}

void QtUiSink::notice(std::string_view text, std::string_view title) {
    if (!onGuiThread()) {
        handOver([this, text = std::string(text), title = std::string(title)] { notice(text, title); });
        return;
    }
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
    std::string name;
    const auto ask = [&name] {
        const QWidget* active = QApplication::activeWindow();
        name = active ? active->objectName().toStdString() : std::string();
    };
    // Widgets belong to the GUI thread, which a job never waits on the other way round.
    if (onGuiThread())
        ask();
    else
        QMetaObject::invokeMethod(QCoreApplication::instance(), ask, Qt::BlockingQueuedConnection);
    return name;
}

} // namespace platform_qt
