#include "combo_box.h"

#include <QLineEdit>

namespace vantrel {

ComboBox::ComboBox(QWidget* parent, const QStringList& items, const QString& text)
    : Placed<QComboBox>(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);  // typing never adds to the list
    addItems(items);
    setEditText(text);
}

void ComboBox::setForeColor(std::int32_t colour) {
    setColourRoles(*this, {QPalette::Text, QPalette::ButtonText}, colour);
    foreColor_ = colour;
}

void ComboBox::setBackColor(std::int32_t colour) {
    setColourRoles(*this, {QPalette::Base, QPalette::Button}, colour);
    backColor_ = colour;
}

}  // namespace vantrel
