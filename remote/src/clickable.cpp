#include "clickable.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

#include <utility>

namespace vantrel {

// Tab only: a click must not take the focus from the house box.
void Clickable::makeKey() {
    key_ = true;
    setFocusPolicy(Qt::TabFocus);
}

void Clickable::keyPressEvent(QKeyEvent* event) {
    const int k = event->key();
    if (key_ && event->modifiers() == Qt::NoModifier && (k == Qt::Key_Space || k == Qt::Key_Return || k == Qt::Key_Enter)) {
        event->accept();
        press();
        return;
    }
    QLabel::keyPressEvent(event);
}

void Clickable::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus()) return;
    QStylePainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}

void Clickable::mousePressEvent(QMouseEvent* event) { event->accept(); }

void Clickable::mouseDoubleClickEvent(QMouseEvent* event) {
    endingDoubleClick_ = event->button() == Qt::LeftButton;
    event->accept();
}

void Clickable::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (std::exchange(endingDoubleClick_, false)) return;
    if (rect().contains(event->position().toPoint())) emit Click();
}

}  // namespace vantrel
