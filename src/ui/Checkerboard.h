#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>

namespace pelliqo {

// The pattern behind transparent pictures: 12 × 12 tiles from the top-left corner, the
// darker grey (0.78) where row + column is even, the lighter (0.95) where odd.
namespace checkerboard {

inline constexpr int tile = 12;

QColor tileColor(int row, int column);

// Fills the rectangle with the pattern, its first tile at the rectangle's top-left corner;
// tiles that stick out are clipped. An empty rectangle draws nothing.
void draw(QPainter& painter, const QRectF& area);

}  // namespace checkerboard

}  // namespace pelliqo
