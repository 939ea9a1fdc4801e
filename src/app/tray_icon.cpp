#include "app/tray_icon.h"

#include "app/app_icon.h"
#include "app/app_texts.h"

#include <QAction>
#include <QCursor>
#include <QMenu>

namespace app {
namespace {

QString q(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

} // namespace

TrayIcon::TrayIcon(QObject* parent) : QSystemTrayIcon(parent), menu_(std::make_unique<QMenu>()) {
    setIcon(drawnAppIcon());
    setToolTip(q(kTrayTip));

    menu_->setObjectName(QStringLiteral("PopMenu1"));
    setUp_ = menu_->addAction(q(kMenuSetUp));
    setUp_->setObjectName(QStringLiteral("PopMenu1_SetUp"));
    menu_->addSeparator();
    end_ = menu_->addAction(q(kMenuEnd));
    end_->setObjectName(QStringLiteral("PopMenu1_End"));

    connect(setUp_, &QAction::triggered, this, &TrayIcon::setUpChosen);
    connect(end_, &QAction::triggered, this, &TrayIcon::endChosen);
    // The menu is opened here rather than handed to setContextMenu(), which would leave the choice
    // of button to the platform.
    connect(this, &QSystemTrayIcon::activated, this, &TrayIcon::handleActivation);
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::handleActivation(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Context)
        return;
    menu_->popup(QCursor::pos());
}

} // namespace app
