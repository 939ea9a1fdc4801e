#pragma once
// The notification-area icon: our drawn icon, the tip and the menu PopMenu1. It only shows; the
// resident window decides what the commands do.

#include <QSystemTrayIcon>

#include <memory>

class QMenu;
class QAction;

namespace app {

class TrayIcon : public QSystemTrayIcon {
    Q_OBJECT
public:
    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    QMenu* PopMenu1() const { return menu_.get(); }
    QAction* PopMenu1_SetUp() const { return setUp_; }
    QAction* PopMenu1_End() const { return end_; }

signals:
    void setUpChosen();
    void endChosen();

private:
    std::unique_ptr<QMenu> menu_;
    QAction* setUp_ = nullptr;
    QAction* end_ = nullptr;
};

} // namespace app
