#include "service.h"

#include "discovery.h"
#include "kestrix/linux_serial.h"
#include "log.h"
#include "serial_ports.h"

#include <nlohmann/json.hpp>
#include <systemd/sd-daemon.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace kestrix::bridge {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

std::string dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

// Where this service may keep what it must remember between runs.
fs::path state_directory() {
    if (const char* d = std::getenv("STATE_DIRECTORY"); d && *d) return std::string(d).substr(0, std::string(d).find(':'));
    if (const char* d = std::getenv("XDG_STATE_HOME"); d && *d) return fs::path(d) / "kestrix-bridge";
    if (const char* h = std::getenv("HOME"); h && *h) return fs::path(h) / ".local/state/kestrix-bridge";
    return {};
}

// "12/07 18:00:03", local time, as mochad stamps its lines.
std::string stamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%m/%d %H:%M:%S", &local);
    return text;
}

std::string short_topic(const std::string& topic) { return topic.size() > 80 ? topic.substr(0, 80) + "..." : topic; }

}  // namespace

service::service(config c) : config_(std::move(c)) {
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGINT);
    // Blocked before the sending thread starts, so it inherits the mask.
    ::pthread_sigmask(SIG_BLOCK, &mask, nullptr);
    signal_fd_ = ::signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK);
    wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (signal_fd_ < 0 || wake_fd_ < 0) throw std::runtime_error(std::string("cannot wait for signals: ") + std::strerror(errno));

    if (config_.listen_port) {
        text_ = std::make_unique<text_port>(config_.listen_host, config_.listen_port);
        text_->on_line = [this](int client, const std::string& line) { text_line(client, line); };
        text_->on_log = [this](const std::string& what) { bad_input(level::warning, what); };
        log(level::info, "text port listening on " + text_->where());
    }

    mqtt_options o;
    o.host = config_.host;
    o.port = config_.mqtt_port;
    o.username = config_.username;
    o.password = config_.password;
    o.tls = config_.tls;
    o.client_id = config_.client_id;
    o.will_topic = config_.base_topic + "/bridge/availability";
    o.will_payload = "offline";
    mqtt_ = std::make_unique<mqtt_client>(o);
    mqtt_->on_connect = [this](int rc, const std::string& why) { connected(rc, why); };
    mqtt_->on_disconnect = [this](const std::string& why) { disconnected(why); };
    mqtt_->on_message = [this](const mqtt_message& m) { message(m); };

    auto control = std::make_unique<controlcm>(
        config_.device.empty() ? make_linux_serial_line() : make_linux_serial_line(config_.device), make_steady_counter());
    // Under the packaged service LimitRTPRIO= grants real time; elsewhere
    // its lack is worth a line with -v, no more.
    control->realtime_hooks({}, [](const std::string& why) { log(level::debug, why); });
    const std::string device = config_.device.empty() ? device_for_port(config_.port) : config_.device;
    sender_ = std::make_unique<sender>(
        std::move(control), config_.port, std::chrono::seconds(config_.busy_wait), 256,
        [fd = wake_fd_] {
            const std::uint64_t one = 1;
            [[maybe_unused]] ssize_t n = ::write(fd, &one, sizeof one);
        },
        [device, first = true]() mutable {
            if (std::exchange(first, false) && ports::is_console(ports::machine::this_one(), device))
                log(level::warning, device + " is this machine's system console, not a transmitter; "
                                             "name the transmitter's port in the configuration (kestrix-send --list)");
        });
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0) watchdog_ = std::chrono::microseconds(usec / 2);
}

service::~service() {
    sender_.reset();
    text_.reset();
    mqtt_.reset();
    if (wake_fd_ >= 0) ::close(wake_fd_);
    if (signal_fd_ >= 0) ::close(signal_fd_);
}

int service::run() {
    connect();
    sd_notify(0, "READY=1\nSTATUS=Running");
    tick_at_ = watchdog_at_ = clock::now();
    while (!stopping_) wait_once();
    stop();
    return 0;
}

