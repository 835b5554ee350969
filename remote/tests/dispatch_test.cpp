// The press road from a unit control to the transmitter, the port-closing
// timer and the house code, driven by clicks and keys.
#include "support/log_capture.h"
#include "realtime_kit.h"
#include "bridge_dialog.h"
#include "support/remote_fixture.h"
#include "testkit/broker.h"
#include "testkit/pseudo_terminal.h"
#include "testkit/shim.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QInputDialog>
#include <QLineEdit>
#include <QTest>

#include <algorithm>

#include <signal.h>
#include <sys/resource.h>

namespace vantrel::testing {
namespace {

using Calls = std::vector<std::string>;
using namespace std::chrono_literals;

class Dispatch : public RemoteTest {
protected:
    void SetUp() override {
        createForm();
        control->calls.clear();
    }
    long resets() const { return std::count(control->calls.begin(), control->calls.end(), "ResetCom"); }
    void timerFires() { QMetaObject::invokeMethod(form->Timer1, "timeout"); }
};

TEST_F(Dispatch, ButtonPressHandsTheRecordsOwnTextsToTheControlThenArmsTheTimer) {
    form->cmbHouseCode->setText(QStringLiteral("C"));
    settings.ComPort = 2;
    standardButtons();
    form->setWidth(2370);
    click(form->cmdON[12]);
    EXPECT_EQ(settings.DeviceCode, "12");
    EXPECT_EQ(control->calls, (Calls{"comport 2", "Init 0", "Exec C 12 2"}));
    EXPECT_EQ(control->lastHouse, &settings.HouseCode);  // by reference, not a copy
    EXPECT_EQ(control->lastDevice, &settings.DeviceCode);
    EXPECT_EQ(control->frames(), (Calls{"D5 AA 44 18 AD", "D5 AA 44 18 AD"}));
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_TRUE(control->log->open);

    timerFires();
    EXPECT_EQ(control->calls.back(), "ResetCom");
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_FALSE(control->log->open);
}

TEST_F(Dispatch, TwoPressesInARowSendBothAndCloseThePortOnce) {
    click(form->Image1[1]);
    click(form->Image2[1]);
    timerFires();
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
    form->setHeight(2500);
    click(form->cmbHouseCode->lineEdit());
    retype(form.get(), QStringLiteral("c"));
    click(form->Image1[5]);
    EXPECT_EQ(settings.HouseCode, GetParam().houseAfter);
    EXPECT_EQ(form->cmbHouseCode->Text(), "c");  // the box keeps what it showed
    EXPECT_EQ(control->frames().empty(), !GetParam().portOpens);
    EXPECT_TRUE(messages->shown.empty());
    EXPECT_TRUE(form->Timer1->isActive());
    timerFires();
    EXPECT_FALSE(form->Timer1->isActive());
}

INSTANTIATE_TEST_SUITE_P(Ports, LowerCaseHouse, ::testing::Values(house_case{true, "C"}, house_case{false, "c"}));

TEST_F(Dispatch, AFailedInitLeavesOneWarningLineNamingPortAndReason) {
    LogCapture warnings("vantrel.transmitter");
    control->log->fail_open_with = kestrix::errc::port_in_use;
    settings.ComPort = 7;
    click(form->Image1[1]);
    ASSERT_EQ(warnings.lines().size(), 1) << warnings.lines().join('\n').toStdString();
    const QString line = warnings.lines()[0];
    EXPECT_TRUE(line.startsWith(QStringLiteral("COM7"))) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral("8010"))) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral("cannot open"))) << line.toStdString();
}

