#include "ui/pictures.h"

#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace quorvel::ui {

namespace {

// Every picture is drawn on a 16 by 16 grid and scaled to the size asked for.
using Drawing = std::function<void(QPainter&)>;

QPen pen(QColor color, double width = 1.6) {
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void checkMark(QPainter& p, QColor color) {
    p.setPen(pen(color, 2.6));
    p.drawPolyline(QPolygonF({{2.5, 8.5}, {6.5, 12.5}, {13.5, 3.5}}));
}

void dots(QPainter& p, int count) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    for (int i = 0; i < count; ++i) p.drawEllipse(QPointF(8 + (i - (count - 1) / 2.0) * 4.5, 8), 1.8, 1.8);
}

void hammer(QPainter& p, double dy) {
    p.setPen(pen(QColor(90, 60, 30), 1.8));
    p.drawLine(QPointF(4, 10 + dy), QPointF(10, 4 + dy));  // handle
    p.setPen(pen(QColor(60, 60, 70), 1));
    p.setBrush(QColor(150, 150, 165));
    p.save();
    p.translate(10.5, 3.5 + dy);
    p.rotate(-45);
    p.drawRect(QRectF(-1.6, -4, 3.2, 8));  // head
    p.restore();
}

void spamWord(QPainter& p) {
    QFont font("DejaVu Sans", 4);
    font.setPixelSize(5);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(200, 20, 20));
    p.drawText(QRectF(0, 10.5, 16, 5.5), Qt::AlignCenter, "SPAM");
}

void mailbox(QPainter& p, bool flagUp) {
    p.setPen(pen(QColor(30, 50, 100), 1));
    p.setBrush(QColor(70, 110, 200));
    QPainterPath box;
    box.moveTo(2, 14);
    box.lineTo(2, 8);
    box.arcTo(QRectF(2, 5, 8, 6), 180, -180);
    box.lineTo(14, 8);
    box.lineTo(14, 14);
    box.closeSubpath();
    p.drawPath(box);
    p.setPen(pen(QColor(90, 60, 30), 1.4));
    p.drawLine(QPointF(8, 14), QPointF(8, 15.5));
    p.setPen(pen(QColor(200, 30, 30), 1.2));
    p.setBrush(QColor(220, 40, 40));
    if (flagUp) {
        p.drawLine(QPointF(12, 9), QPointF(12, 2));
        p.drawRect(QRectF(12, 2, 3, 2.2));
    } else {
        p.drawLine(QPointF(12, 10), QPointF(15.5, 10));
    }
}

void door(QPainter& p, bool colour) {
    p.setPen(pen(QColor(60, 60, 60), 1));
    p.setBrush(colour ? QColor(160, 100, 50) : QColor(150, 150, 150));
    p.drawRect(QRectF(4, 1.5, 8, 13));
    p.setBrush(colour ? QColor(250, 210, 60) : QColor(90, 90, 90));
    p.drawEllipse(QPointF(10, 8.5), 0.8, 0.8);
    if (colour) {
        p.setPen(pen(QColor(30, 140, 30), 1.6));
        p.drawLine(QPointF(12.5, 8), QPointF(15.5, 8));
        p.drawPolyline(QPolygonF({{14, 6.5}, {15.5, 8}, {14, 9.5}}));
    }
}

void stopSign(QPainter& p) {
    QPolygonF octagon;
    for (int i = 0; i < 8; ++i) {
        const double a = (22.5 + 45 * i) * 3.14159265 / 180;
        octagon << QPointF(8 + 7 * std::cos(a), 8 + 7 * std::sin(a));
    }
    p.setPen(pen(Qt::white, 0.8));
    p.setBrush(QColor(200, 20, 20));
    p.drawPolygon(octagon);
    p.setPen(pen(Qt::white, 1.8));
    p.drawLine(QPointF(5, 8), QPointF(11, 8));
}

void envelope(QPainter& p, QColor fill) {
    p.setPen(pen(QColor(70, 70, 70), 0.9));
    p.setBrush(fill);
    p.drawRect(QRectF(1.5, 4, 13, 9));
    p.drawPolyline(QPolygonF({{1.5, 4}, {8, 9}, {14.5, 4}}));
}

