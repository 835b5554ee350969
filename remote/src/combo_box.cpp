#include "combo_box.h"

#include <QHelpEvent>
#include <QLineEdit>
#include <QToolTip>

#include <limits>

namespace vantrel {

ComboBox::ComboBox(QWidget* parent, const QStringList& items, const QString& text)
    : Placed<QComboBox>(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);  // typing never adds to the list
    // Qt's completer would turn a typed "c" into the entry "C"; and a box
    // that finishes editing would pick the entry its text matches. Only the
    // user picks entries here.
    setCompleter(nullptr);
    disconnect(lineEdit(), &QLineEdit::editingFinished, this, nullptr);
    lineEdit()->setMaxLength(std::numeric_limits<int>::max());
    addItems(items);
    setText(text);
}

void ComboBox::setText(const QString& text) {
    setEditText(text);
    if (!lineEdit()->hasFocus()) lineEdit()->setCursorPosition(0);
}

void ComboBox::focusOutEvent(QFocusEvent* event) {
    Placed<QComboBox>::focusOutEvent(event);
    lineEdit()->setCursorPosition(0);
}

bool ComboBox::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && tipSource_) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), tipSource_(), this);
        return true;
    }
    return Placed<QComboBox>::event(event);
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