// A user who started Vantrel from the menu sees no standard error: a
// failed press is notified on the desktop, once a cause until one succeeds.
TEST_F(Dispatch, FailedPressesAreNotifiedOnceACauseUntilOneSucceeds) {
    for (const auto& [error, presses] : {std::pair<int, int>{kestrix::errc::port_in_use, 2},
                                         {kestrix::errc::permission_denied, 1}, {0, 1}, {kestrix::errc::port_in_use, 1}}) {
        control->log->fail_open_with = error;
        for (int i = 0; i < presses; ++i) click(form->Image1[2]);
    }
    ASSERT_EQ(notifications->shown.size(), 3u);
    for (auto [i, says] : {std::pair{0, "COM1: error 8010"}, {1, "COM1: error 8004"}, {2, "COM1: error 8010"}})
        EXPECT_TRUE(notifications->shown[i].contains(QString::fromLatin1(says))) << notifications->shown[i].toStdString();
}

TEST_F(Dispatch, TheSystemConsoleIsNamedTheFirstTimeItIsOpened) {
    form->notices.isConsole = [](std::int16_t port) { return port == 1; };
    LogCapture warnings("vantrel.transmitter");
    click(form->Image1[1]);
    click(form->Image2[1]);
    ASSERT_EQ(warnings.lines().size(), 1) << warnings.lines().join('\n').toStdString();
    EXPECT_TRUE(warnings.lines()[0].contains(QStringLiteral("COM1 (/dev/ttyS0) is this machine's system console")))
        << warnings.lines()[0].toStdString();
    EXPECT_EQ(control->frames().size(), 4u);  // the user's choice: it still goes out
}

enum class Array { cmdON, cmdOFF, Image1, Image2 };

class TransmitterErrorMidPress : public Dispatch, public ::testing::WithParamInterface<Array> {
protected:
    void press(int unit) {
        switch (GetParam()) {
        case Array::cmdON: return click(form->cmdON[unit]);
        case Array::cmdOFF: return click(form->cmdOFF[unit]);
        case Array::Image1: return click(form->Image1[unit]);
        case Array::Image2: return click(form->Image2[unit]);
        }
    }
    bool isButton() const { return GetParam() == Array::cmdON || GetParam() == Array::cmdOFF; }
};

