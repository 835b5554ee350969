#include "placed.h"

#include "text_forms.h"

#include <QFontDatabase>

namespace vantrel {

bool fontFamilyKnown(const QString& family) {
    return !family.isEmpty() && (QFontDatabase::hasFamily(family) || !QFont::substitutes(family).isEmpty());
}

void setColourRoles(QWidget& widget, std::initializer_list<QPalette::ColorRole> roles, std::int32_t colour) {
    const QColor c = text::colourFromNumber(colour);
    QPalette p = widget.palette();
    for (QPalette::ColorRole role : roles) p.setColor(role, c);
    widget.setPalette(p);
}

}  // namespace vantrel
