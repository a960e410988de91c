#pragma once

#include <QIcon>

// The program's own pictures, drawn rather than shipped as image files.
namespace pictures {

// A key over a small grid of privilege cells.
[[nodiscard]] QIcon programIcon();
// An open door with a red arrow pointing into it.
[[nodiscard]] QIcon exitGlyph();
// A red question mark on a yellow disc.
[[nodiscard]] QIcon aboutGlyph();

} // namespace pictures