TEST_P(TransmitterErrorMidPress, ClosesThePortAndTheProgramRunsOn) {
    if (isButton()) standardButtons();
    control->log->fail_change_at = 30;
    control->log->fail_change_with = kestrix::errc::line_change_failed;
    LogCapture warnings("vantrel.transmitter");
    press(4);

    if (isButton()) {
        ASSERT_EQ(messages->shown.size(), 1u);
        EXPECT_TRUE(messages->shown[0].startsWith(QStringLiteral("Error 8020: Line change failed")))
            << messages->shown[0].toStdString();
        EXPECT_FALSE(control->log->open);  // closed by the report
    } else {
        EXPECT_TRUE(messages->shown.empty());
        ASSERT_EQ(warnings.lines().size(), 1);  // silent on screen, but a trace is left
        EXPECT_TRUE(warnings.lines()[0].contains(QStringLiteral("8020"))) << warnings.lines()[0].toStdString();
        EXPECT_TRUE(form->Timer1->isActive());  // the timer will close it
        timerFires();
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

TEST_F(Dispatch, TheHouseBoxTextGoesToTheRecordAsTyped) {
    form->setHeight(2500);
    click(form->cmbHouseCode->lineEdit());
    for (const QString& text : {QStringLiteral("zz 9"), QStringLiteral("b"), QString()}) {
        retype(form.get(), text);
        EXPECT_EQ(QString::fromStdString(settings.HouseCode), text);
        EXPECT_EQ(form->cmbHouseCode->Text(), text);
    }
}

// Presses through a real kestrix-bridge, its transmitter on a
// pseudo-terminal, over a real broker: the remote named in the store as
// "Bridge=mqtt://127.0.0.1:<port>".
class ThroughTheBridge : public RemoteTest {
public:  // open to the table-driven tests' rows
    void SetUp() override {
        if (!kestrix::testing::broker::available()) GTEST_SKIP() << "mosquitto is not installed (apt install mosquitto)";
        mqtt = std::make_unique<kestrix::testing::broker>(login, tls);
        const std::string port = std::to_string(mqtt->port());
        const std::string user = login.substr(0, login.find(':'));
        folder.write("password", login.substr(login.find(':') + 1));
        folder.write("bridge.toml", "[transmitter]\ndevice = \"" + line.slave + "\"\n[mqtt]\nhost = \"127.0.0.1\"\nport = " + port + "\n" +
                                        (login.empty() ? "" : "username = \"" + user + "\"\npassword_file = \"" + folder / "password" + "\"\n"));
        bridge = std::make_unique<kestrix::testing::child>(kestrix::testing::launch(
            {KESTRIX_BRIDGE, "--config", folder / "bridge.toml", "-v"},
            kestrix::testing::shim_env(folder / "bridge.log", {{"KESTRIX_SHIM_WATCH", line.slave}, {"XDG_STATE_HOME", folder / "state"}})));
        ASSERT_TRUE(bridge->says("connected to the broker")) << bridge->output();
        address = tls ? QStringLiteral("mqtts://127.0.0.1:%1?cafile=%2").arg(mqtt->tls_port()).arg(QString::fromStdString(mqtt->ca_file()))
                      : QStringLiteral("mqtt://127.0.0.1:") + QString::fromStdString(port);
        store({{QStringLiteral("Bridge"), chosenInTheSettings ? QString() : address},
               {QStringLiteral("HouseCode"), QStringLiteral("B")},
               {QStringLiteral("BridgeUser"), QString::fromStdString(login.empty() ? "" : user)}});
        createForm(false);
        auto scripted = std::make_unique<ScriptedKeeper>();
        keyring = scripted.get();
        keyring->kept = kept;
        form->passwords = std::move(scripted);
        showAndActivate(form.get());
        if (chosenInTheSettings) chooseTheBridge(true);
        ASSERT_TRUE(form->bridge);
        if (!login.empty() && !kept) return;  // asked at the first press
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->bridge->summary().endsWith(QLatin1String(": online")); }, 15000))
            << form->bridge->summary().toStdString();
    }
    std::vector<std::string> frames() {
        bridge->finish(SIGTERM);
        return kestrix::testing::frames_of(kestrix::testing::replay_shim_log(folder / "bridge.log").rx);
    }
    QString description(int unit) const { return form->cmdON[unit]->accessibleDescription(); }
    // In the settings window, as a user does: the bridge button, the
    // address typed, the box ticked or not, OK.
    void chooseTheBridge(bool use) {
        FrmSettings& window = openSettings();
        click(window.cmdBridge);
        const auto choosers = window.findChildren<BridgeDialog*>();
        ASSERT_FALSE(choosers.empty());
        QPointer<BridgeDialog> chooser = choosers.back();  // an earlier one may not be deleted yet
        showAndActivate(chooser);
        click(chooser->broker);
        retype(chooser, address);
        if (chooser->useBridge->isChecked() != use) click(chooser->useBridge);
        key(chooser, Qt::Key_Return);
        ASSERT_TRUE(!chooser || !chooser->isVisible());  // it goes once accepted
    }

    bool chosenInTheSettings = false;  // else named in the store
    bool tls = false;                  // the remote's way to the broker
    QString address;                   // the broker's, mqtt://127.0.0.1:<port>
    std::string login;              // the broker's only one, "user:password"; empty: anyone
    std::optional<QString> kept;    // in the keyring
    ScriptedKeeper* keyring = nullptr;
    kestrix::testing::pseudo_terminal line;
    kestrix::testing::scratch folder{"vantrel-bridge"};
    std::unique_ptr<kestrix::testing::broker> mqtt;
    std::unique_ptr<kestrix::testing::child> bridge;
};