void gear(QPainter& p) {
    p.setPen(pen(QColor(70, 70, 80), 2.2));
    for (int i = 0; i < 8; ++i) {
        const double a = i * 3.14159265 / 4;
        p.drawLine(QPointF(8 + 4.5 * std::cos(a), 8 + 4.5 * std::sin(a)), QPointF(8 + 6.5 * std::cos(a), 8 + 6.5 * std::sin(a)));
    }
    p.setPen(pen(QColor(70, 70, 80), 1));
    p.setBrush(QColor(160, 160, 175));
    p.drawEllipse(QPointF(8, 8), 4.8, 4.8);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8, 8), 1.8, 1.8);
}

const QHash<QString, Drawing>& drawings() {
    static const QHash<QString, Drawing> all = {
        {"B0", [](QPainter& p) { checkMark(p, QColor(210, 20, 20)); }},
        {"B1",
         [](QPainter& p) {
             QFont f("DejaVu Sans");
             f.setPixelSize(15);
             f.setBold(true);
             p.setFont(f);
             p.setPen(QColor(20, 60, 210));
             p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, "?");
         }},
        {"B2", [](QPainter& p) { checkMark(p, Qt::black); }},
        {"B3",  // a pointing hand
         [](QPainter& p) {
             p.setPen(pen(QColor(120, 80, 40), 0.9));
             p.setBrush(QColor(250, 210, 160));
             p.drawRoundedRect(QRectF(2, 7, 7, 6), 1.5, 1.5);
             p.drawRoundedRect(QRectF(7, 7, 7.5, 2.2), 1, 1);
         }},
        {"B4",  // an eye
         [](QPainter& p) {
             QPainterPath eye;
             eye.moveTo(1, 8);
             eye.quadTo(8, 1, 15, 8);
             eye.quadTo(8, 15, 1, 8);
             p.setPen(pen(QColor(40, 40, 40), 1));
             p.setBrush(Qt::white);
             p.drawPath(eye);
             p.setBrush(QColor(40, 110, 200));
             p.drawEllipse(QPointF(8, 8), 2.8, 2.8);
             p.setBrush(Qt::black);
             p.drawEllipse(QPointF(8, 8), 1.2, 1.2);
         }},
        {"B5",  // a pair of red lips
         [](QPainter& p) {
             QPainterPath lips;
             lips.moveTo(1, 8);
             lips.quadTo(5, 3, 8, 6);
             lips.quadTo(11, 3, 15, 8);
             lips.quadTo(8, 15, 1, 8);
             p.setPen(pen(QColor(130, 0, 20), 0.8));
             p.setBrush(QColor(220, 20, 50));
             p.drawPath(lips);
             p.drawLine(QPointF(2, 8), QPointF(14, 8));
         }},
        {"B6",  // an ambulance
         [](QPainter& p) {
             p.setPen(pen(QColor(60, 60, 60), 0.8));
             p.setBrush(Qt::white);
             p.drawRect(QRectF(1, 4, 10, 7));
             p.drawRect(QRectF(11, 6.5, 4, 4.5));
             p.setBrush(Qt::black);
             p.drawEllipse(QPointF(4, 12), 1.5, 1.5);
             p.drawEllipse(QPointF(12, 12), 1.5, 1.5);
             p.setPen(pen(QColor(220, 20, 20), 1.5));
             p.drawLine(QPointF(6, 5.5), QPointF(6, 9.5));
             p.drawLine(QPointF(4, 7.5), QPointF(8, 7.5));
         }},
        {"B7",  // a heart
         [](QPainter& p) {
             QPainterPath heart;
             heart.moveTo(8, 14);
             heart.cubicTo(-2, 7, 3, 0, 8, 5);
             heart.cubicTo(13, 0, 18, 7, 8, 14);
             p.setPen(Qt::NoPen);
             p.setBrush(QColor(230, 30, 60));
             p.drawPath(heart);
         }},
        {"B8",  // a running figure
         [](QPainter& p) {
             p.setPen(Qt::NoPen);
             p.setBrush(QColor(30, 30, 30));
             p.drawEllipse(QPointF(10, 2.8), 1.8, 1.8);
             p.setPen(pen(QColor(30, 30, 30), 1.7));
             p.drawLine(QPointF(9, 5), QPointF(7, 9.5));
             p.drawPolyline(QPolygonF({{7, 9.5}, {9.5, 11.5}, {9, 15}}));
             p.drawPolyline(QPolygonF({{7, 9.5}, {5, 12}, {2, 12}}));
             p.drawPolyline(QPolygonF({{3.5, 6}, {6, 5.5}, {9, 5}, {11, 7.5}, {13.5, 7}}));
         }},
        {"B9",  // a smiling face
         [](QPainter& p) {
             p.setPen(pen(QColor(120, 90, 0), 0.9));
             p.setBrush(QColor(255, 215, 40));
             p.drawEllipse(QPointF(8, 8), 6.8, 6.8);
             p.setBrush(Qt::black);
             p.drawEllipse(QPointF(5.7, 6), 0.9, 1.2);
             p.drawEllipse(QPointF(10.3, 6), 0.9, 1.2);
             p.setBrush(Qt::NoBrush);
             p.setPen(pen(Qt::black, 1));
             p.drawArc(QRectF(4.5, 5.5, 7, 6), 200 * 16, 140 * 16);
         }},
        {"B10",  // a wizard
         [](QPainter& p) {
             p.setPen(pen(QColor(30, 20, 90), 0.8));
             p.setBrush(QColor(70, 50, 170));
             p.drawPolygon(QPolygonF({{8, 0.5}, {12.5, 9}, {3.5, 9}}));
             p.setBrush(QColor(250, 210, 160));
             p.drawEllipse(QPointF(8, 10.5), 2.5, 2);
             p.setBrush(Qt::white);
             p.drawPolygon(QPolygonF({{5.5, 11}, {10.5, 11}, {8, 15.5}}));
             p.setPen(pen(QColor(250, 230, 60), 1));
             p.drawPoint(QPointF(8, 5));
         }},
        {"B11",  // a green arrow
         [](QPainter& p) {
             p.setPen(Qt::NoPen);
             p.setBrush(QColor(20, 160, 40));
             p.drawPolygon(QPolygonF({{1.5, 6}, {8.5, 6}, {8.5, 2.5}, {14.5, 8}, {8.5, 13.5}, {8.5, 10}, {1.5, 10}}));
         }},
        {"B12", [](QPainter& p) { dots(p, 1); }},
        {"B13", [](QPainter& p) { dots(p, 2); }},
        {"B14", [](QPainter& p) { dots(p, 3); }},
        {"imUP", [](QPainter& p) { mailbox(p, true); }},
        {"imDown", [](QPainter& p) { mailbox(p, false); }},
        {"btList", [](QPainter& p) { mailbox(p, false); }},
        {"imStop", [](QPainter& p) { stopSign(p); }},
        {"imBye", [](QPainter& p) { door(p, true); }},
        {"imDoor", [](QPainter& p) { door(p, false); }},
        {"imHammer",
         [](QPainter& p) {
             hammer(p, 0);
             spamWord(p);
         }},
        {"ANIM1",
         [](QPainter& p) {
             hammer(p, 0);
             spamWord(p);
         }},
        {"ANIM2", [](QPainter& p) { hammer(p, 2); }},
        {"btOptions", [](QPainter& p) { gear(p); }},
        {"btGeneral", [](QPainter& p) { gear(p); }},
        {"btMark",
         [](QPainter& p) {
             envelope(p, QColor(250, 250, 235));
             p.scale(0.6, 0.6);
             p.translate(10, 10);
             checkMark(p, QColor(210, 20, 20));
         }},
        {"btDelete",
         [](QPainter& p) {
             p.setPen(pen(QColor(60, 60, 60), 1));
             p.setBrush(QColor(180, 180, 190));
             p.drawRect(QRectF(4, 4.5, 8, 10));
             p.drawLine(QPointF(2.5, 4), QPointF(13.5, 4));
             p.drawLine(QPointF(6.5, 2.5), QPointF(9.5, 2.5));
             p.setPen(pen(QColor(210, 20, 20), 1.6));
             p.drawLine(QPointF(6, 7), QPointF(10, 12));
             p.drawLine(QPointF(10, 7), QPointF(6, 12));
         }},
        {"btRemark",
         [](QPainter& p) {
             hammer(p, 1);
             p.setPen(pen(QColor(20, 60, 210), 1.4));
             p.drawArc(QRectF(1, 1, 14, 14), 200 * 16, 120 * 16);
         }},
        {"btResetAll",
         [](QPainter& p) {
             envelope(p, QColor(250, 250, 235));
             p.setPen(pen(QColor(20, 140, 40), 1.6));
             p.drawArc(QRectF(5, 5.5, 6, 6), 30 * 16, 300 * 16);
         }},
        {"btLaunch",
         [](QPainter& p) {
             envelope(p, QColor(255, 240, 180));
             p.setPen(Qt::NoPen);
             p.setBrush(QColor(20, 160, 40));
             p.drawPolygon(QPolygonF({{9, 10}, {15.5, 13}, {9, 16}}));
         }},
        {"btSpamSetup",
         [](QPainter& p) {
             hammer(p, 0);
             spamWord(p);
         }},
        {"btStats",
         [](QPainter& p) {
             p.setPen(pen(QColor(60, 60, 60), 0.8));
             const QColor colours[] = {QColor(70, 110, 200), QColor(220, 60, 60), QColor(40, 160, 60)};
             const double heights[] = {6, 11, 8};
             for (int i = 0; i < 3; ++i) {
                 p.setBrush(colours[i]);
                 p.drawRect(QRectF(2 + i * 4.3, 15 - heights[i], 3.4, heights[i]));
             }
         }},
        {"btAbout",
         [](QPainter& p) {
             p.setPen(Qt::NoPen);
             p.setBrush(QColor(40, 100, 200));
             p.drawEllipse(QPointF(8, 8), 7, 7);
             p.setPen(pen(Qt::white, 2));
             p.drawLine(QPointF(8, 7.5), QPointF(8, 12));
             p.drawPoint(QPointF(8, 4.5));
         }},
        {"btHelp",
         [](QPainter& p) {
             p.setPen(Qt::NoPen);
             p.setBrush(QColor(40, 150, 80));
             p.drawEllipse(QPointF(8, 8), 7, 7);
             QFont f("DejaVu Sans");
             f.setPixelSize(11);
             f.setBold(true);
             p.setFont(f);
             p.setPen(Qt::white);
             p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, "?");
         }},
    };
    return all;
}

}  // namespace

