// Renders the program's icon as PNG files for the desktop's icon theme, from
// the same drawing the program shows: render-icon FOLDER SIZE...
// writes FOLDER/SIZExSIZE/apps/kelvane.png for each size.
#include "dialogs/Pictures.h"

#include <QDir>
#include <QImage>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER SIZE...\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        bool isNumber = false;
        const int size = QByteArray(argv[i]).toInt(&isNumber);
        if (!isNumber || size < 1) {
            std::fprintf(stderr, "render-icon: not a size: %s\n", argv[i]);
            return 2;
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        const QString file = dir + QStringLiteral("/kelvane.png");
        if (!QDir().mkpath(dir) || !pictures::programIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "render-icon: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
