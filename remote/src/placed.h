// Geometry in twips, fonts and colours for the remote's controls. A control
// keeps its Left, Top, Width and Height exactly as they were set (a height of
// 2500 reads back 2500) and is shown at 15 twips per logical pixel.
#pragma once

#include "app_error.h"

#include <QFont>
#include <QPalette>
#include <QString>
#include <QWidget>

#include <cmath>
#include <cstdint>
#include <initializer_list>

namespace vantrel {

inline constexpr double TwipsPerPixel = 15.0;

// Pixels for a length in twips; lengths that no window could hold are refused.
inline int toPixels(double twips) {
    if (!std::isfinite(twips) || std::fabs(twips) > 1.0e9) throwError(Overflow);
    return static_cast<int>(std::lround(twips / TwipsPerPixel));
}

inline float toTwips(double pixels) { return static_cast<float>(pixels * TwipsPerPixel); }

// Whether Qt can draw a face name, directly or through a substitute.
bool fontFamilyKnown(const QString& family);

// What a control is called for screen readers (empty: its caption) and
// what hovering it says.
void describe(QWidget& control, const QString& name, const QString& tip);

// Paints the given palette roles of a widget in a colour number &H00BBGGRR;
// a number that is no colour is refused and nothing changes.
void setColourRoles(QWidget& widget, std::initializer_list<QPalette::ColorRole> roles, std::int32_t colour);

// A window that keeps up with where its controls are: told of every move.
class PlacementWatcher {
public:
    virtual void placed(QWidget& control) = 0;

protected:
    ~PlacementWatcher() = default;
};

template <typename Base>
class Placed : public Base {
public:
    using Base::Base;

    float Left() const { return left_; }
    float Top() const { return top_; }
    float Width() const { return width_; }
    float Height() const { return height_; }
    void setLeft(float v) { place(v, top_, width_, height_); }
    void setTop(float v) { place(left_, v, width_, height_); }
    void setWidth(float v) { place(left_, top_, v, height_); }
    void setHeight(float v) { place(left_, top_, width_, v); }

    // All four at once; nothing changes if any of them is refused.
    void place(float left, float top, float width, float height) {
        if (width < 0 || height < 0) throwError(InvalidPropertyValue);
        const int x = toPixels(left), y = toPixels(top), w = toPixels(width), h = toPixels(height);
        left_ = left, top_ = top, width_ = width, height_ = height;
        Base::setGeometry(x, y, w, h);
        if (auto* window = dynamic_cast<PlacementWatcher*>(Base::parentWidget())) window->placed(*this);
    }

    QString FontName() const { return Base::font().family(); }
    float FontSize() const { return static_cast<float>(Base::font().pointSizeF()); }
    bool FontBold() const { return Base::font().bold(); }
    bool FontItalic() const { return Base::font().italic(); }

    void setFontName(const QString& family) {
        if (!fontFamilyKnown(family)) throwError(InvalidPropertyValue);
        changeFont([&](QFont& f) { f.setFamily(family); });
    }
    void setFontSize(float points) {
        if (!(points > 0 && points <= 2048)) throwError(InvalidPropertyValue);
        changeFont([&](QFont& f) { f.setPointSizeF(points); });
    }
    void setFontBold(bool bold) {
        changeFont([&](QFont& f) { f.setWeight(bold ? QFont::Bold : QFont::Normal); });
    }
    void setFontItalic(bool italic) {
        changeFont([&](QFont& f) { f.setItalic(italic); });
    }
    // The design font: face, size in points, bold.
    void setDesignFont(const QString& family, float points, bool bold) {
        QFont f(family);
        f.setPointSizeF(points);
        f.setWeight(bold ? QFont::Bold : QFont::Normal);
        Base::setFont(f);
    }

protected:
    // Called after every font change; self-sizing controls resize here.
    virtual void fontChanged() {}

    void setSizeInPixels(double w, double h) { place(left_, top_, toTwips(w), toTwips(h)); }

private:
    template <typename Change>
    void changeFont(Change change) {
        QFont f = Base::font();
        change(f);
        Base::setFont(f);
        fontChanged();
    }

    float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

}  // namespace vantrel
