#include "combo_box.h"

#include "text_forms.h"

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
    QPalette p = palette();
    p.setColor(QPalette::Text, text::colourFromNumber(colour));
    p.setColor(QPalette::ButtonText, text::colourFromNumber(colour));
    setPalette(p);
    foreColor_ = colour;
}

void ComboBox::setBackColor(std::int32_t colour) {
    QPalette p = palette();
    p.setColor(QPalette::Base, text::colourFromNumber(colour));
    p.setColor(QPalette::Button, text::colourFromNumber(colour));
    setPalette(p);
    backColor_ = colour;
}

}  // namespace vantrel