void service::connect() {
    reconnect_at_.reset();
    const std::string why = mqtt_->connect();
    if (!why.empty()) disconnected(why);
}

void service::broker_trouble(const std::string& what) {
    // Said once; the tries that follow, each after twice the wait of the
    // one before (60 s at most), say it again only when -v asks.
    if (what != last_trouble_) log(level::warning, what + "; trying again in " + std::to_string(backoff_.count()) +
                                                       " s, then less and less often");
    else log(level::debug, what);
    last_trouble_ = what;
}

void service::connected(int rc, const std::string& why) {
    if (rc != 0) {
        broker_trouble("the broker at " + config_.host + ":" + std::to_string(config_.mqtt_port) +
                       " refused the connection: " + why);
        turned_down_ = true;
        return;  // it closes the connection; disconnected() plans the next try
    }
    connected_ = true;
    backoff_ = std::chrono::seconds(1);
    last_trouble_.clear();
    log(level::info, "connected to the broker at " + config_.host + ":" + std::to_string(config_.mqtt_port) + " as " +
                         config_.client_id);
    const std::string& b = config_.base_topic;
    for (const char* verb : {"set", "dim", "bright", "state"}) mqtt_->subscribe(b + "/+/+/" + verb, 1);
    if (!config_.discovery_prefix.empty()) mqtt_->subscribe(config_.discovery_prefix + "/status", 1);
    mqtt_->publish(b + "/bridge/availability", "online", 1, true);
    publish_discovery();
    publish_status();
    for (const auto& [a, on] : states_) publish_state(a);
}

void service::disconnected(const std::string& why) {
    const bool was = std::exchange(connected_, false);
    if (stopping_) return;
    if (std::exchange(turned_down_, false)) {
        // Said already, with the broker's reason.
    } else if (was) {
        log(level::warning, "lost the broker at " + config_.host + ":" + std::to_string(config_.mqtt_port) + ": " + why);
    } else broker_trouble("cannot reach the broker at " + config_.host + ":" + std::to_string(config_.mqtt_port) + ": " + why);
    if (!reconnect_at_) {
        reconnect_at_ = clock::now() + backoff_;
        backoff_ = std::min<std::chrono::seconds>(backoff_ * 2, std::chrono::seconds(60));
    }
}

void service::publish_discovery() {
    const std::vector<discovery_document> docs = discovery_documents(config_);
    std::set<std::string> now;
    for (const discovery_document& d : docs) {
        mqtt_->publish(d.topic, d.payload, 1, true);
        now.insert(d.topic);
    }
    // Units gone from the configuration get an empty config: Home
    // Assistant forgets them.
    const fs::path dir = state_directory();
    if (dir.empty()) return;
    const fs::path file = dir / "discovery.json";
    std::set<std::string> before;
    try {
        std::ifstream in(file);
        if (in) before = json::parse(in).at("topics").get<std::set<std::string>>();
    } catch (const std::exception& e) {
        log(level::warning, file.string() + " is unreadable (" + e.what() + "); units removed before now stay in Home Assistant");
    }
    for (const std::string& topic : before)
        if (!now.count(topic)) mqtt_->publish(topic, "", 1, true);
    if (before == now) return;
    std::error_code ec;
    fs::create_directories(dir, ec);
    const fs::path temp = file.string() + ".new";
    std::ofstream out(temp, std::ios::trunc);
    out << dump(json{{"topics", now}}) << "\n";
    out.close();
    if (!out || (fs::rename(temp, file, ec), ec))
        log(level::warning, "cannot remember the published units in " + file.string() + "; a unit removed later stays in Home Assistant");
}

void service::publish_status() {
    json s = {{"state", status_},
              {"port", config_.device.empty() ? json(config_.port) : json(nullptr)},
              {"device", config_.device.empty() ? device_for_port(config_.port) : config_.device},
              {"error", error_ ? json{{"number", error_}, {"text", error_text_}} : json(nullptr)},
              {"queue", sender_->waiting()},
              {"sent", sent_},
              {"refused", refused_},
              {"last_error", last_error_.empty() ? json(nullptr) : json::parse(last_error_)}};
    mqtt_->publish(config_.base_topic + "/bridge/status", dump(s), 1, true);
}

