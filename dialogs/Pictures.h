#pragma once

#include <QIcon>
#include <QImage>

// The program's own pictures, drawn rather than shipped as image files.
namespace pictures {

// A key over a small grid of privilege cells.
[[nodiscard]] QIcon programIcon();
// The same picture at any size in pixels; needs no window system, so that
// the build can render the installed icons from it.
[[nodiscard]] QImage programIconImage(int size);
// An open door with a red arrow pointing into it.
[[nodiscard]] QIcon exitGlyph();
// A red question mark on a yellow disc.
[[nodiscard]] QIcon aboutGlyph();
// A white capital on a rounded square of the colour, BadgeSize pixels wide,
// as a list row is high: the kind of a row in the lists.
inline constexpr int BadgeSize = 13;
[[nodiscard]] QIcon letterBadge(QChar letter, const QColor &color);

} // namespace pictures
