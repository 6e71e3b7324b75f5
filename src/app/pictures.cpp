#include "app/pictures.h"

#include <QFont>
#include <QPainter>

namespace fraglane::app {

namespace {

const QColor Ink(0xE0, 0x7A, 0x1F);
const QColor Steel(0x5A, 0x62, 0x6E);

void Crosshair(QPainter& p) {
    p.setPen(QPen(Ink, 4));
    p.drawEllipse(QPointF(32, 32), 20, 20);
    p.drawLine(32, 4, 32, 22);
    p.drawLine(32, 42, 32, 60);
    p.drawLine(4, 32, 22, 32);
    p.drawLine(42, 32, 60, 32);
}

void MapSheet(QPainter& p) {
    p.setPen(QPen(Steel, 3));
    p.setBrush(QColor(0xD8, 0xC8, 0x9A));
    const QPointF sheet[] = {{6, 12},  {24, 6},  {40, 12}, {58, 6},
                             {58, 52}, {40, 58}, {24, 52}, {6, 58}};
    p.drawPolygon(sheet, 8);
    p.setPen(QPen(Ink, 4));
    p.drawLine(18, 22, 30, 34);
    p.drawLine(30, 22, 18, 34);
    p.drawLine(36, 40, 50, 26);
}

void BotHead(QPainter& p) {
    p.setPen(QPen(Steel, 3));
    p.setBrush(QColor(0x9C, 0xA6, 0xB4));
    p.drawRoundedRect(QRectF(12, 14, 40, 36), 8, 8);
    p.drawLine(32, 14, 32, 6);
    p.setBrush(Ink);
    p.drawEllipse(QPointF(32, 6), 3, 3);
    p.drawEllipse(QPointF(24, 30), 5, 5);
    p.drawEllipse(QPointF(40, 30), 5, 5);
    p.drawLine(22, 42, 42, 42);
}

void Monitor(QPainter& p) {
    p.setPen(QPen(Steel, 3));
    p.setBrush(QColor(0x20, 0x30, 0x48));
    p.drawRect(QRectF(6, 10, 52, 34));
    p.drawLine(32, 44, 32, 54);
    p.drawLine(20, 56, 44, 56);
    p.setPen(QPen(Ink, 3));
    p.drawLine(14, 36, 26, 22);
    p.drawLine(26, 22, 34, 30);
    p.drawLine(34, 30, 50, 16);
}

void Gear(QPainter& p) {
    p.setPen(QPen(Steel, 3));
    p.setBrush(QColor(0x9C, 0xA6, 0xB4));
    for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(32, 32);
        p.rotate(i * 45.0);
        p.drawRect(QRectF(-5, -28, 10, 12));
        p.restore();
    }
    p.drawEllipse(QPointF(32, 32), 18, 18);
    p.setBrush(Ink);
    p.drawEllipse(QPointF(32, 32), 7, 7);
}

// Two arrows chasing each other round a circle: maps played in turn.
void Cycle(QPainter& p) {
    p.setPen(QPen(Steel, 5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(12, 12, 40, 40), 30 * 16, 150 * 16);
    p.drawArc(QRectF(12, 12, 40, 40), 210 * 16, 150 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    const QPointF top[] = {{49, 12}, {58, 26}, {42, 26}};
    const QPointF bottom[] = {{15, 52}, {6, 38}, {22, 38}};
    p.drawPolygon(top, 3);
    p.drawPolygon(bottom, 3);
}

}  // namespace

QPixmap PagePicture(int index) {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (index) {
        case 0:
            Crosshair(p);
            break;
        case 1:
            MapSheet(p);
            break;
        case 2:
            BotHead(p);
            break;
        case 3:
            Monitor(p);
            break;
        case 5:
            Cycle(p);
            break;
        default:
            Gear(p);
            break;
    }
    return pixmap;
}

QPixmap PlaceholderPicture(const QString& caption) {
    QPixmap pixmap(128, 128);
    pixmap.fill(QColor(0x18, 0x18, 0x18));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Steel, 6));
    p.drawRect(QRectF(8, 8, 112, 112));
    p.setPen(QPen(Ink, 8));
    p.drawLine(44, 28, 84, 68);
    p.drawLine(84, 28, 44, 68);
    QFont font;
    font.setPixelSize(15);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Steel);
    p.drawText(QRectF(12, 78, 104, 36), Qt::AlignCenter, caption);
    return pixmap;
}

}  // namespace fraglane::app
