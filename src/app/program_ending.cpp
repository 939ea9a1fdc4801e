#include "app/program_ending.h"

#include <QApplication>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

namespace app {

ProgramEnding::ProgramEnding(SchedulerDriver& driver, core::ProgramContext& ctx, QObject* parent)
    : QObject(parent), driver_(driver), ctx_(ctx), grace_(new QTimer(this)) {
    grace_->setSingleShot(true);
    grace_->setInterval(kStopGrace);
    connect(grace_, &QTimer::timeout, this, [this] {
        driver_.jobs().writeStopLine(ctx_);
        std::fflush(nullptr);
        ::_exit(*status_); // the job's thread is held by the driver; it cannot be joined
    });
}

void ProgramEnding::request(const std::string& line, int status) {
    if (status_)
        return;
    status_ = status;
    driver_.setEnabled(false);
    if (!driver_.tick().jobRunning()) {
        QCoreApplication::exit(status);
        return;
    }
    driver_.jobs().requestStop(line);
    // A job waiting for the settings dialog it opened goes on once the dialog is closed.
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        while (QWidget* dialog = QApplication::activeModalWidget())
            if (!dialog->close())
                break;
    grace_->start();
}

void ProgramEnding::jobFinished() {
    grace_->stop();
    if (status_)
        QCoreApplication::exit(*status_);
}

} // namespace app
