// Form1's handlers: unit presses, the port-closing timer, the house code,
// paging, the window-control labels and the mouse on the background.
#include "form1.h"

#include "design.h"
#include "frm_settings.h"
#include "press_notices.h"

namespace vantrel {

using namespace design;

// One press: the unit goes to the record, the record to the road in use.
void Form1::press(int index, std::int16_t command) {
    settings_.DeviceCode = std::to_string(index);
    road().press(settings_, command);
}

TransmitterRoad& Form1::road() {
    if (bridge) return *bridge;
    return *comRoad_;
}

void Form1::cmdON_Click(int Index) {
    atTopLevel([&] { press(Index, kestrix::cmd_on); });
}

void Form1::cmdOFF_Click(int Index) {
    atTopLevel([&] { press(Index, kestrix::cmd_off); });
}

void Form1::Image1_Click(int Index) { imagePress(Index, kestrix::cmd_on); }

void Form1::Image2_Click(int Index) { imagePress(Index, kestrix::cmd_off); }

// The images fail silently on screen, but leave a trace on standard error
// and never leave the port open.
void Form1::imagePress(int index, std::int16_t command) {
    try {
        press(index, command);
    } catch (const std::exception&) {
        const ErrorReport report = describeCurrentError();
        const QString why = QString::fromStdString(report.description);
        qCWarning(lcTransmitter).noquote() << QStringLiteral("COM%1: the command did not go out (error %2): %3")
                                                  .arg(settings_.ComPort)
                                                  .arg(report.number)
                                                  .arg(why);
        notices.failed(settings_.ComPort, report.number, why);
        Timer1->start();
    }
}

// A close that fails leaves the timer running, to try again.
void Form1::Timer1_Timer() {
    trapToEnd([&] {
        firecracker->ResetCom();
        Timer1->stop();
    });
}

void Form1::reportError(const ErrorReport& report) {
    resumeNext([&] { firecracker->ResetCom(); });
    messages_->show(QStringLiteral("Error %1: %2").arg(report.number).arg(QString::fromStdString(report.description)));
}

void Form1::cmbHouseCode_Change() {
    settings_.HouseCode = cmbHouseCode->Text().toStdString();
    if (bridge) bridge->showHouse(settings_.HouseCode);
}

void Form1::cmbHouseCode_Click() { cmbHouseCode_Change(); }

void Form1::cmd1to8_Click() {
    atTopLevel([&] {
        lblClose->setLeft(NarrowLabelsLeft);
        setWidth(NarrowWidth);
        setDesignVisible(*cmd9to16, true);
    });
}

void Form1::cmd9to16_Click() {
    atTopLevel([&] {
        lblClose->setLeft(WideLabelsLeft);
        setWidth(WideWidth);
        setDesignVisible(*cmd9to16, false);
    });
}

void Form1::setLabelsLeft(float left) {
    lblWiden->setLeft(left);
    lblTall->setLeft(left);
}

// Only the two designed widths switch; any other width (from the store) stays.
void Form1::lblWiden_Click() {
    atTopLevel([&] {
        if (Width() == WideWidth) {
            lblClose->setLeft(NarrowLabelsLeft);
            setWidth(NarrowWidth);
            lblWiden->setCaption(QStringLiteral(">"));
            setLabelsLeft(NarrowLabelsLeft);
        } else if (Width() == NarrowWidth) {
            lblClose->setLeft(WideLabelsLeft);
            lblWiden->setCaption(QStringLiteral("<"));
            setWidth(WideWidth);
            setLabelsLeft(WideLabelsLeft);
        }
    });
}

// The window grows tall only while it is narrow; it always shrinks.
void Form1::lblTall_Click() {
    atTopLevel([&] {
        if (Height() >= TallFrom) setHeight(ShortHeight);
        else if (Width() > TallOnlyUpTo) return;
        else setHeight(TallHeight);
    });
}

void Form1::lblClose_Click() { close(); }

void Form1::Form_DblClick() { showMinimized(); }

void Form1::Form_MouseDown(std::int16_t Button, std::int16_t, float, float) {
    if (Button == 2) atTopLevel([&] { showSettings(); });
    if (Button == 1) moveArmed_ = true;  // the move starts when the pointer does
}

void Form1::showSettings() {
    if (!settingsWindow_) {
        settingsWindow_ = new FrmSettings(*this);
        settingsWindow_->Form_Load();
    }
    settingsWindow_->show();
    settingsWindow_->raise();
    settingsWindow_->activateWindow();
}

}  // namespace vantrel
