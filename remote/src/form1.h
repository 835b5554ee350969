// The main window: a borderless remote with ON and OFF controls for units 1
// to 16 (skinned images or standard buttons), the house-code box and three
// small labels that widen, heighten and close it. It owns the transmitter
// control `firecracker` and the common dialog for its whole life.
#pragma once

#include "bridge_road.h"
#include "button.h"
#include "com_road.h"
#include "combo_box.h"
#include "common_dialog.h"
#include "controller_settings.h"
#include "error_policy.h"
#include "image_box.h"
#include "label.h"
#include "message_box.h"
#include "password_keeper.h"
#include "press_notices.h"
#include "settings_store.h"

#include <kestrix/controlcm.h>

#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace vantrel {

class FrmSettings;

// The program's title: the settings store's application name and the
// caption of its messages.
inline const QString AppTitle = QStringLiteral("Vantrel");

class Form1 : public QWidget, public PlacementWatcher {
    Q_OBJECT
public:
    using TransmitterFactory = std::function<std::unique_ptr<kestrix::controlcm>()>;

    // Creates the window as designed, and the transmitter control through
    // `createTransmitter` (whose errors propagate: without a transmitter
    // there is no remote). Null dialog or message box: the Qt ones.
    Form1(ControllerSettings& settings, SettingsStore& store, const TransmitterFactory& createTransmitter,
          std::unique_ptr<CommonDialog> dialog = nullptr, std::unique_ptr<MessageBox> messages = nullptr);
    ~Form1() override;

    // Runs Form_Load the first time, then shows the window.
    void Show();

    // The window's place and size in twips, read back exactly as set.
    float Left() const;
    float Top() const;
    float Width() const { return width_; }
    float Height() const { return height_; }
    void setLeft(float twips);
    void setTop(float twips);
    void setWidth(float twips);
    void setHeight(float twips);

    std::int32_t BackColor() const { return backColor_; }
    void setBackColor(std::int32_t colour);
    QPixmap Picture() const { return picture_; }
    void setPicture(const QPixmap& picture);

    // Runs a handler that sets no trap: an error is reported with its number
    // and description, the port is closed, and the program runs on.
    template <typename Handler>
    void atTopLevel(Handler&& handler) noexcept {
        try {
            handler();
        } catch (...) {
            reportError(describeCurrentError());
        }
    }

    MessageBox& messages() { return *messages_; }
    ControllerSettings& settings() { return settings_; }
    // The settings window while it is loaded, else null.
    FrmSettings* settingsWindow() const;
    // The look the settings window changes, each applied to every control
    // it concerns, every control a step of its own: one that refuses the
    // value keeps what it had and the others still take it.
    // The back colour: the window and the house box.
    void applyBackColour(std::int32_t colour);
    // The label colour: the unit labels, the house box's text, "x", ">", "*".
    void applyLabelColour(std::int32_t colour);
    // The label font, on lbl1(1) to lbl1(16), then lblWiden, lblClose,
    // lblTall: each part is asked for afresh for each label, so one that
    // does not convert leaves that part alone.
    struct LabelFont {
        std::function<QString()> name;
        std::function<float()> size;
        std::function<bool()> bold;
        std::function<bool()> italic;
    };
    void applyLabelFont(const LabelFont& font);
    // The picture of the ON or the OFF keys of units 1 to 16.
    enum class Keys { On, Off };
    void applySkin(Keys keys, const QPixmap& skin);

    // Controls, as designed. Arrays are indexed by unit: 1 to 16, and the
    // image arrays also 0.
    std::array<Label*, 17> lbl1{};
    std::array<ImageBox*, 17> Image1{};
    std::array<ImageBox*, 17> Image2{};
    std::array<Button*, 17> cmdON{};
    std::array<Button*, 17> cmdOFF{};
    Button* cmd1to8 = nullptr;
    Button* cmd9to16 = nullptr;
    ComboBox* cmbHouseCode = nullptr;
    Label* lblClose = nullptr;
    Label* lblWiden = nullptr;
    Label* lblTall = nullptr;
    QTimer* Timer1 = nullptr;
    std::unique_ptr<CommonDialog> CommonDialog1;
    std::unique_ptr<kestrix::controlcm> firecracker;

    // What the user learns of presses that fail or go to the console.
    PressNotices notices;
    // The bridge presses go through, when the store names one.
    std::unique_ptr<BridgeRoad> bridge;
    TransmitterRoad& road();
    // Where the bridge's password is kept (the keyring).
    std::unique_ptr<PasswordKeeper> passwords;
    // Opens the road the record names: the bridge, with `password` when the
    // user just typed it, else from the keyring; or the COM port.
    void openBridge(const QString& password = QString());
    // Keeps the password typed for the bridge in the keyring; where none
    // answers, says so: it is asked again at the next start.
    void keepPassword(const QString& password);
    // The keys say what the bridge says of their lamps.
    void showStates();

signals:
    // The road in use, or what it can reach, changed.
    void roadChanged();

public:

    // What COM port N is on this machine ("COM5 = /dev/ttyUSB0, FTDI ..."),
    // for the settings window's port box; asked only when a user hovers it.
    std::function<QString(std::int16_t)> describePort;

    // Shows or hides a control as the window's own logic wants it (the
    // paging buttons); where it lies decides too, see placed().
    void setDesignVisible(QWidget& control, bool visible);

    // Handlers.
    void cmdON_Click(int Index);
    void cmdOFF_Click(int Index);
    void Image1_Click(int Index);
    void Image2_Click(int Index);
    void Timer1_Timer();
    void cmbHouseCode_Change();
    void cmbHouseCode_Click();
    void cmd1to8_Click();
    void cmd9to16_Click();
    void lblWiden_Click();
    void lblTall_Click();
    void lblClose_Click();
    void Form_Load();
    void Form_Unload(std::int16_t& Cancel);
    void Form_DblClick();
    void Form_MouseDown(std::int16_t Button, std::int16_t Shift, float X, float Y);

protected:
    // A control outside the window (the keys of the style not in use, units
    // 9 to 16 of the narrow window, the house box of the short one) is
    // hidden: Tab skips it and screen readers do not offer it as showing.
    void placed(QWidget& control) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void connectHandlers();
    void nameControls();
    void updateSizeTips();
    void press(int index, std::int16_t command);

    void imagePress(int index, std::int16_t command);
    void reportError(const ErrorReport& report);
    void showSettings();
    void applyGeometry();
    float reachableWidth(float twips) const;
    float reachableHeight(float twips) const;
    void keepOnAScreen();
    void setLabelsLeft(float left);
    void placeAll();
    // The control nearest `from` on the screen in an arrow's direction.
    QWidget* neighbour(const QWidget* from, int arrow) const;

    ControllerSettings& settings_;
    SettingsStore& store_;
    std::unique_ptr<MessageBox> messages_;
    QPointer<FrmSettings> settingsWindow_;
    QSet<const QWidget*> designHidden_;
    std::unique_ptr<ComRoad> comRoad_;
    bool loaded_ = false;
    bool unloaded_ = false;

    float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool placed_ = false;  // false until a position is set or the desktop chose one
    std::int32_t backColor_ = 0;
    QPixmap picture_;

    // A left press on the background arms a move; the move starts only once
    // the pointer has left the press by the drag distance, so that a click
    // or a tap there never hands the pointer to the window system.
    bool moveArmed_ = false;
    bool followingMouse_ = false;  // moving without the window system's help
    QPoint pressedAt_;             // global position of the last press
    QPoint grabOffset_;
};

}  // namespace vantrel
