// The settings window: colours, label font, background picture, button
// skins and style, COM port, and an about block. Its commands change the
// main window and the settings record at once; the main window's close
// saves them. It never touches the store itself.
#pragma once

#include "button.h"
#include "combo_box.h"
#include "form1.h"
#include "label.h"

#include <QTimer>
#include <QWidget>

#include <string>

namespace vantrel {


class FrmSettings : public QWidget {
    Q_OBJECT
public:
    // A tool window owned by the main window; deletes itself when closed.
    explicit FrmSettings(Form1& main);

    // The outer height in twips, caption bar and borders included.
    float Height() const { return outerHeight_; }
    void setHeight(float twips);

    Button* cmdSetBackColor = nullptr;
    Button* cmdSetForegroundColor = nullptr;
    Button* cmdFont = nullptr;
    Button* cmdSetBackroundImage = nullptr;
    Button* cmdButtonOnSkin = nullptr;
    Button* cmdButtonOFFskin = nullptr;
    Button* cmdResetAll = nullptr;
    Button* cmdUnloadBackround = nullptr;
    Button* cmbButtons = nullptr;
    Label* Label7 = nullptr;
    ComboBox* Combo1 = nullptr;
    Button* Command1 = nullptr;
    Button* cmdBridge = nullptr;  // the road: the COM port or a bridge
    Label* Label1 = nullptr;
    Label* Label2 = nullptr;
    Label* Label3 = nullptr;
    Label* Label4 = nullptr;
    Label* Label5 = nullptr;
    Label* Label6 = nullptr;
    QTimer* Timer1 = nullptr;

    void Form_Load();
    void Form_Unload(std::int16_t& Cancel);
    void cmdSetBackColor_Click();
    void cmdSetForegroundColor_Click();
    void cmdFont_Click();
    void cmdSetBackroundImage_Click();
    void cmdButtonOnSkin_Click();
    void cmdButtonOFFskin_Click();
    void cmdResetAll_Click();
    void cmdUnloadBackround_Click();
    void cmbButtons_Click();
    void Combo1_Change();
    void Combo1_Click();
    void Command1_Click();
    void Timer1_Timer();
    void cmdBridge_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void createControls();
    void nameControls();
    void connectHandlers();
    void applyHeight();
    void loadSkin(std::string& field, Form1::Keys keys);
    void showRoad();

    Form1& main_;
    ControllerSettings& settings_;
    float outerHeight_ = 0;
    int frameApplied_ = 0;  // caption and border height the last apply knew of
};

}  // namespace vantrel
