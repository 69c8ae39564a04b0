#pragma once

#include <QImage>
#include <QWidget>
#include <optional>

#include "platform/image/Bitmap.h"

namespace pelliqo {

// A processed picture scaled to fit (letterboxed, never cropped) over a faint backdrop,
// with the checkerboard under the picture alone when the result is transparent; the
// placeholder text while there is no picture.
class PreviewImageView : public QWidget {
    Q_OBJECT

  public:
    explicit PreviewImageView(QWidget* parent = nullptr);

    void setImage(const std::optional<Bitmap>& image);
    void setTransparent(bool transparent);
    void setPlaceholder(const QString& text);
    const QString& placeholder() const { return placeholder_; }
    bool hasImage() const { return !image_.isNull(); }

    // Where a picture of this size is drawn in the area: as large as fits, centred.
    static QRectF fittedRect(QSizeF picture, QRectF area);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage image_;
    bool transparent_ = false;
    QString placeholder_;
};

// A bitmap as a Qt image sharing nothing with it.
QImage toQImage(const Bitmap& bitmap);

}  // namespace pelliqo
