// The press road from a unit control to the transmitter, the port-closing
// timer, the house code and the paging buttons.
#include "support/remote_fixture.h"

#include <QLoggingCategory>

#include <algorithm>

namespace vantrel::testing {
namespace {

using Calls = std::vector<std::string>;

class Dispatch : public RemoteTest {
protected:
    void SetUp() override {
        createForm();
        control->calls.clear();
    }
    long resets() const { return std::count(control->calls.begin(), control->calls.end(), "ResetCom"); }
};

TEST_F(Dispatch, ButtonPressHandsTheRecordsOwnTextsToTheControlThenArmsTheTimer) {
    form->cmbHouseCode->setText(QStringLiteral("C"));
    settings.ComPort = 2;
    form->cmdON_Click(12);
    EXPECT_EQ(settings.DeviceCode, "12");
    EXPECT_EQ(control->calls, (Calls{"comport 2", "Init 0", "Exec C 12 2"}));
    EXPECT_EQ(control->lastHouse, &settings.HouseCode);  // by reference, not a copy
    EXPECT_EQ(control->lastDevice, &settings.DeviceCode);
    EXPECT_EQ(control->frames(), (Calls{"D5 AA 44 18 AD", "D5 AA 44 18 AD"}));
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_TRUE(control->log->open);

    form->Timer1_Timer();
    EXPECT_EQ(control->calls.back(), "ResetCom");
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_FALSE(control->log->open);
}

TEST_F(Dispatch, ImagePressSendsOffForItsUnit) {
    form->cmbHouseCode->setText(QStringLiteral("C"));
    form->Image2_Click(3);
    EXPECT_EQ(control->calls, (Calls{"comport 1", "Init 0", "Exec C 3 3"}));
    EXPECT_EQ(control->frames(), (Calls{"D5 AA 40 28 AD", "D5 AA 40 28 AD"}));
    EXPECT_TRUE(form->Timer1->isActive());
}

TEST_F(Dispatch, ElementZeroPassesUnitZeroWhichIsSentAsSixteen) {
    form->Image1_Click(0);
    EXPECT_EQ(settings.DeviceCode, "0");
    EXPECT_EQ(control->frames(), (Calls{"D5 AA 64 58 AD", "D5 AA 64 58 AD"}));
}

TEST_F(Dispatch, TwoPressesInARowSendBothAndCloseThePortOnce) {
    form->cmdON_Click(1);
    form->cmdOFF_Click(1);
    form->Timer1_Timer();
    EXPECT_EQ(control->frames().size(), 4u);
    EXPECT_EQ(resets(), 1);
    EXPECT_FALSE(form->Timer1->isActive());
}

struct house_case {
    bool portOpens;
    std::string houseAfter;
};

class LowerCaseHouse : public Dispatch, public ::testing::WithParamInterface<house_case> {};

TEST_P(LowerCaseHouse, IsUpperCasedInTheRecordOnlyWhenTheCommandWentOut) {
    if (!GetParam().portOpens) control->log->fail_open_with = kestrix::errc::port_not_found;
    form->cmbHouseCode->setText(QStringLiteral("c"));
    form->cmdON_Click(5);
    EXPECT_EQ(settings.HouseCode, GetParam().houseAfter);
    EXPECT_EQ(form->cmbHouseCode->Text(), "c");  // the box keeps what it showed
    EXPECT_EQ(control->frames().empty(), !GetParam().portOpens);
    EXPECT_TRUE(messages->shown.empty());
    EXPECT_TRUE(form->Timer1->isActive());
    form->Timer1_Timer();
    EXPECT_FALSE(form->Timer1->isActive());
}

INSTANTIATE_TEST_SUITE_P(Ports, LowerCaseHouse, ::testing::Values(house_case{true, "C"}, house_case{false, "c"}));

TEST_F(Dispatch, AFailedInitLeavesOneWarningLineNamingPortAndReason) {
    static QStringList warnings;
    warnings.clear();
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context,
                                                          const QString& text) {
        if (type == QtWarningMsg) warnings << QString::fromLatin1(context.category) + QStringLiteral(": ") + text;
    });
    control->log->fail_open_with = kestrix::errc::port_in_use;
    settings.ComPort = 7;
    form->cmdON_Click(1);
    qInstallMessageHandler(previous);
    ASSERT_EQ(warnings.size(), 1) << warnings.join('\n').toStdString();
    EXPECT_TRUE(warnings[0].startsWith(QStringLiteral("vantrel.transmitter: COM7"))) << warnings[0].toStdString();
    EXPECT_TRUE(warnings[0].contains(QStringLiteral("8010"))) << warnings[0].toStdString();
    EXPECT_TRUE(warnings[0].contains(QStringLiteral("cannot open"))) << warnings[0].toStdString();
}

