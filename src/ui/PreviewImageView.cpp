#include "ui/PreviewImageView.h"

#include <QPainter>
#include <QPainterPath>

#include "ui/Checkerboard.h"

namespace pelliqo {

QImage toQImage(const Bitmap& bitmap) {
    // Qt's ARGB32 is BGRA in memory on little-endian machines, as bitmaps are: the image
    // shares the bitmap's pixels and keeps them alive instead of copying them.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
    const PixelBuffer& pixels = bitmap.pixels();
    auto* holder = new PixelBuffer(pixels);
    return QImage(
        pixels.data(), pixels.width(), pixels.height(),
        static_cast<qsizetype>(pixels.bytesPerRow()), QImage::Format_ARGB32,
        [](void* held) { delete static_cast<PixelBuffer*>(held); }, holder);
}

PreviewImageView::PreviewImageView(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMinimumSize(160, 90);
}

void PreviewImageView::setImage(const std::optional<Bitmap>& image) {
    image_ = image ? toQImage(*image) : QImage();
    update();
}

void PreviewImageView::setTransparent(bool transparent) {
    if (transparent == transparent_) return;
    transparent_ = transparent;
    update();
}

void PreviewImageView::setPlaceholder(const QString& text) {
    if (text == placeholder_) return;
    placeholder_ = text;
    update();
}

QRectF PreviewImageView::fittedRect(QSizeF picture, QRectF area) {
    if (picture.isEmpty() || area.isEmpty()) return {};
    const double scale = std::min(area.width() / picture.width(), area.height() / picture.height());
    const QSizeF size = picture * scale;
    return QRectF(area.center().x() - size.width() / 2, area.center().y() - size.height() / 2,
                  size.width(), size.height());
}

void PreviewImageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath rounded;
    rounded.addRoundedRect(rect(), 8, 8);
    painter.setClipPath(rounded);
    painter.fillRect(rect(), QColor(0, 0, 0, 20));  // black at 8 %
    if (image_.isNull()) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, placeholder_);
        return;
    }
    const QRectF target = fittedRect(image_.size(), rect());
    if (transparent_) checkerboard::draw(painter, target);
    painter.drawImage(target, image_);
}

}  // namespace pelliqo
