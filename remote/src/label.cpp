#include "label.h"

#include "text_forms.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QMouseEvent>

namespace vantrel {

bool fontFamilyKnown(const QString& family) {
    return !family.isEmpty() && (QFontDatabase::hasFamily(family) || !QFont::substitutes(family).isEmpty());
}

Label::Label(QWidget* parent, const QString& caption, Style style)
    : Placed<QLabel>(caption, parent), autoSize_(style.autoSize) {
    setAutoFillBackground(!style.transparent);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWordWrap(!style.autoSize);
    setForeColor(0);
}

void Label::setCaption(const QString& caption) {
    if (caption == text()) return;
    setText(caption);
    fontChanged();
}

void Label::setForeColor(std::int32_t colour) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, text::colourFromNumber(colour));
    setPalette(p);
    foreColor_ = colour;
}

void Label::setBackColor(std::int32_t colour) {
    QPalette p = palette();
    p.setColor(QPalette::Window, text::colourFromNumber(colour));
    setPalette(p);
    backColor_ = colour;
}

void Label::fontChanged() {
    if (!autoSize_) return;
    QFontMetricsF metrics(font());
    setSizeInPixels(std::ceil(metrics.horizontalAdvance(text())), std::ceil(metrics.height()));
}

// A click on a label belongs to the label, never to the window behind it.
void Label::mousePressEvent(QMouseEvent* event) { event->accept(); }

void Label::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit Click();
}

}  // namespace vantrel
