#include "presence.h"

#include <random>
#include <utility>

namespace kestrix::bridge {
namespace {

std::uint64_t fresh_nonce() {
    std::random_device random;
    return (std::uint64_t{random()} << 32) ^ random();
}

}  // namespace

presence::presence(const mqtt_config& options, topics names, broker_maker make, loop_clock& time, std::string host)
    : options_(options),
      topics_(std::move(names)),
      make_(std::move(make)),
      clock_(time),
      host_(std::move(host)),
      peers_(options.client_id, host_, fresh_nonce()) {
    open();
}

void presence::open() {
    mqtt_ = make_(options_);
    mqtt_->on_connect = [this](int rc, const std::string& why) { connected(rc, why); };
    mqtt_->on_disconnect = [this](const std::string& why) { disconnected(why); };
    mqtt_->on_message = [this](const mqtt::message& m) { message(m); };
}

std::string presence::where() const { return options_.host + ":" + std::to_string(options_.port); }

void presence::connect() {
    reconnect_at_.reset();
    tick_at_ = clock_.now();
    const std::string why = mqtt_->connect();
    if (!why.empty()) disconnected(why);
}

void presence::reopen(const mqtt_config& options, topics names) {
    leave();
    close();
    options_ = options;
    topics_ = std::move(names);
    peers_ = peers(options.client_id, host_, fresh_nonce());
    backoff_ = std::chrono::seconds(1);
    short_connections_ = 0;
    said_taken_over_ = false;
    open();
    connect();
}

void presence::trouble(const std::string& what) {
    // Said once; the tries that follow, each after twice the wait of the
    // one before (60 s at most), say it again only when -v asks.
    if (what != last_trouble_)
        log(level::warning, what + "; trying again in " + std::to_string(backoff_.count()) + " s, then less and less often");
    else log(level::debug, what);
    last_trouble_ = what;
}

void presence::connected(int rc, const std::string& why) {
    if (rc != 0) {
        trouble("the broker at " + where() + " refused the connection: " + why);
        turned_down_ = true;
        return;  // it closes the connection; disconnected() plans the next try
    }
    connected_ = true;
    connected_at_ = clock_.now();
    backoff_ = std::chrono::seconds(1);
    last_trouble_.clear();
    log(level::info, "connected to the broker at " + where() + " as " + options_.client_id);
    for (const std::string& pattern : topics_.subscriptions()) mqtt_->subscribe(pattern, 1);
    peers_.connected(connected_at_);
    if (!peers_.serving()) return publish(topics_.hello(), peers_.hello(), false);
    serve();  // served before this connection: no waiting again
}

// The greeting kept, the bridge said online, and the loop told to publish.
void presence::serve() {
    publish(topics_.hello(), peers_.hello());
    publish(topics_.availability(), "online");
    on_serve();
}

void presence::disconnected(const std::string& why) {
    const bool was = std::exchange(connected_, false);
    if (stopped_) return;
    if (const peers::verdict v = peers_.lost(); was && v.step_down)
        return step_down("another kestrix-bridge serves the base topic '" + options_.base_topic + "' with the client id '" +
                         options_.client_id + "' of this one: " + v.other +
                         "; this one stops (give each bridge a client_id and a base_topic of its own in [mqtt])");
    // Another client took our client id (the broker says so over MQTT 5).
    if (was && why == mqtt::taken_over) {
        const std::string other = "another client connected to the broker at " + where() + " with the client id '" +
                                  options_.client_id + "' of this bridge";
        if (!peers_.serving()) return step_down(other + "; this one stops (give each bridge a client_id of its own in [mqtt])");
        if (!std::exchange(said_taken_over_, true))
            log(level::error, other + "; this bridge serves on, the other must stop (give each a client_id of its own)");
    }
    // Thrown off right after connecting, again and again: the broker gives
    // our client id to another client each time it connects. The newcomer
    // stops; one that serves keeps serving, so that its lamps stay
    // reachable, and says so once.
    short_connections_ = was && clock_.now() - connected_at_ < std::chrono::seconds(5) ? short_connections_ + 1 : 0;
    const std::string shared = "the broker at " + where() + " closed the connection right after it was made, three times in a row: "
                               "another client uses the client id '" + options_.client_id + "'";
    if (short_connections_ >= 3 && !peers_.serving())
        return step_down(shared + "; this one stops (give each bridge a client_id of its own in [mqtt])");
    if (short_connections_ == 3 && !std::exchange(said_taken_over_, true))
        log(level::error, shared + "; this bridge serves on, the other client must stop (give each a client_id of its own)");
    if (std::exchange(turned_down_, false)) {
        // Said already, with the broker's reason.
    } else if (was) {
        log(level::warning, "lost the broker at " + where() + ": " + why);
    } else trouble("cannot reach the broker at " + where() + ": " + why);
    if (!reconnect_at_) {
        reconnect_at_ = clock_.now() + backoff_;
        backoff_ = std::min<std::chrono::seconds>(backoff_ * 2, std::chrono::seconds(60));
    }
}

void presence::step_down(const std::string& why) {
    stopped_ = true;
    on_step_down(why);
}

void presence::message(const mqtt::message& m) {
    if (m.topic != topics_.hello()) return on_message(m);
    const peers::verdict v = peers_.heard(m.payload, m.retained);
    if (v.step_down)
        return step_down("another kestrix-bridge serves the base topic '" + options_.base_topic + "': " + v.other +
                         "; this one stops (give each bridge a base_topic of its own in [mqtt])");
    if (!v.answer) return;
    publish(topics_.hello(), peers_.hello(), peers_.serving());
    if (peers_.serving())
        log(level::warning, "a second kestrix-bridge, " + v.other + ", tried to serve the base topic '" + options_.base_topic +
                                "'; it was told to stop");
}

void presence::tick() {
    const clock::time_point now = clock_.now();
    if (reconnect_at_ && now >= *reconnect_at_) connect();
    if (connected_ && peers_.begin(now)) serve();
    if (now >= tick_at_) {
        if (const std::string why = mqtt_->tick(); !why.empty() && connected_) disconnected(why);
        tick_at_ = now + std::chrono::seconds(5);
    }
}

std::optional<presence::clock::time_point> presence::next() const {
    clock::time_point next = tick_at_;
    for (const auto& t : {reconnect_at_, connected_ ? peers_.starts_at() : std::nullopt})
        if (t) next = std::min(next, *t);
    return next;
}

void presence::add_to(std::vector<pollfd>& fds) const {
    if (const int fd = mqtt_->socket(); fd >= 0)
        fds.push_back({fd, static_cast<short>(POLLIN | (mqtt_->wants_write() ? POLLOUT : 0)), 0});
}

bool presence::handle(const pollfd& ready) {
    if (ready.fd != mqtt_->socket()) return false;
    std::string why;
    if (ready.revents & (POLLIN | POLLHUP | POLLERR)) why = mqtt_->readable();
    if (why.empty() && (ready.revents & POLLOUT)) why = mqtt_->writable();
    if (!why.empty() && (connected_ || !reconnect_at_)) disconnected(why);
    return true;
}

void presence::publish(const std::string& topic, const std::string& payload, bool retain) {
    if (connected_) mqtt_->publish(topic, payload, 1, retain);
}

void presence::leave() {
    if (!serving()) return;
    publish(topics_.hello(), "");  // nobody serves here now
    publish(topics_.availability(), "offline");
}

void presence::close() {
    stopped_ = true;
    if (connected_) mqtt_->disconnect();
    connected_ = false;
    stopped_ = false;
}

}  // namespace kestrix::bridge