TEST_F(ThroughTheBridge, AClickSendsTheFrameAndEachKeyShowsItsLamp) {
    standardButtons();
    click(form->cmdON[3]);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->bridge->isOn(3).value_or(false); }, 5000));
    EXPECT_EQ(description(3), "unit 3 is on");
    EXPECT_EQ(form->cmdOFF[3]->accessibleDescription(), "unit 3 is on");
    // Switched elsewhere: a hub, a timer, another remote.
    kestrix::testing::mqtt_listener hub(mqtt->port(), {"kestrix/#"});
    hub.publish("kestrix/b/5/state", "ON", true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return description(5) == "unit 5 is on"; }, 1000));
    form->setHeight(2500);
    click(form->cmbHouseCode->lineEdit());
    retype(form.get(), QStringLiteral("A"));  // another house: its own lamps
    EXPECT_EQ(description(5), "");
    retype(form.get(), QStringLiteral("B"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return description(5) == "unit 5 is on"; }, 1000));
    hub.publish("kestrix/b/5/state", "OFF", true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return description(5) == "unit 5 is off"; }, 1000));
    EXPECT_TRUE(notifications->shown.empty());
    EXPECT_EQ(frames(), (Calls{"D5 AA 70 08 AD", "D5 AA 70 08 AD"}));
}

// Quietly, each try a wait twice as long as the one before, a minute at most.
TEST_F(ThroughTheBridge, TheBrokerLostIsTriedAgainLessAndLessOften) {
    mqtt.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->bridge->connected(); }, 5000));
    std::vector<int> waits;
    for (int i = 0; i < 7; ++i) {
        form->bridge->retry.stop();  // as when it fires
        QMetaObject::invokeMethod(&form->bridge->retry, "timeout");
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->bridge->retry.isActive(); }, 5000));
        waits.push_back(form->bridge->retry.interval() / 1000);
    }
    EXPECT_EQ(waits, (std::vector<int>{2, 4, 8, 16, 32, 60, 60}));
    EXPECT_TRUE(notifications->shown.empty());
}

class ChosenInTheSettings : public ThroughTheBridge {
protected:
    void SetUp() override {
        chosenInTheSettings = true;
        ThroughTheBridge::SetUp();
    }
};

TEST_F(ChosenInTheSettings, TheButtonSaysTheRoadAndThePressesTakeIt) {
    FrmSettings& window = *form->settingsWindow();
    EXPECT_EQ(window.cmdBridge->Caption(), "bridge ok");
    EXPECT_EQ(window.cmdBridge->accessibleDescription(), "Presses go through the bridge on 127.0.0.1: online");
    click(form->Image1[2]);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->bridge->isOn(2).has_value(); }, 5000));
    EXPECT_TRUE(control->calls.empty());
    // The bridges the broker has are offered as base topics.
    kestrix::testing::mqtt_listener upstairs(mqtt->port(), {"house2/#"});
    upstairs.publish("house2/bridge/status", "{}", true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->bridge->bridgesSeen().size() == 2; }, 5000));
    click(window.cmdBridge);
    auto* chooser = window.findChild<BridgeDialog*>();
    ASSERT_TRUE(chooser);
    EXPECT_EQ(chooser->baseTopic->count(), 2);
    EXPECT_EQ(chooser->baseTopic->itemText(0), "house2");
    EXPECT_EQ(chooser->baseTopic->itemText(1), "kestrix");
    key(chooser, Qt::Key_Escape);
    chooseTheBridge(false);  // back to the COM port
    EXPECT_EQ(window.cmdBridge->Caption(), "bridge...");
    click(form->Image1[2]);
    EXPECT_EQ(control->frames(), (Calls{"D5 AA 70 10 AD", "D5 AA 70 10 AD"}));
    EXPECT_EQ(frames(), (Calls{"D5 AA 70 10 AD", "D5 AA 70 10 AD"}));
    closeForm();
    EXPECT_EQ(storedValues().value(QStringLiteral("Bridge")), "");
}

// A home broker with a certificate of its own: verified against its CA,
// refused against the system's.
class OverTls : public ChosenInTheSettings {
protected:
    void SetUp() override {
        tls = true;
        ChosenInTheSettings::SetUp();
    }
};

