// A label that raises Click when the left button is released over it.
// Presses stay with the control and never reach the window behind it. A
// double-click is one Click, not two: the release that ends it raises
// nothing, so a double-click on "*" toggles the height once.
#pragma once

#include "placed.h"

#include <QLabel>

namespace vantrel {

class Clickable : public Placed<QLabel> {
    Q_OBJECT
public:
    using Placed<QLabel>::Placed;

signals:
    void Click();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool endingDoubleClick_ = false;
};

}  // namespace vantrel
