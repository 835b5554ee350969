// A caption on a window. Transparent labels draw only their text over the
// window's colour or picture; self-sizing labels fit their caption and font
// whenever either changes.
#pragma once

#include "clickable.h"

namespace vantrel {

class Label : public Clickable {
    Q_OBJECT
public:
    struct Style {
        bool transparent = true;
        bool autoSize = true;
    };
    Label(QWidget* parent, const QString& caption, Style style);

    QString Caption() const { return text(); }
    void setCaption(const QString& caption);

    std::int32_t ForeColor() const { return foreColor_; }
    void setForeColor(std::int32_t colour);
    std::int32_t BackColor() const { return backColor_; }
    void setBackColor(std::int32_t colour);

protected:
    void fontChanged() override;

private:
    bool autoSize_;
    std::int32_t foreColor_ = 0;
    std::int32_t backColor_ = 0xFFFFFF;
};

}  // namespace vantrel
