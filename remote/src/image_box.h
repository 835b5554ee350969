// A clickable picture. The box takes the size of the picture it shows; its
// top-left corner stays where it is.
#pragma once

#include "clickable.h"

#include <QPixmap>

namespace vantrel {

class ImageBox : public Clickable {
    Q_OBJECT
public:
    explicit ImageBox(QWidget* parent);

    QPixmap Picture() const { return picture_; }
    void setPicture(const QPixmap& picture);

private:
    QPixmap picture_;
};

}  // namespace vantrel