TEST_F(OverTls, TheBrokerIsVerifiedAgainstTheCaNamed) {
    click(form->Image1[2]);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->bridge->isOn(2).has_value(); }, 5000));
    address = address.left(address.indexOf(QLatin1Char('?')));
    chooseTheBridge(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->bridge->summary().endsWith(QLatin1String("no broker")); }, 5000));
    EXPECT_EQ(form->settingsWindow()->cmdBridge->Caption(), "bridge down");
    click(form->Image1[2]);
    ASSERT_EQ(notifications->shown.size(), 1u);
    EXPECT_TRUE(notifications->shown[0].contains(QLatin1String("cannot reach the broker"))) << notifications->shown[0].toStdString();
    EXPECT_EQ(frames(), (Calls{"D5 AA 70 10 AD", "D5 AA 70 10 AD"}));
}

// The login typed in the bridge window: used at once, its password kept
// in the keyring and nowhere else.
class ChosenWithALogin : public ChosenInTheSettings {
protected:
    void SetUp() override {
        login = "hall:s3cret";
        ChosenInTheSettings::SetUp();
    }
};

TEST_F(ChosenWithALogin, ThePasswordTypedIsUsedAndKeptInTheKeyring) {
    FrmSettings& window = *form->settingsWindow();
    click(window.cmdBridge);
    QPointer<BridgeDialog> chooser = window.findChildren<BridgeDialog*>().back();
    showAndActivate(chooser);
    click(chooser->user);
    retype(chooser, QStringLiteral("hall"));
    click(chooser->password);
    type(chooser, QStringLiteral("s3cret"));
    key(chooser, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->bridge->summary().endsWith(QLatin1String(": online")); }, 5000))
        << form->bridge->summary().toStdString();
    click(form->Image1[2]);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->bridge->isOn(2).has_value(); }, 5000));
    EXPECT_EQ(keyring->written[form->bridge->account()], "s3cret");
    EXPECT_EQ(frames(), (Calls{"D5 AA 70 10 AD", "D5 AA 70 10 AD"}));
    closeForm();
    QFile file(storeFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("s3cret"));
}

// A broker that asks for a login: the password from the keyring, or,
// with none, asked at the first press, which goes out once it is taken.
struct login_case {
    const char* name;
    std::optional<QString> kept;
    QString typed;
    Calls frames;
    const char* notice;
};

std::ostream& operator<<(std::ostream& os, const login_case& c) { return os << c.name; }

class WithALogin : public ThroughTheBridge, public ::testing::WithParamInterface<login_case> {
protected:
    void SetUp() override {
        login = "hall:s3cret";
        kept = GetParam().kept;
        ThroughTheBridge::SetUp();
    }
};

TEST_P(WithALogin, ThePasswordComesFromTheKeyringOrIsAskedAndNeverStored) {
    QString asked;
    QTimer::singleShot(0, [&] {  // the question, answered as a user does
        auto* question = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!question) return;
        asked = question->labelText();
        QTest::keyClicks(question->findChild<QLineEdit*>(), GetParam().typed);
        QTest::keyClick(question->findChild<QLineEdit*>(), Qt::Key_Return);
    });
    click(form->Image1[2]);
    EXPECT_EQ(asked.isEmpty(), GetParam().kept.has_value()) << asked.toStdString();
    if (GetParam().notice) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !notifications->shown.empty(); }, 5000));
        EXPECT_TRUE(notifications->shown.at(0).contains(QString::fromLatin1(GetParam().notice))) << notifications->shown.at(0).toStdString();
    } else {
        EXPECT_TRUE(QTest::qWaitFor([&] { return form->bridge->isOn(2).has_value(); }, 5000));
        EXPECT_TRUE(notifications->shown.empty()) << notifications->shown.front().toStdString();
    }
    EXPECT_EQ(frames(), GetParam().frames);
    closeForm();
    EXPECT_EQ(storedValues().value(QStringLiteral("BridgeUser")), "hall");
    QFile file(storeFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("s3cret"));
}

