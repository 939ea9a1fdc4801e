#include "app/app_icon.h"

#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace app {
namespace {

// Sizes the icon is offered in to panels that pick one from a list.
const QList<QSize> kOfferedSizes = {{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}, {128, 128}};

void paintDrum(QPainter& p) {
    const QColor edge(0x1d, 0x47, 0x73);
    QLinearGradient body(3, 0, 22, 0);
    body.setColorAt(0, QColor(0x2f, 0x6d, 0xab));
    body.setColorAt(0.45, QColor(0x5b, 0x9b, 0xd8));
    body.setColorAt(1, QColor(0x24, 0x58, 0x8c));

    QPainterPath drum;
    drum.moveTo(3, 6);
    drum.lineTo(3, 24);
    drum.arcTo(QRectF(3, 20.5, 19, 7), 180, 180);
    drum.lineTo(22, 6);
    drum.closeSubpath();
    p.setPen(QPen(edge, 1));
    p.setBrush(body);
    p.drawPath(drum);

    // Two platters seen edge-on, and the lid.
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(3, 8.5, 19, 7), 180 * 16, 180 * 16);
    p.drawArc(QRectF(3, 14.5, 19, 7), 180 * 16, 180 * 16);
    p.setBrush(QColor(0x9c, 0xc8, 0xf0));
    p.drawEllipse(QRectF(3, 2.5, 19, 7));
}

void paintClock(QPainter& p) {
    const QPointF centre(23, 23);
    p.setPen(QPen(QColor(0x1b, 0x5e, 0x20), 1.6));
    p.setBrush(QColor(0xf4, 0xfb, 0xf4));
    p.drawEllipse(centre, 6.8, 6.8);
    p.setPen(QPen(QColor(0x21, 0x21, 0x21), 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre, centre + QPointF(0, -4.5));
    p.drawLine(centre, centre + QPointF(3.4, 0));
}

class DrawnIconEngine final : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        paintAppIcon(*painter, rect);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter painter(&pm);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pm;
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return kOfferedSizes; }
    QIconEngine* clone() const override { return new DrawnIconEngine; }
    QString key() const override { return QStringLiteral("encrt-drawn"); }
};

} // namespace

void paintAppIcon(QPainter& painter, const QRectF& target) {
    const qreal side = qMin(target.width(), target.height());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(target.center() - QPointF(side / 2, side / 2));
    painter.scale(side / 32.0, side / 32.0); // drawn on a 32 x 32 grid
    paintDrum(painter);
    paintClock(painter);
    painter.restore();
}

QIcon drawnAppIcon() {
    return QIcon(new DrawnIconEngine);
}

} // namespace app