enum class Array { cmdON, cmdOFF, Image1, Image2 };

class TransmitterErrorMidPress : public Dispatch, public ::testing::WithParamInterface<Array> {
protected:
    void press(int unit) {
        switch (GetParam()) {
        case Array::cmdON: return form->cmdON_Click(unit);
        case Array::cmdOFF: return form->cmdOFF_Click(unit);
        case Array::Image1: return form->Image1_Click(unit);
        case Array::Image2: return form->Image2_Click(unit);
        }
    }
    bool isButton() const { return GetParam() == Array::cmdON || GetParam() == Array::cmdOFF; }
};

TEST_P(TransmitterErrorMidPress, ClosesThePortAndTheProgramRunsOn) {
    control->log->fail_change_at = 30;
    control->log->fail_change_with = kestrix::errc::line_change_failed;
    press(4);

    if (isButton()) {
        ASSERT_EQ(messages->shown.size(), 1u);
        EXPECT_TRUE(messages->shown[0].startsWith(QStringLiteral("Error 8020: Line change failed")))
            << messages->shown[0].toStdString();
        EXPECT_FALSE(control->log->open);  // closed by the report
    } else {
        EXPECT_TRUE(messages->shown.empty());
        EXPECT_TRUE(form->Timer1->isActive());  // the timer will close it
        form->Timer1_Timer();
        EXPECT_FALSE(control->log->open);
    }

    // Still working: the next press goes out.
    control->log->fail_change_at = 0;
    control->log->events.clear();
    press(4);
    EXPECT_EQ(control->frames().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Arrays, TransmitterErrorMidPress,
                         ::testing::Values(Array::cmdON, Array::cmdOFF, Array::Image1, Array::Image2));

TEST_F(Dispatch, TheHouseBoxTextGoesToTheRecordUnchanged) {
    form->cmbHouseCode->setText(QStringLiteral("zz 9"));
    EXPECT_EQ(settings.HouseCode, "zz 9");
    form->cmbHouseCode->setText(QString());
    EXPECT_EQ(settings.HouseCode, "");
    form->cmbHouseCode->setCurrentIndex(3);
    form->cmbHouseCode->activated(3);
    EXPECT_EQ(settings.HouseCode, "D");
}

TEST_F(Dispatch, PagingButtonsSetTheWidthAndTheCloseLabel) {
    form->cmd9to16_Click();
    EXPECT_EQ(form->Width(), 2370);
    EXPECT_EQ(form->lblClose->Left(), 2250);
    EXPECT_TRUE(form->cmd9to16->isHidden());
    EXPECT_EQ(form->lblWiden->Left(), 1080);
    EXPECT_EQ(form->lblWiden->Caption(), ">");
    form->cmd1to8_Click();
    EXPECT_EQ(form->Width(), 1215);
    EXPECT_EQ(form->lblClose->Left(), 1080);
    EXPECT_FALSE(form->cmd9to16->isHidden());
}

}  // namespace
}  // namespace vantrel::testing