INSTANTIATE_TEST_SUITE_P(
    Passwords, WithALogin,
    ::testing::Values(login_case{"from_the_keyring", QStringLiteral("s3cret"), {}, {"D5 AA 70 10 AD", "D5 AA 70 10 AD"}, nullptr},
                      login_case{"asked_without_a_keyring", std::nullopt, QStringLiteral("s3cret"), {"D5 AA 70 10 AD", "D5 AA 70 10 AD"}, nullptr},
                      login_case{"a_wrong_one_refused", std::nullopt, QStringLiteral("guess"), {}, "refused the connection"}),
    [](const auto& row) { return std::string(row.param.name); });

// Whatever stands in the way, each press returns at once; the cause is
// notified once and said on standard error at each press.
struct bridge_trouble {
    const char* name;
    std::function<void(ThroughTheBridge&)> happen;
    const char* says;
};

std::ostream& operator<<(std::ostream& os, const bridge_trouble& t) { return os << t.name; }

class BridgeTrouble : public ThroughTheBridge, public ::testing::WithParamInterface<bridge_trouble> {};

TEST_P(BridgeTrouble, IsNotifiedOnceAndNothingWaits) {
    LogCapture warnings("vantrel.transmitter");
    GetParam().happen(*this);
    for (int press = 0; press < 2; ++press) {
        click(form->Image1[2]);
        const std::size_t said = notifications->shown.size();
        // No confirmation: time runs to the bridge's five seconds, then past.
        for (const auto after : {BridgeRoad::ConfirmWithin - 100ms, BridgeRoad::ConfirmWithin + 0ms}) {
            if (after == BridgeRoad::ConfirmWithin) {
                EXPECT_EQ(notifications->shown.size(), said);
            }
            const auto later = form->bridge->clock() + after;
            form->bridge->clock = [later] { return later; };
            QMetaObject::invokeMethod(&form->bridge->confirm, "timeout");
        }
    }
    ASSERT_EQ(notifications->shown.size(), 1u) << notifications->shown.back().toStdString();
    EXPECT_TRUE(notifications->shown[0].contains(QString::fromLatin1(GetParam().says))) << notifications->shown[0].toStdString();
    EXPECT_EQ(warnings.lines().size(), 2) << warnings.lines().join('\n').toStdString();
    ::kill(bridge->pid(), SIGCONT);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, BridgeTrouble,
    ::testing::Values(
        bridge_trouble{"broker_stopped",
                       [](ThroughTheBridge& f) {
                           f.mqtt.reset();
                           ASSERT_TRUE(QTest::qWaitFor([&] { return !f.form->bridge->connected(); }, 5000));
                       },
                       "lost the broker at 127.0.0.1"},
        bridge_trouble{"bridge_stopped",
                       [](ThroughTheBridge& f) {
                           f.bridge->finish(SIGTERM);
                           ASSERT_TRUE(QTest::qWaitFor([&] { return f.form->bridge->summary().endsWith(QLatin1String("offline")); }, 5000));
                       },
                       "the bridge is offline"},
        bridge_trouble{"bridge_never_answers", [](ThroughTheBridge& f) { ::kill(f.bridge->pid(), SIGSTOP); },
                       "the bridge did not confirm B2 within 5 s"}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace vantrel::testing

namespace vantrel::testing {
namespace {

// RealtimeKit refuses a process whose real-time threads could run away;
// the kernel reads the limit in microseconds, and a double frame (84 ms)
// must fit within it.
TEST(RealtimeKit, TheCpuLimitLetsADoubleFrameThroughAndNoMore) {
    rlimit before{};
    ::getrlimit(RLIMIT_RTTIME, &before);
    ASSERT_TRUE(limitRealtimeCpu());
    rlimit after{};
    ::getrlimit(RLIMIT_RTTIME, &after);
    ::setrlimit(RLIMIT_RTTIME, &before);  // allowed to root; elsewhere this process keeps the lower limit
    EXPECT_GE(after.rlim_cur, 84'000u);
    EXPECT_LE(after.rlim_max, 200'000u);
}

}  // namespace
}  // namespace vantrel::testing
