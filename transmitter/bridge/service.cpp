#include "service.h"

#include "levels.h"

#include <systemd/sd-daemon.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

namespace kestrix::bridge {
std::map<address, int> repeats(const std::vector<unit_config>& units) {
    std::map<address, int> out;
    for (const unit_config& u : units) out[u.at] = u.repeat;
    return out;
}

std::map<address, levels::profile> modules(const std::vector<unit_config>& units) {
    std::map<address, levels::profile> out;
    for (const unit_config& u : units) out[u.at] = u.module;
    return out;
}

service::service(config c, service_parts parts)
    : config_(std::move(c)),
      parts_(std::move(parts)),
      topics_(config_.mqtt.base_topic, config_.mqtt.discovery_prefix),
      router_(topics_, config_.units),
      status_(config_.transmitter, config_.mqtt.client_id, host_name()),
      clock_(parts_.clock ? parts_.clock : std::make_shared<steady_loop_clock>()),
      bad_input_([clock = clock_] { return clock->now(); }) {
    if (!parts_.mqtt) parts_.mqtt = [](const mqtt::options& o) { return std::make_unique<mqtt::client>(o); };
    if (!parts_.control) parts_.control = make_control;
    ::signal(SIGPIPE, SIG_IGN);
    wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd_ < 0) throw std::runtime_error(std::string("cannot wait for the sending thread: ") + std::strerror(errno));
    lamps_->profiles(modules(config_.units));
    text_ = open_text_port(config_.mochad);
    broker_ = std::make_unique<presence>(config_.mqtt, topics_, parts_.mqtt, *clock_, status_.host());
    broker_->on_serve = [this] { serve(); };
    broker_->on_message = [this](const mqtt::message& m) { message(m); };
    broker_->on_step_down = [this](const std::string& why) { step_down(why); };
    sender_ = std::make_unique<sender>(parts_.control(config_.transmitter), config_.transmitter, lamps_, [fd = wake_fd_] {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(fd, &one, sizeof one);
    });
    sender_->repeats(repeats(config_.units));
    // systemd kills a service that is silent for WATCHDOG_USEC: speak twice as often.
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0) watchdog_ = std::chrono::microseconds(usec / 2);
}

service::~service() {
    sender_.reset();
    text_.reset();
    broker_.reset();
    ::close(wake_fd_);
}

std::unique_ptr<text_port> service::open_text_port(const mochad_config& m) {
    if (!m.port) return nullptr;
    const auto listen = [&] {
        auto port = std::make_unique<text_port>(m.host, m.port);
        port->on_line = [this](int client, const std::string& text) { line(client, text); };
        port->on_log = [this](const std::string& what) { bad_input_(level::warning, what); };
        log(level::info, "text port listening on " + port->where());
        return port;
    };
    try {
        return listen();
    } catch (const std::runtime_error&) {
        if (!text_ || config_.mochad.port != m.port) throw;
    }
    // The same port on another address: the one in use must let go first,
    // and serves on if the new one cannot be had after all.
    text_.reset();
    try {
        return listen();
    } catch (const std::runtime_error&) {
        lamps_->profiles(modules(config_.units));
    text_ = open_text_port(config_.mochad);
        throw;
    }
}

int service::run() {
    for (start(); step();) {
    }
    return finish();
}

void service::start() {
    broker_->connect();
    sd_notify(0, "READY=1\nSTATUS=Running");
    watchdog_at_ = clock_->now();
}

void service::serve() {
    publish_discovery();
    publish_status(true);
    publish_states();
    for (std::optional<pending> p; (p = held_.take());) queue(p->req, "MQTT");
}

void service::step_down(const std::string& why) {
    log(level::error, why);
    drop_held("are left to the other bridge");
    exit_status_ = 2;
    stopping_ = true;
}

void service::drop_held(const std::string& why) {
    std::size_t dropped = 0;
    while (held_.take()) ++dropped;
    if (dropped)
        log(level::warning, std::to_string(dropped) + (dropped == 1 ? " command" : " commands") +
                                " that came over MQTT while this bridge listened for another " + why);
}

void service::publish_discovery() {
    const std::vector<discovery_document> docs = discovery_documents(config_, topics_);
    for (const discovery_document& d : docs) broker_->publish(d.topic, d.payload);
    // Units gone from the configuration get an empty config: Home
    // Assistant forgets them.
    for (const std::string& gone : discovery_book(config_.mqtt).publishing(docs)) broker_->publish(gone, "");
}

namespace {

bool is_switch(const std::vector<unit_config>& units, const address& a) {
    return std::any_of(units.begin(), units.end(), [&](const unit_config& u) { return u.at == a && !u.dimmable; });
}

}  // namespace

void service::publish_state(const address& a, const lamp& l) {
    broker_->publish(topics_.of(a, verb::state), l.on ? "ON" : "OFF");
    if (const auto level = lamps_->level_of(l, a); level && !is_switch(config_.units, a))
        broker_->publish(topics_.of(a, verb::level_state), std::to_string(level->value));
}

