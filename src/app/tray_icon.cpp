#include "app/tray_icon.h"

#include "app/app_icon.h"
#include "app/app_texts.h"
#include "platform_qt/qt_text.h"

#include <QAction>
#include <QMenu>

namespace app {

using platform_qt::toQString;

TrayIcon::TrayIcon(QObject* parent) : QSystemTrayIcon(parent), menu_(std::make_unique<QMenu>()) {
    setIcon(drawnAppIcon());
    setToolTip(toQString(kTrayTip));

    menu_->setObjectName(QStringLiteral("PopMenu1"));
    setUp_ = menu_->addAction(toQString(kMenuSetUp));
    setUp_->setObjectName(QStringLiteral("PopMenu1_SetUp"));
    menu_->addSeparator();
    end_ = menu_->addAction(toQString(kMenuEnd));
    end_->setObjectName(QStringLiteral("PopMenu1_End"));

    connect(setUp_, &QAction::triggered, this, &TrayIcon::setUpChosen);
    connect(end_, &QAction::triggered, this, &TrayIcon::endChosen);
    // The desktop opens a context menu on the right button only. Handed over this way, a panel
    // speaking the status-notifier protocol draws the menu itself, at the icon; a menu popped up
    // by hand at QCursor::pos() lands in a corner on Wayland, where a program without a window
    // does not know the pointer's position. Other activations (left, double, middle) do nothing.
    setContextMenu(menu_.get());
}

TrayIcon::~TrayIcon() = default;

} // namespace app
