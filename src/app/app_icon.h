#pragma once
// The program's icon, drawn by our own code at whatever size is asked for: a database drum with
// a clock face, for "backups on a schedule".

#include <QIcon>

class QPainter;
class QRectF;

namespace app {

QIcon drawnAppIcon();

// Paints the icon into `target` (square, any size).
void paintAppIcon(QPainter& painter, const QRectF& target);

} // namespace app
