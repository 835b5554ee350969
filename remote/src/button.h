// A push button with its place in twips; clicks arrive as QPushButton::clicked.
#pragma once

#include "placed.h"

#include <QPushButton>

namespace vantrel {

class Button : public Placed<QPushButton> {
public:
    Button(QWidget* parent, const QString& caption) : Placed<QPushButton>(caption, parent) {}
    QString Caption() const { return text(); }
    void setCaption(const QString& caption) { setText(caption); }
};

}  // namespace vantrel
