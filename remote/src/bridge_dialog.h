// The window where the user chooses the bridge road: whether presses go
// through a kestrix-bridge, its broker, the bridge's base topic and the
// broker's login. OK applies it to the record and the main window at once;
// the main window's close saves it, the password excepted, which goes to
// the keyring.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace vantrel {

class Form1;

class BridgeDialog final : public QDialog {
    Q_OBJECT
public:
    BridgeDialog(Form1& main, QWidget* parent);

    QCheckBox* useBridge = nullptr;
    QLineEdit* broker = nullptr;
    QComboBox* baseTopic = nullptr;  // offers the bridges the broker has
    QLineEdit* user = nullptr;
    QLineEdit* password = nullptr;
    QLabel* state = nullptr;  // what is wrong with the entries, or the road now

    void accept() override;

private:
    void refresh();
    Form1& main_;
};

}  // namespace vantrel