void service::publish_state(const address& a) {
    const auto it = states_.find(a);
    if (it != states_.end()) mqtt_->publish(state_topic(config_, a), it->second ? "ON" : "OFF", 1, true);
}

void service::message(const mqtt_message& m) {
    const std::string& b = config_.base_topic;
    if (m.topic == config_.discovery_prefix + "/status") {
        // Home Assistant came back: it forgot everything not retained.
        if (m.payload == "online")
            discovery_at_ = clock::now() + std::chrono::milliseconds(std::uniform_int_distribution<>(1000, 5000)(random_));
        return;
    }
    if (m.topic.size() > 6 && m.topic.compare(m.topic.size() - 6, 6, "/state") == 0) {
        // Our own states, retained on the broker: what the lamps were left at.
        const topic_message t = from_topic(b, m.topic.substr(0, m.topic.size() - 6) + "/set", m.payload);
        if (t.cmd && !t.whole_house && !states_.count(t.cmd->to)) states_[t.cmd->to] = t.cmd->what == action::on;
        return;
    }
    if (m.retained) {
        // Replayed at every reconnect, it would switch lamps at random times.
        bad_input(level::warning, "ignored a retained command on " + short_topic(m.topic) +
                                      " (publish commands without the retain flag)");
        return;
    }
    const topic_message t = from_topic(b, m.topic, m.payload);
    if (!t.cmd) {
        bad_input(level::warning, "ignored a message on " + short_topic(m.topic) + ": " + t.error);
        return;
    }
    if (!t.whole_house) {
        queue(*t.cmd, "MQTT");
        return;
    }
    bool any = false;
    for (const unit_config& u : config_.units) {
        if (u.at.house != t.cmd->to.house) continue;
        command c = *t.cmd;
        c.to = u.at;
        queue(c, "MQTT");
        any = true;
    }
    if (!any) bad_input(level::warning, std::string("ignored ") + short_topic(m.topic) + ": no unit of house " +
                                            t.cmd->to.house + " is configured");
}

void service::bad_input(level l, const std::string& what) {
    const clock::time_point now = clock::now();
    if (now - bad_since_ >= std::chrono::minutes(1)) {
        if (bad_unlogged_) log(level::warning, std::to_string(bad_unlogged_) + " more bad messages in that minute were not logged");
        bad_since_ = now;
        bad_logged_ = bad_unlogged_ = 0;
    }
    if (bad_logged_++ < 20) log(l, what);
    else ++bad_unlogged_;
}

void service::queue(const command& c, const std::string& from, int text_client) {
    // Answered before the sending thread can take it: mochad clients wait
    // for their line, and a line after the frame would come too late.
    const auto added = sender_->push(c, [&] {
        if (text_client >= 0) text_->broadcast(stamp() + " " + announcement(c));
    });
    if (added == command_queue::added::full) {
        ++refused_;
        log(level::warning, c.describe() + " from " + from + " refused: 256 commands are waiting already");
        if (text_client >= 0) text_->send(text_client, "error: the queue is full");
    } else {
        log(level::debug, c.describe() + " from " + from + (added == command_queue::added::merged ? " (replaces one waiting)" : ""));
    }
    publish_status();
}

void service::text_line(int client, const std::string& line) {
    const bridge::text_line t = from_text(line);
    if (t.status_of) {
        const auto it = states_.find(*t.status_of);
        text_->send(client, it != states_.end() && it->second ? "on" : "off");
    } else if (t.cmd) {
        queue(*t.cmd, "the text port", client);
    } else {
        bad_input(level::info, "text port: " + t.error);
        text_->send(client, "error: " + t.error);
    }
}

