#include "service.h"

#include <systemd/sd-daemon.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

namespace kestrix::bridge {

service::service(config c, service_parts parts)
    : config_(std::move(c)),
      topics_(config_.mqtt.base_topic, config_.mqtt.discovery_prefix),
      router_(topics_, config_.units),
      status_(config_.transmitter),
      clock_(parts.clock ? parts.clock : std::make_shared<steady_loop_clock>()),
      bad_input_([clock = clock_] { return clock->now(); }),
      book_(discovery_book::folder().empty() ? "" : discovery_book::folder() / "discovery.json") {
    ::signal(SIGPIPE, SIG_IGN);
    wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd_ < 0) throw std::runtime_error(std::string("cannot wait for the sending thread: ") + std::strerror(errno));

    if (config_.mochad.port) {
        text_ = std::make_unique<text_port>(config_.mochad.host, config_.mochad.port);
        text_->on_line = [this](int client, const std::string& text) { line(client, text); };
        text_->on_log = [this](const std::string& what) { bad_input_(level::warning, what); };
        log(level::info, "text port listening on " + text_->where());
    }
    mqtt_ = parts.mqtt ? parts.mqtt(config_.mqtt) : std::make_unique<mqtt_client>(config_.mqtt);
    mqtt_->on_connect = [this](int rc, const std::string& why) { connected(rc, why); };
    mqtt_->on_disconnect = [this](const std::string& why) { disconnected(why); };
    mqtt_->on_message = [this](const mqtt_message& m) { message(m); };

    sender_ = std::make_unique<sender>(parts.control ? parts.control() : make_control(config_.transmitter),
                                       config_.transmitter, [fd = wake_fd_] {
                                           const std::uint64_t one = 1;
                                           [[maybe_unused]] ssize_t n = ::write(fd, &one, sizeof one);
                                       });
    // systemd kills a service that is silent for WATCHDOG_USEC: speak twice as often.
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0) watchdog_ = std::chrono::microseconds(usec / 2);
}

service::~service() {
    sender_.reset();
    text_.reset();
    mqtt_.reset();
    ::close(wake_fd_);
}

int service::run() {
    for (start(); step();) {
    }
    return finish();
}

void service::start() {
    connect();
    sd_notify(0, "READY=1\nSTATUS=Running");
    tick_at_ = watchdog_at_ = clock_->now();
}

std::string service::where() const { return config_.mqtt.host + ":" + std::to_string(config_.mqtt.port); }

void service::connect() {
    reconnect_at_.reset();
    const std::string why = mqtt_->connect();
    if (!why.empty()) disconnected(why);
}

void service::broker_trouble(const std::string& what) {
    // Said once; the tries that follow, each after twice the wait of the
    // one before (60 s at most), say it again only when -v asks.
    if (what != last_trouble_)
        log(level::warning, what + "; trying again in " + std::to_string(backoff_.count()) + " s, then less and less often");
    else log(level::debug, what);
    last_trouble_ = what;
}

void service::connected(int rc, const std::string& why) {
    if (rc != 0) {
        broker_trouble("the broker at " + where() + " refused the connection: " + why);
        turned_down_ = true;
        return;  // it closes the connection; disconnected() plans the next try
    }
    connected_ = true;
    backoff_ = std::chrono::seconds(1);
    last_trouble_.clear();
    log(level::info, "connected to the broker at " + where() + " as " + config_.mqtt.client_id);
    for (const std::string& pattern : topics_.subscriptions()) mqtt_->subscribe(pattern, 1);
    mqtt_->publish(topics_.availability(), "online", 1, true);
    publish_discovery();
    publish_status();
    publish_states();
}

void service::disconnected(const std::string& why) {
    const bool was = std::exchange(connected_, false);
    if (stopping_) return;
    if (std::exchange(turned_down_, false)) {
        // Said already, with the broker's reason.
    } else if (was) {
        log(level::warning, "lost the broker at " + where() + ": " + why);
    } else broker_trouble("cannot reach the broker at " + where() + ": " + why);
    if (!reconnect_at_) {
        reconnect_at_ = clock_->now() + backoff_;
        backoff_ = std::min<std::chrono::seconds>(backoff_ * 2, std::chrono::seconds(60));
    }
}

void service::publish_discovery() {
    const std::vector<discovery_document> docs = discovery_documents(config_, topics_);
    for (const discovery_document& d : docs) mqtt_->publish(d.topic, d.payload, 1, true);
    // Units gone from the configuration get an empty config: Home
    // Assistant forgets them.
    for (const std::string& gone : book_.publishing(docs)) mqtt_->publish(gone, "", 1, true);
}

void service::publish_states() {
    for (const auto& [a, on] : router_.states()) mqtt_->publish(topics_.of(a, verb::state), on ? "ON" : "OFF", 1, true);
}

