// A message with one OK button and no icon, titled with the program's name.
#pragma once

#include <QString>

class QWidget;

namespace vantrel {

// Whether a message box can be seen: not on the offscreen or minimal
// platforms, where nobody could dismiss it.
bool canShowBoxes();

class MessageBox {
public:
    virtual ~MessageBox() = default;
    // Returns when the user has dismissed the message.
    virtual void show(const QString& text) = 0;
};

class QtMessageBox final : public MessageBox {
public:
    explicit QtMessageBox(QWidget* owner) : owner_(owner) {}
    void show(const QString& text) override;

private:
    QWidget* owner_;
};

}  // namespace vantrel
