#include "placed.h"

#include "text_forms.h"

#include <QFontDatabase>

namespace vantrel {

// No font family's name is longer than 255 bytes; a longer one is unknown
// without asking fontconfig, which takes seconds over a long enough name.
bool fontFamilyKnown(const QString& family) {
    if (family.isEmpty() || family.size() > 255 || family.toUtf8().size() > 255) return false;
    return QFontDatabase::hasFamily(family) || !QFont::substitutes(family).isEmpty();
}

void describe(QWidget& control, const QString& name, const QString& tip) {
    control.setAccessibleName(name);
    control.setToolTip(tip);
}

void setColourRoles(QWidget& widget, std::initializer_list<QPalette::ColorRole> roles, std::int32_t colour) {
    const QColor c = text::colourFromNumber(colour);
    QPalette p = widget.palette();
    for (QPalette::ColorRole role : roles) p.setColor(role, c);
    widget.setPalette(p);
}

}  // namespace vantrel
