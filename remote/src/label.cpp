#include "label.h"

#include <QFontMetricsF>

namespace vantrel {

Label::Label(QWidget* parent, const QString& caption, Style style)
    : Clickable(caption, parent), autoSize_(style.autoSize) {
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
    setColourRoles(*this, {QPalette::WindowText}, colour);
    foreColor_ = colour;
}

void Label::setBackColor(std::int32_t colour) {
    setColourRoles(*this, {QPalette::Window}, colour);
    backColor_ = colour;
}

void Label::fontChanged() {
    if (!autoSize_) return;
    QFontMetricsF metrics(font());
    setSizeInPixels(std::ceil(metrics.horizontalAdvance(text())), std::ceil(metrics.height()));
}

}  // namespace vantrel
