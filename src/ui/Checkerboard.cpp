#include "ui/Checkerboard.h"

namespace pelliqo::checkerboard {

QColor tileColor(int row, int column) {
    const double white = (row + column) % 2 == 0 ? 0.78 : 0.95;
    return QColor::fromRgbF(static_cast<float>(white), static_cast<float>(white),
                            static_cast<float>(white), 1.0f);
}

void draw(QPainter& painter, const QRectF& area) {
    if (area.width() <= 0 || area.height() <= 0) return;
    painter.save();
    painter.setClipRect(area, Qt::IntersectClip);
    for (int row = 0; row * tile < area.height(); ++row) {
        for (int column = 0; column * tile < area.width(); ++column) {
            painter.fillRect(
                QRectF(area.left() + column * tile, area.top() + row * tile, tile, tile),
                tileColor(row, column));
        }
    }
    painter.restore();
}

}  // namespace pelliqo::checkerboard
