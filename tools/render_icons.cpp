// Writes the program's icon files for installing: a scalable SVG and PNGs of
// the sizes desktops look for, in the layout of the hicolor icon theme
// (OUT/scalable/apps/NAME.svg, OUT/48x48/apps/NAME.png, ...). They are drawn
// by the same code that draws the icon in the window.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <cstdio>

#include "ui/pictures.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: render_icons OUTPUT-FOLDER ICON-NAME\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    const QString picture = quorvel::ui::kProgramIcon;

    const QString svgFolder = out + "/scalable/apps";
    QDir().mkpath(svgFolder);
    {
        constexpr int kSide = 256;
        QSvgGenerator svg;
        svg.setFileName(svgFolder + "/" + name + ".svg");
        svg.setSize(QSize(kSide, kSide));
        svg.setViewBox(QRect(0, 0, kSide, kSide));
        svg.setTitle("Quorvel");
        QPainter painter(&svg);
        if (!quorvel::ui::paintPicture(painter, picture, kSide)) return 1;
    }
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QString("%1/%2x%2/apps").arg(out).arg(side);
        QDir().mkpath(folder);
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        quorvel::ui::paintPicture(painter, picture, side);
        painter.end();
        if (!image.save(folder + "/" + name + ".png")) {
            std::fprintf(stderr, "render_icons: cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