void service::publish_status() { mqtt_->publish(topics_.status(), status_.json(sender_->waiting()), 1, true); }

void service::message(const mqtt_message& m) {
    const routed r = router_.message(m);
    if (r.home_assistant_back)
        discovery_at_ = clock_->now() + std::chrono::milliseconds(std::uniform_int_distribution<>(1000, 5000)(random_));
    if (!r.problem.empty()) bad_input_(level::warning, r.problem);
    for (const command& c : r.commands) queue(c, "MQTT");
}

void service::line(int client, const std::string& text) {
    const routed r = router_.line(text);
    if (!r.problem.empty()) bad_input_(level::info, "text port: " + r.problem);
    if (r.answer) text_->send(client, *r.answer);
    for (const command& c : r.commands) queue(c, "the text port", client);
}

void service::queue(const command& c, const std::string& from, int text_client) {
    // Answered before the sending thread can take it: mochad clients wait
    // for their line, and a line after the frame would come too late.
    const auto added = sender_->push(c, [&] {
        if (text_client >= 0) text_->broadcast(announcement(c, std::time(nullptr)));
    });
    if (added == command_queue::added::full) {
        status_.refused();
        log(level::warning, c.text() + " from " + from + " refused: " + std::to_string(queue_capacity) +
                                " commands are waiting already");
        if (text_client >= 0) text_->send(text_client, "error: the queue is full");
    } else {
        log(level::debug, c.text() + " from " + from + (added == command_queue::added::merged ? " (replaces one waiting)" : ""));
    }
    publish_status();
}

void service::reports() {
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(wake_fd_, &count, sizeof count);
    for (const report& r : sender_->take_reports()) {
        status_.update(r);
        if (r.what == report::kind::busy) log(level::info, r.cmd.text() + " waits: " + r.text);
        if (r.what == report::kind::failed)
            log(level::error, r.cmd.text() + " was not sent: error " + std::to_string(r.error) + ": " + r.text);
        if (r.what == report::kind::sent) {
            router_.sent(r.cmd);
            mqtt_->publish(topics_.of(r.cmd.to, verb::state), router_.states().at(r.cmd.to) ? "ON" : "OFF", 1, true);
        }
        publish_status();
    }
}

bool service::step() {
    const clock::time_point now = clock_->now();
    if (reconnect_at_ && now >= *reconnect_at_) connect();
    if (discovery_at_ && now >= *discovery_at_) {
        discovery_at_.reset();
        if (connected_) publish_discovery(), publish_states();
    }
    if (now >= tick_at_) {
        if (const std::string why = mqtt_->tick(); !why.empty() && connected_) disconnected(why);
        tick_at_ = now + std::chrono::seconds(5);
    }
    if (watchdog_.count() && now >= watchdog_at_) {
        sd_notify(0, "WATCHDOG=1");
        watchdog_at_ = now + watchdog_;
    }

    std::vector<pollfd> fds = {{signals_.fd(), POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    const int broker = mqtt_->socket();
    if (broker >= 0) fds.push_back({broker, static_cast<short>(POLLIN | (mqtt_->wants_write() ? POLLOUT : 0)), 0});
    if (text_) text_->add_to(fds);
    clock::time_point next = tick_at_;
    for (const auto& t : {reconnect_at_, discovery_at_})
        if (t) next = std::min(next, *t);
    if (watchdog_.count()) next = std::min(next, watchdog_at_);
    if (clock_->wait(fds, next) <= 0) return true;

    for (const pollfd& p : fds) {
        if (!p.revents) continue;
        if (p.fd == signals_.fd()) {
            signals_.take();
            stopping_ = true;
        } else if (p.fd == wake_fd_) {
            reports();
        } else if (p.fd == broker) {
            std::string why;
            if (p.revents & (POLLIN | POLLHUP | POLLERR)) why = mqtt_->readable();
            if (why.empty() && (p.revents & POLLOUT)) why = mqtt_->writable();
            if (!why.empty() && (connected_ || !reconnect_at_)) disconnected(why);
        } else if (text_) {
            text_->handle(p);
        }
    }
    return !stopping_;
}

int service::finish() {
    stopping_ = true;
    sd_notify(0, "STOPPING=1\nSTATUS=Stopping");
    log(level::info, "stopping");
    if (const std::size_t dropped = sender_->stop())
        log(level::warning, std::to_string(dropped) + " waiting commands were not sent");
    sender_->join();  // the command in flight goes out; the port is closed
    reports();
    if (!connected_) return 0;
    mqtt_->publish(topics_.availability(), "offline", 1, true);
    mqtt_->disconnect();
    return 0;
}

}  // namespace kestrix::bridge
