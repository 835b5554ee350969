#include "bridge_road.h"

#include "press_notices.h"

#include <mqtt_client.h>
#include <kestrix/controlcm.h>

#include <QHostInfo>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QUrl>
#include <QUrlQuery>

#include <unistd.h>

namespace vantrel {

std::optional<BridgeAddress> BridgeAddress::parse(const QString& bridge) {
    const QUrl url(bridge.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")))
        return std::nullopt;
    BridgeAddress a;
    a.host = url.host();
    a.tls = scheme == QLatin1String("mqtts");
    a.port = url.port(a.tls ? 8883 : 1883);
    a.caFile = QUrlQuery(url).queryItemValue(QStringLiteral("cafile"), QUrl::FullyDecoded);
    return a;
}

BridgeRoad::BridgeRoad(const BridgeAddress& where, PressNotices& notices, Clock now)
    : clock(std::move(now)), where_(where), notices_(notices) {
    retry.setSingleShot(true);
    connect(&retry, &QTimer::timeout, this, &BridgeRoad::reach);
    confirm.setInterval(250);
    connect(&confirm, &QTimer::timeout, this, &BridgeRoad::checkConfirmations);
    upkeep.setInterval(std::chrono::seconds(5));
    connect(&upkeep, &QTimer::timeout, this, [this] { serviced(client_->tick()); });
    makeClient();
    needsPassword_ = !where_.user.isEmpty() && where_.password.isEmpty();
    if (needsPassword_) problem_ = QStringLiteral("the broker's password for %1 is not known").arg(where_.user);
    else reach();
}

QString BridgeRoad::account() const { return QStringLiteral("%1@%2:%3").arg(where_.user, where_.host).arg(where_.port); }

void BridgeRoad::setPassword(const QString& password) {
    where_.password = password;
    needsPassword_ = false;
    retry.stop();
    dropSocket();
    if (std::exchange(connected_, false)) client_->disconnect();
    makeClient();
    reach();
}

void BridgeRoad::makeClient() {
    kestrix::mqtt::options o;
    o.host = where_.host.toStdString();
    o.port = where_.port;
    o.tls = where_.tls;
    o.ca_file = where_.caFile.toStdString();
    o.username = where_.user.toStdString();
    o.password = where_.password.toStdString();
    // Each remote its own: a second one never throws the first off.
    o.client_id = "vantrel-" + QHostInfo::localHostName().toStdString() + "-" + std::to_string(::getpid());
    client_ = std::make_unique<kestrix::mqtt::client>(o);
    client_->on_connect = [this](int rc, const std::string& why) {
        if (rc != 0) {
            problem_ = QStringLiteral("the broker at %1:%2 refused the connection: %3")
                           .arg(where_.host)
                           .arg(where_.port)
                           .arg(QString::fromStdString(why));
            if (held_) {
                held_.reset();
                fail(problem_ + QStringLiteral("; nothing was sent"));
            }
            return;  // it closes the connection, and the next try is planned then
        }
        connected_ = true;
        wait_ = std::chrono::seconds(1);
        problem_.clear();
        client_->subscribe(topic("bridge/availability"), 1);
        client_->subscribe(topic("+/+/state"), 1);
        client_->subscribe("+/bridge/status", 1);
    };
    client_->on_disconnect = [this](const std::string& why) { lost(why); };
    client_->on_message = [this](const kestrix::mqtt::message& m) { arrived(m); };

}

BridgeRoad::~BridgeRoad() {
    readable_.reset();
    writable_.reset();
    if (connected_) client_->disconnect();
}

std::string BridgeRoad::topic(const std::string& rest) const { return where_.base.toStdString() + "/" + rest; }

QString BridgeRoad::road() const { return QStringLiteral("the bridge '%1' on %2").arg(where_.base, where_.host); }

void BridgeRoad::reach() {
    problem_ = QStringLiteral("cannot reach the broker at %1:%2").arg(where_.host).arg(where_.port);
    const std::string why = client_->connect();
    if (!why.empty()) return lost(why);
    watchSocket();
    upkeep.start();
}

// The library opens a new socket for each connection.
void BridgeRoad::watchSocket() {
    const int fd = client_->socket();
    if (fd != socket_) {
        dropSocket();
        socket_ = fd;
        if (fd >= 0) {
            readable_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            connect(readable_.get(), &QSocketNotifier::activated, this, [this] { serviced(client_->readable()); });
            writable_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
            connect(writable_.get(), &QSocketNotifier::activated, this, [this] { serviced(client_->writable()); });
        }
    }
    if (writable_) writable_->setEnabled(client_->wants_write());
}

void BridgeRoad::serviced(const std::string& why) {
    if (!why.empty() && (connected_ || !retry.isActive())) return lost(why);
    watchSocket();
}

// Often called from a notifier's own signal: it goes once that is over.
void BridgeRoad::dropSocket() {
    for (QSocketNotifier* n : {readable_.release(), writable_.release()})
        if (n) {
            n->setEnabled(false);
            n->deleteLater();
        }
    socket_ = -1;
}

// Silent: a user learns of it only when a press needs the bridge.
void BridgeRoad::lost(const std::string& why) {
    const bool was = std::exchange(connected_, false);
    online_.reset();
    if (was) emit reachChanged();
    dropSocket();
    upkeep.stop();
    if (was || problem_.isEmpty() || problem_.startsWith(QLatin1String("cannot reach")))
        problem_ = QStringLiteral("%1 the broker at %2:%3: %4")
                       .arg(was ? QStringLiteral("lost") : QStringLiteral("cannot reach"), where_.host)
                       .arg(where_.port)
                       .arg(QString::fromStdString(why));
    if (!retry.isActive()) {
        retry.start(wait_);
        wait_ = std::min(wait_ * 2, LongestWait);
    }
}

void BridgeRoad::arrived(const kestrix::mqtt::message& m) {
    if (m.topic == topic("bridge/availability")) {
        online_ = m.payload == "online";
        emit reachChanged();
        if (held_) {
            const Held h = *std::exchange(held_, std::nullopt);
            ControllerSettings record = h.record;
            press(record, h.command);
        }
        return;
    }
    // Any bridge's status: <base>/bridge/status, cleared when it leaves.
    if (const std::string status = "/bridge/status";
        m.topic.size() > status.size() && m.topic.compare(m.topic.size() - status.size(), status.size(), status) == 0) {
        const std::string base = m.topic.substr(0, m.topic.size() - status.size());
        if (base.find('/') != std::string::npos) return;
        if (m.payload.empty()) bridges_.erase(base);
        else bridges_.insert(base);
        emit reachChanged();
        return;
    }
    // <base>/<house>/<unit>/state
    const std::string prefix = topic("");
    const auto slash = m.topic.find('/', prefix.size());
    if (m.topic.compare(0, prefix.size(), prefix) != 0 || slash == std::string::npos) return;
    const std::string house = m.topic.substr(prefix.size(), slash - prefix.size());
    const std::string unit = m.topic.substr(slash + 1, m.topic.size() - slash - 1 - std::string("/state").size());
    // Kept states come with each subscription; only a fresh one confirms.
    if (!m.retained && unconfirmed_.erase(house + "/" + unit) > 0) notices_.succeeded();
    if (house != house_) return;
    bool number_ok = false;
    const int u = QString::fromStdString(unit).toInt(&number_ok);
    if (!number_ok || u < 1 || u > 16) return;
    states_[static_cast<std::size_t>(u)] = m.payload == "ON";
    emit statesChanged();
}

void BridgeRoad::showHouse(const std::string& house) {
    const std::string wanted = QString::fromStdString(house).trimmed().toLower().toStdString();
    if (wanted == house_) return;
    house_ = wanted;
    states_ = {};
    emit statesChanged();
    // The broker sends what it keeps again on a new subscription: the
    // states of the house now shown come back.
    if (connected_) client_->subscribe(topic("+/+/state"), 1);
    watchSocket();
}

std::optional<bool> BridgeRoad::isOn(int unit) const {
    return unit >= 1 && unit <= 16 ? states_[static_cast<std::size_t>(unit)] : std::nullopt;
}

void BridgeRoad::fail(const QString& why) {
    qCWarning(lcTransmitter).noquote() << road() + QStringLiteral(": ") + why;
    notices_.failed(road(), why);
}

void BridgeRoad::press(ControllerSettings& record, std::int16_t command) {
    const QString house = QString::fromStdString(record.HouseCode).trimmed().toLower();
    bool number_ok = false;
    int unit = QString::fromStdString(record.DeviceCode).toInt(&number_ok);
    if (unit == 0) unit = 16;  // as the transmitter sends it
    const QString unsent = QStringLiteral("; nothing was sent");
    if (house.size() != 1 || house[0] < QLatin1Char('a') || house[0] > QLatin1Char('p'))
        return fail(QStringLiteral("the house code '%1' is not a letter from A to P").arg(QString::fromStdString(record.HouseCode)) + unsent);
    if (!number_ok || unit < 1 || unit > 16)
        return fail(QStringLiteral("unit %1 is not 1 to 16").arg(QString::fromStdString(record.DeviceCode)) + unsent);
    if (command != kestrix::cmd_on && command != kestrix::cmd_off) return fail(QStringLiteral("only ON and OFF go through the bridge") + unsent);
    if (needsPassword_) {
        const std::optional<QString> given = askPassword ? askPassword(passwordProblem) : std::nullopt;
        if (!given) return fail(problem_ + unsent);
        held_ = Held{record, command, clock() + ConfirmWithin};
        confirm.start();
        return setPassword(*given);
    }
    if (!connected_) return fail(problem_ + unsent);
    if (!online_) return fail(QStringLiteral("no kestrix-bridge answers on the base topic '%1'").arg(where_.base) + unsent);
    if (!*online_) return fail(QStringLiteral("the bridge is offline") + unsent);
    const std::string which = house.toStdString() + "/" + std::to_string(unit);
    client_->publish(topic(which + "/set"), command == kestrix::cmd_on ? "ON" : "OFF", 1, false);
    unconfirmed_[which] = clock() + ConfirmWithin;
    confirm.start();
    watchSocket();
}

void BridgeRoad::checkConfirmations() {
    const auto now = clock();
    if (held_ && now >= held_->until) {
        held_.reset();
        fail((connected_ ? QStringLiteral("no kestrix-bridge answered on the base topic '%1'").arg(where_.base)
                         : QStringLiteral("the broker at %1:%2 did not answer").arg(where_.host).arg(where_.port)) +
             QStringLiteral(" within %1 s; nothing was sent").arg(ConfirmWithin.count()));
    }
    for (auto it = unconfirmed_.begin(); it != unconfirmed_.end();) {
        if (now < it->second) {
            ++it;
            continue;
        }
        const std::string which = it->first;
        it = unconfirmed_.erase(it);
        fail(QStringLiteral("the bridge did not confirm %1 within %2 s")
                 .arg(QString::fromStdString(which).toUpper().remove(QLatin1Char('/')))
                 .arg(ConfirmWithin.count()));
    }
    if (unconfirmed_.empty() && !held_) confirm.stop();
}

QStringList BridgeRoad::bridgesSeen() const {
    QStringList seen;
    for (const std::string& base : bridges_) seen << QString::fromStdString(base);
    return seen;
}

QString BridgeRoad::summary() const {
    const QString others = bridges_.empty() ? QString() : QStringLiteral(" (the broker has: %1)").arg(bridgesSeen().join(QStringLiteral(", ")));
    const QString state = !connected_ ? QStringLiteral("no broker")
                          : !online_  ? QStringLiteral("the login works, but no bridge answers on '%1'").arg(where_.base) + others
                          : *online_  ? QStringLiteral("online")
                                      : QStringLiteral("offline");
    return QStringLiteral("through the bridge on %1: %2").arg(where_.host, state);
}

}  // namespace vantrel
