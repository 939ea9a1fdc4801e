// encrt-render-icon OUTDIR SIZE...: renders the program's own icon, drawn by the same code as the
// tray icon, into OUTDIR/<SIZE>x<SIZE>/apps/encrt-schedule-backup.png for the icon theme.

#include "app/app_icon.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("Usage: encrt-render-icon OUTDIR SIZE...\n", stderr);
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        char* end = nullptr;
        const long size = std::strtol(argv[i], &end, 10);
        if (*end != '\0' || size < 8 || size > 1024) {
            std::fprintf(stderr, "encrt-render-icon: bad size \"%s\"\n", argv[i]);
            return 2;
        }
        const int side = static_cast<int>(size);
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            app::paintAppIcon(painter, QRectF(0, 0, qreal(size), qreal(size)));
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(size);
        const QString file = dir + QStringLiteral("/encrt-schedule-backup.png");
        if (!QDir().mkpath(dir) || !image.save(file, "PNG")) {
            std::fprintf(stderr, "encrt-render-icon: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
