#include "clickable.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>

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

// The window draws the frame around the key, outside it, so that it never
// covers a small glyph such as "x".
void Clickable::focusInEvent(QFocusEvent* event) {
    keyboardFocus_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QLabel::focusInEvent(event);
    if (parentWidget()) parentWidget()->update();
}

void Clickable::focusOutEvent(QFocusEvent* event) {
    keyboardFocus_ = false;
    QLabel::focusOutEvent(event);
    if (parentWidget()) parentWidget()->update();
}

void Clickable::hideFocusFrame(QWidget* window) {
    auto* key = qobject_cast<Clickable*>(window->focusWidget());
    if (!key || !key->keyboardFocus_) return;
    key->keyboardFocus_ = false;
    window->update();
}

void Clickable::mousePressEvent(QMouseEvent* event) {
    hideFocusFrame(window());
    event->accept();
}

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
