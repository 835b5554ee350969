// Presses through a kestrix-bridge elsewhere in the home, over its MQTT
// broker, and the lamps' states the bridge keeps there. Everything runs on
// the window's thread: the connection's socket is watched by notifiers, so
// a press returns at once and the window never waits on the network.
//
// A press is said, not kept: one that cannot go out now (no broker, the
// login refused, the bridge offline) or that the bridge does not confirm
// with the unit's state within five seconds gives one notice, and is gone.
#pragma once

#include "transmitter_road.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

class QSocketNotifier;

namespace kestrix::mqtt {
class client;
struct message;
}  // namespace kestrix::mqtt

namespace vantrel {

class PressNotices;

struct BridgeAddress {
    QString host;
    int port = 1883;
    bool tls = false;  // the broker verified against the system's CAs, or:
    QString caFile;    // a home broker's own CA
    QString base = QStringLiteral("kestrix");
    QString user;
    QString password;
    // From the store's "Bridge" text: "mqtt://host:port" or
    // "mqtts://host:port" (the port may be left out; "?cafile=PATH" names
    // the CA of a broker with a certificate of its own); nothing for an empty
    // or unreadable text, which leaves the COM port in use.
    static std::optional<BridgeAddress> parse(const QString& bridge);
};

class BridgeRoad final : public QObject, public TransmitterRoad {
    Q_OBJECT
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::seconds ConfirmWithin{5};
    static constexpr std::chrono::seconds LongestWait{60};  // between two tries to reach the broker

    // Starts reaching the broker at once, in the background; with a login
    // but no password, once setPassword() gives it.
    BridgeRoad(const BridgeAddress& where, PressNotices& notices, Clock now = std::chrono::steady_clock::now);
    ~BridgeRoad() override;

    void press(ControllerSettings& record, std::int16_t command) override;
    QString summary() const override;

    // The house whose states the keys show: its states are asked for afresh.
    void showHouse(const std::string& house);
    // What the bridge says of unit 1 to 16 of the house shown; nothing
    // while it has said nothing.
    std::optional<bool> isOn(int unit) const;
    bool connected() const { return connected_; }
    // The base topics of the bridges on the broker (their kept status).
    QStringList bridgesSeen() const;
    // The account the password is kept for: "user@host:port".
    QString account() const;
    // Logs in with it, now.
    void setPassword(const QString& password);
    // Asked at a press while the password is not known: it, or nothing
    // when the user gave none. The press that asked goes out once the
    // broker took the login and the bridge is heard, within five seconds.
    std::function<std::optional<QString>(const QString& why)> askPassword;
    QString passwordProblem;  // why it is not known (no keyring, say)

    // Time and the timers, for tests that drive time themselves.
    Clock clock;
    QTimer retry;     // the next try to reach the broker
    QTimer confirm;   // looks for presses the bridge left unconfirmed
    QTimer upkeep;    // the library's keep-alive

signals:
    void statesChanged();
    void reachChanged();  // connected, lost, the bridge online or offline

private:
    void makeClient();
    void reach();
    void watchSocket();
    void dropSocket();
    void serviced(const std::string& why);
    void lost(const std::string& why);
    void arrived(const kestrix::mqtt::message& m);
    void checkConfirmations();
    void subscribeHouse();
    std::string topic(const std::string& rest) const;
    QString road() const;
    void fail(const QString& why);

    BridgeAddress where_;
    PressNotices& notices_;
    std::unique_ptr<kestrix::mqtt::client> client_;
    std::unique_ptr<QSocketNotifier> readable_, writable_;
    int socket_ = -1;
    bool connected_ = false;
    std::optional<bool> online_;  // the bridge's availability, once heard
    QString problem_;             // why the broker cannot be used now
    std::chrono::seconds wait_{1};
    std::string house_;               // lower case, as in the bridge's topics
    std::array<std::optional<bool>, 17> states_{};
    std::set<std::string> bridges_;
    std::map<std::string, std::chrono::steady_clock::time_point> unconfirmed_;  // "a/3" and its deadline
    bool needsPassword_ = false;
    struct Held {
        ControllerSettings record;
        std::int16_t command;
        std::chrono::steady_clock::time_point until;
    };
    std::optional<Held> held_;  // the press that asked for the password
};

}  // namespace vantrel
