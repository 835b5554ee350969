// A clickable picture. The box takes the size of the picture it shows; its
// top-left corner stays where it is.
#pragma once

#include "placed.h"

#include <QLabel>
#include <QPixmap>

namespace vantrel {

class ImageBox : public Placed<QLabel> {
    Q_OBJECT
public:
    explicit ImageBox(QWidget* parent);

    QPixmap Picture() const { return picture_; }
    void setPicture(const QPixmap& picture);

signals:
    void Click();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPixmap picture_;
};

}  // namespace vantrel
