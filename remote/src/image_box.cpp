#include "image_box.h"

#include <QMouseEvent>

namespace vantrel {

ImageBox::ImageBox(QWidget* parent) : Placed<QLabel>(parent) {}

void ImageBox::setPicture(const QPixmap& picture) {
    if (!picture.isNull()) {
        const QSizeF size = picture.deviceIndependentSize();
        setSizeInPixels(size.width(), size.height());
    }
    picture_ = picture;
    setPixmap(picture);
}

void ImageBox::mousePressEvent(QMouseEvent* event) { event->accept(); }

void ImageBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit Click();
}

}  // namespace vantrel
