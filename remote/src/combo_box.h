// An editable drop-down box. Its text changes raise Change (edited by the
// user or set by code: QComboBox::editTextChanged); picking a list entry
// raises Click (QComboBox::activated). What the user types stays exactly as
// typed: no completion, no case folding, no length limit. Unless the user
// is typing in it, it shows its text from the start: a narrow box showing
// the end of "  b" would read "b" while what is used is the whole text.
#pragma once

#include "placed.h"

#include <QComboBox>

#include <functional>

namespace vantrel {

class ComboBox : public Placed<QComboBox> {
public:
    ComboBox(QWidget* parent, const QStringList& items, const QString& text);

    QString Text() const { return currentText(); }
    void setText(const QString& text);

    std::int32_t ForeColor() const { return foreColor_; }
    void setForeColor(std::int32_t colour);
    std::int32_t BackColor() const { return backColor_; }
    void setBackColor(std::int32_t colour);

    // A tooltip worked out only when it is about to show.
    void setTipSource(std::function<QString()> source) { tipSource_ = std::move(source); }

protected:
    bool event(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    std::function<QString()> tipSource_;
    std::int32_t foreColor_ = 0;
    std::int32_t backColor_ = 0xFFFFFF;
};

}  // namespace vantrel