void service::publish_states() {
    for (const auto& [a, l] : lamps_->all()) publish_state(a, l);
    // A switch has no brightness: what an older bridge kept of one goes.
    for (const unit_config& u : config_.units)
        if (!u.dimmable) broker_->publish(topics_.of(u.at, verb::level_state), "");
}

void service::publish_status(bool now) {
    if (!broker_->serving()) return;
    if (now) status_.forget();
    if (const auto json = status_.take(status_.json(sender_->waiting()), clock_->now())) broker_->publish(topics_.status(), *json);
}

void service::message(const mqtt::message& m) {
    const routed r = router_.message(m);
    if (r.home_assistant_back)
        discovery_at_ = clock_->now() + std::chrono::milliseconds(std::uniform_int_distribution<>(1000, 5000)(random_));
    if (r.learnt_state) lamps_->learn_state(r.learnt_state->first, r.learnt_state->second);
    if (r.learnt_level) lamps_->learn_level(r.learnt_level->first, r.learnt_level->second);
    if (!r.problem.empty()) bad_input_(level::warning, r.problem);
    for (const request& q : r.requests)
        if (!q.resend || lamps_->of(q.cmd.to)) queue(q, "MQTT");  // nothing is assumed of a lamp never switched
}

void service::line(int client, const std::string& text) {
    const routed r = router_.line(text, *lamps_);
    if (!r.problem.empty()) bad_input_(level::info, "text port: " + r.problem);
    if (r.answer) text_->send(client, *r.answer);
    for (const request& q : r.requests) queue(q, "the text port", client);
}

void service::queue(const request& r, const std::string& from, int text_client) {
    if (text_client < 0 && !broker_->serving()) {
        if (held_.push(r, clock_->now()) == command_queue::added::full) refuse(r, from, "are held already");
        return;
    }
    // Answered before the sending thread can take it: mochad clients wait
    // for their line, and a line after the frame would come too late.
    const auto accepted = [&] {
        lamps_->accepted(r);
        if (text_client >= 0) text_->broadcast(announcement(r.cmd, std::time(nullptr)));
    };
    const auto added = sender_->push(r, accepted);
    if (added == command_queue::added::full) {
        refuse(r, from, "are waiting already");
        if (text_client >= 0) text_->send(text_client, "error: the queue is full");
    } else {
        log(level::debug, r.text() + " from " + from + (added == command_queue::added::merged ? " (replaces one waiting)" : ""));
    }
    publish_status();
}

void service::refuse(const request& r, const std::string& from, const std::string& why) {
    status_.refused();
    bad_input_(level::warning, r.text() + " from " + from + " refused: " + std::to_string(queue_capacity) + " commands " + why);
}

void service::reports() {
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(wake_fd_, &count, sizeof count);
    for (const report& r : sender_->take_reports()) {
        status_.update(r);
        if (r.what == report::kind::busy) log(level::info, r.req.text() + " waits: " + r.text);
        if (r.what == report::kind::failed)
            log(level::error, r.req.text() + " was not sent: error " + std::to_string(r.error) + ": " + r.text);
        if (r.what == report::kind::sent) {
            log(level::debug, r.req.text() + " sent");
            publish_state(r.req.cmd.to, lamps_->of(r.req.cmd.to).value_or(lamp{}));
        }
    }
    publish_status();
}

bool service::step() {
    const clock::time_point now = clock_->now();
    broker_->tick();
    // Lost before it was clear that no other bridge serves: sent when the
    // broker comes back, they would switch lamps at a time nobody chose.
    if (held_.size() && !broker_->connected()) drop_held("were not sent: the broker was lost before this bridge served");
    if (discovery_at_ && now >= *discovery_at_) {
        discovery_at_.reset();
        if (broker_->serving()) publish_discovery(), publish_states();
    }
    if (status_.due() && now >= *status_.due()) publish_status();
    if (watchdog_.count() && now >= watchdog_at_) {
        sd_notify(0, "WATCHDOG=1");
        watchdog_at_ = now + watchdog_;
    }
    if (stopping_) return false;

    std::vector<pollfd> fds = {{signals_.fd(), POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    broker_->add_to(fds);
    if (text_) text_->add_to(fds);
    clock::time_point next = now + std::chrono::minutes(1);
    for (const auto& t : {broker_->next(), discovery_at_, status_.due()})
        if (t) next = std::min(next, *t);
    if (watchdog_.count()) next = std::min(next, watchdog_at_);
    if (clock_->wait(fds, next) <= 0) return !stopping_;

    for (const pollfd& p : fds) {
        if (!p.revents || broker_->handle(p)) continue;
        if (p.fd == signals_.fd()) {
            if (signals_.take() == SIGHUP) reload();
            else stopping_ = true;
        } else if (p.fd == wake_fd_) {
            reports();
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
    drop_held("were not sent: it stopped first");
    if (const std::size_t dropped = sender_->stop())
        log(level::warning, std::to_string(dropped) + " waiting commands were not sent");
    sender_->join();  // the command in flight goes out; the port is closed
    reports();
    // One that stepped down says nothing: the broker's word is the other's.
    if (exit_status_ == 0) broker_->leave();
    broker_->close();
    return exit_status_;
}

}  // namespace kestrix::bridge