bool paintPicture(QPainter& painter, const QString& name, qreal size) {
    const auto drawing = drawings().find(name);
    if (drawing == drawings().end()) return false;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(size / 16.0, size / 16.0);
    (*drawing)(painter);
    painter.restore();
    return true;
}

QPixmap picture(const QString& name, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paintPicture(painter, name, size);
    return pixmap;
}

namespace {

class DrawnIconEngine : public QIconEngine {
public:
    explicit DrawnIconEngine(const QString& name) : name_(name) {}
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        const int side = qMin(size.width(), size.height());
        const QString key = name_ + QString::number(side) + (mode == QIcon::Disabled ? "d" : "");
        if (const auto cached = cache_.find(key); cached != cache_.end()) return *cached;
        QPixmap drawn = picture(name_, side);
        if (mode == QIcon::Disabled) {
            QImage grey = drawn.toImage().convertToFormat(QImage::Format_ARGB32);
            for (int y = 0; y < grey.height(); ++y)
                for (int x = 0; x < grey.width(); ++x) {
                    const QRgb c = grey.pixel(x, y);
                    const int g = qGray(c);
                    grey.setPixel(x, y, qRgba(g, g, g, qAlpha(c) / 2));
                }
            drawn = QPixmap::fromImage(grey);
        }
        cache_.insert(key, drawn);
        return drawn;
    }
    QIconEngine* clone() const override { return new DrawnIconEngine(name_); }
    QString key() const override { return "quorvel-drawn"; }

private:
    QString name_;
    QHash<QString, QPixmap> cache_;
};

}  // namespace

QIcon drawnIcon(const QString& name) {
    return QIcon(new DrawnIconEngine(name));
}

QIcon programIcon() {
    return drawnIcon(kProgramIcon);
}

}  // namespace quorvel::ui
