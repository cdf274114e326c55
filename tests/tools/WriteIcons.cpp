// Writes the application icon as PNG files of the usual sizes into a folder, for installing
// under share/icons/hicolor. Run at build time on the offscreen platform.
#include <QDir>
#include <QGuiApplication>

#include "ui/Artwork.h"

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QIcon icon = ApplicationIcon();
    for (const int nSize : {16, 24, 32, 48, 64, 128, 256}) {
        if (!icon.pixmap(nSize, nSize)
                 .save(folder.filePath(QStringLiteral("mergix-%1.png").arg(nSize))))
            return 1;
    }
    return 0;
}
