#include "Pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace pictures {

namespace {

QPixmap draw(int size, const std::function<void(QPainter &)> &paint)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter);
    return pixmap;
}

// The normal picture and, for the disabled look, the same in grey.
QIcon glyph(const QPixmap &normal)
{
    QImage grey = normal.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < grey.height(); ++y) {
        for (int x = 0; x < grey.width(); ++x) {
            const QColor c = grey.pixelColor(x, y);
            const int level = 128 + qGray(c.rgb()) / 3;
            grey.setPixelColor(x, y, QColor(level, level, level, c.alpha()));
        }
    }
    QIcon icon;
    icon.addPixmap(normal, QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(grey), QIcon::Disabled);
    return icon;
}

void paintExit(QPainter &p)
{
    // Door frame, then the door swung open towards the viewer.
    p.setPen(QPen(QColor(64, 64, 64), 1));
    p.setBrush(QColor(40, 40, 40));
    p.drawRect(QRectF(7.5, 1.5, 7, 13));
    QPainterPath door;
    door.moveTo(7.5, 1.5);
    door.lineTo(11.5, 3.5);
    door.lineTo(11.5, 15.5);
    door.lineTo(7.5, 14.5);
    door.closeSubpath();
    p.setBrush(QColor(160, 110, 50));
    p.drawPath(door);
    // The red arrow into the doorway.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 0, 0));
    p.drawRect(QRectF(0.5, 7, 6, 2));
    QPainterPath head;
    head.moveTo(9.5, 8);
    head.lineTo(5.5, 4.5);
    head.lineTo(5.5, 11.5);
    head.closeSubpath();
    p.drawPath(head);
}

void paintAbout(QPainter &p)
{
    p.setPen(QPen(QColor(160, 120, 0), 1));
    p.setBrush(QColor(255, 220, 0));
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(13);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(210, 0, 0));
    p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
}

void paintProgram(QPainter &p)
{
    // A grid of privilege cells, a few of them marked.
    p.setPen(QPen(QColor(0, 0, 128), 1));
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRectF cell(2.5 + col * 9, 2.5 + row * 9, 9, 9);
            const bool marked = (row + col) % 2 == 0;
            p.setBrush(marked ? QColor(128, 0, 128) : QColor(255, 255, 255));
            p.drawRect(cell);
        }
    }
    // A golden key lying across the grid.
    p.setPen(QPen(QColor(120, 90, 0), 1.5));
    p.setBrush(QColor(230, 180, 30));
    p.drawEllipse(QRectF(16, 16, 10, 10));
    p.drawLine(QPointF(19, 23), QPointF(8, 30));
    p.drawLine(QPointF(11, 28), QPointF(9, 25));
    p.drawLine(QPointF(14, 26), QPointF(12, 23));
}

} // namespace

QImage programIconImage(int size)
{
    // Drawn on a 32-pixel grid and scaled, so that every size is the same
    // picture: the about box's and the desktop's icons alike.
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    paintProgram(painter);
    return image;
}

QIcon programIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(programIconImage(32)));
    return icon;
}

QIcon exitGlyph()
{
    return glyph(draw(16, paintExit));
}

QIcon aboutGlyph()
{
    return glyph(draw(16, paintAbout));
}

QIcon letterBadge(QChar letter, const QColor &color)
{
    constexpr int Size = BadgeSize;
    return QIcon(draw(Size, [&](QPainter &p) {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawRoundedRect(QRectF(0.5, 0.5, Size - 1, Size - 1), 2.5, 2.5);
        QFont font = p.font();
        font.setPixelSize(9);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRect(0, 0, Size, Size), Qt::AlignCenter, QString(letter));
    }));
}

} // namespace pictures
