#include "clickable.h"

#include <QMouseEvent>

#include <utility>

namespace vantrel {

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
