// A label that raises Click when the left button is released over it.
// Presses stay with the control and never reach the window behind it. A
// double-click is one Click, not two: the release that ends it raises
// nothing, so a double-click on "*" toggles the height once.
//
// One made a key (makeKey) is one for the keyboard and screen readers too:
// Tab reaches it, Space or Enter presses it, and it offers a press action.
// Its window frames it while the keyboard brought the focus there (Tab,
// Backtab, the arrows), not after a click: a user of the mouse alone
// never sees a frame.
#pragma once

#include "placed.h"

#include <QLabel>

namespace vantrel {

class Clickable : public Placed<QLabel> {
    Q_OBJECT
public:
    using Placed<QLabel>::Placed;

    void makeKey();
    bool isKey() const { return key_; }
    // What a click does, for the keyboard and assistive technologies.
    void press() { emit Click(); }
    // Whether its window frames it now.
    bool showsFocusFrame() const { return keyboardFocus_ && hasFocus(); }
    // A click anywhere in the window: the keyboard no longer leads.
    static void hideFocusFrame(QWidget* window);

signals:
    void Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool endingDoubleClick_ = false;
    bool key_ = false;
    bool keyboardFocus_ = false;
};

}  // namespace vantrel