void service::reports() {
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(wake_fd_, &count, sizeof count);
    for (const report& r : sender_->take_reports()) {
        switch (r.what) {
        case report::kind::busy:
            status_ = "busy";
            error_ = r.error;
            error_text_ = r.text;
            log(level::info, r.cmd.describe() + " waits: " + r.text);
            break;
        case report::kind::sent:
            status_ = "ok";
            error_ = 0;
            error_text_.clear();
            ++sent_;
            // A DIM or BRIGHT addresses its unit with an ON frame first.
            states_[r.cmd.to] = r.cmd.what != action::off;
            publish_state(r.cmd.to);
            break;
        case report::kind::failed:
            status_ = "failed";
            error_ = r.error;
            error_text_ = r.text;
            last_error_ = dump({{"number", r.error}, {"text", r.text}, {"command", r.cmd.describe()}});
            log(level::error, r.cmd.describe() + " was not sent: error " + std::to_string(r.error) + ": " + r.text);
            break;
        }
        publish_status();
    }
}

void service::wait_once() {
    const clock::time_point now = clock::now();
    if (reconnect_at_ && now >= *reconnect_at_) connect();
    if (discovery_at_ && now >= *discovery_at_) {
        discovery_at_.reset();
        if (connected_) {
            publish_discovery();
            for (const auto& [a, on] : states_) publish_state(a);
        }
    }
    if (now >= tick_at_) {
        if (const std::string why = mqtt_->tick(); !why.empty() && connected_) disconnected(why);
        tick_at_ = now + std::chrono::seconds(5);
    }
    if (watchdog_.count() && now >= watchdog_at_) {
        sd_notify(0, "WATCHDOG=1");
        watchdog_at_ = now + watchdog_;
    }

    std::vector<pollfd> fds = {{signal_fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    const int broker = mqtt_->socket();
    if (broker >= 0) fds.push_back({broker, static_cast<short>(POLLIN | (mqtt_->wants_write() ? POLLOUT : 0)), 0});
    if (text_) text_->add_to(fds);

    clock::time_point next = tick_at_;
    for (const auto& t : {reconnect_at_, discovery_at_})
        if (t) next = std::min(next, *t);
    if (watchdog_.count()) next = std::min(next, watchdog_at_);
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - clock::now()).count();
    if (::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(wait, 0))) <= 0) return;

    for (const pollfd& p : fds) {
        if (!p.revents) continue;
        if (p.fd == signal_fd_) {
            stopping_ = true;
        } else if (p.fd == wake_fd_) {
            reports();
        } else if (p.fd == broker) {
            std::string why;
            if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
                why = mqtt_->readable();
                // Acknowledged at once: a broker that waits for our ACK
                // before its next small message (Nagle's rule, on by
                // default in mosquitto) would hold each command 40 ms.
                const int on = 1;
                if (mqtt_->socket() >= 0) ::setsockopt(mqtt_->socket(), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
            }
            if (why.empty() && (p.revents & POLLOUT)) why = mqtt_->writable();
            if (!why.empty() && (connected_ || !reconnect_at_)) disconnected(why);
        } else if (text_) {
            text_->handle(p);
        }
    }
}

void service::stop() {
    sd_notify(0, "STOPPING=1\nSTATUS=Stopping");
    log(level::info, "stopping");
    if (const std::size_t dropped = sender_->stop())
        log(level::warning, std::to_string(dropped) + " waiting commands were not sent");
    sender_->join();  // the command in flight goes out; the port is closed
    reports();
    if (!connected_) return;
    mqtt_->publish(config_.base_topic + "/bridge/availability", "offline", 1, true);
    mqtt_->disconnect();
    // Let the last messages out, for a moment at most.
    for (int i = 0; i < 20 && mqtt_->socket() >= 0 && mqtt_->wants_write(); ++i) {
        pollfd p{mqtt_->socket(), POLLOUT, 0};
        if (::poll(&p, 1, 100) > 0 && !mqtt_->writable().empty()) break;
    }
}

}  // namespace kestrix::bridge
