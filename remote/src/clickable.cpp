#include "clickable.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

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

// A key with the keyboard's focus is framed in the highlight colour: the
// style's own focus mark is too faint over a picture.
void Clickable::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus()) return;
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
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
