#include "image_box.h"

namespace vantrel {

ImageBox::ImageBox(QWidget* parent) : Clickable(parent) {}

void ImageBox::setPicture(const QPixmap& picture) {
    if (!picture.isNull()) {
        const QSizeF size = picture.deviceIndependentSize();
        setSizeInPixels(size.width(), size.height());
    }
    picture_ = picture;
    setPixmap(picture);
}

}  // namespace vantrel
