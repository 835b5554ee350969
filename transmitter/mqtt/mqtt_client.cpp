#include "mqtt_client.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <mutex>
#include <utility>
#include <stdexcept>

namespace kestrix::mqtt {
namespace {

// For MOSQ_ERR_ERRNO the library's text is the system's own. Without its
// full stop, as it goes inside a longer line.
std::string sentence(std::string text) {
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

std::string result_text(int rc) { return sentence(mosquitto_strerror(rc)); }

// How long the broker holds the last will once the connection is gone. A
// client that takes our client id over and is thrown off again at once
// (a second bridge started with it) then never makes us look offline, nor
// does a restart quicker than this; a crash is said a few seconds late.
constexpr int will_delay_seconds = 5;

}  // namespace

client::client(const options& wanted) : options_(wanted), protocol_(MQTT_PROTOCOL_V5) {
    static std::once_flag library;
    std::call_once(library, [] { mosquitto_lib_init(); });
    handle_ = make();  // refuses bad options now, not at the first connection
}

client::~client() { mosquitto_destroy(handle_); }

mosquitto* client::make() {
    mosquitto* m = mosquitto_new(options_.client_id.c_str(), true, this);
    if (!m) throw std::runtime_error("the MQTT library could not make a client: " + result_text(MOSQ_ERR_ERRNO));
    auto need = [&](int rc, const char* what) {
        if (rc != MOSQ_ERR_SUCCESS) {
            mosquitto_destroy(m);
            throw std::runtime_error(std::string(what) + ": " + result_text(rc));
        }
    };
    need(mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, protocol_), "the MQTT version");
    // Small messages that must go at once: without this, a command can wait
    // 40 ms for the acknowledgement of the one before.
    need(mosquitto_int_option(m, MOSQ_OPT_TCP_NODELAY, 1), "TCP_NODELAY");
    if (!options_.username.empty())
        need(mosquitto_username_pw_set(m, options_.username.c_str(), options_.password.c_str()), "the login");
    const auto file = [](const std::string& name) { return name.empty() ? nullptr : name.c_str(); };
    if (options_.tls && options_.ca_file.empty() && options_.cert_file.empty())
        need(mosquitto_int_option(m, MOSQ_OPT_TLS_USE_OS_CERTS, 1), "TLS with the system's CA store");
    else if (options_.tls)  // a home broker's own CA, or the system's with a client certificate
        need(mosquitto_tls_set(m, file(options_.ca_file), options_.ca_file.empty() ? "/etc/ssl/certs" : nullptr,
                               file(options_.cert_file), file(options_.key_file), nullptr),
             "TLS with the configured certificates");
    if (!options_.will_topic.empty()) {
        mosquitto_property* delay = nullptr;
        if (protocol_ == MQTT_PROTOCOL_V5)
            need(mosquitto_property_add_int32(&delay, MQTT_PROP_WILL_DELAY_INTERVAL, will_delay_seconds), "the last will's delay");
        const int rc = mosquitto_will_set_v5(m, options_.will_topic.c_str(), static_cast<int>(options_.will_payload.size()),
                                             options_.will_payload.data(), 1, true, delay);
        if (rc != MOSQ_ERR_SUCCESS) mosquitto_property_free_all(&delay);
        need(rc, "the last will");
    }
    // The library says why a TLS handshake failed only in its log.
    mosquitto_log_callback_set(m, [](mosquitto*, void* self, int level, const char* line) {
        if (level & MOSQ_LOG_ERR) static_cast<client*>(self)->detail_ = line;
    });
    mosquitto_connect_callback_set(m, [](mosquitto*, void* self, int rc) {
        auto* me = static_cast<client*>(self);
        std::string why = rc ? me->reason(rc) : "";
        if (rc == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION && me->protocol_ == MQTT_PROTOCOL_V5) {
            me->protocol_ = MQTT_PROTOCOL_V311;  // the next try, on a client of its own, speaks that
            why = "it speaks MQTT 3.1.1 only (the next try speaks that)";
        }
        if (me->on_connect) me->on_connect(rc, why);
    });
    mosquitto_disconnect_callback_set(m, [](mosquitto*, void* self, int rc) {
        auto* me = static_cast<client*>(self);
        // The broker's own reasons (MQTT 5) are 128 and above; below are the library's.
        const std::string why = rc == MQTT_RC_SESSION_TAKEN_OVER ? taken_over
                                : rc >= 128                      ? me->reason(rc)
                                : rc                             ? me->explained(rc)
                                                                 : "disconnected";
        if (me->on_disconnect) me->on_disconnect(why);
    });
    mosquitto_publish_callback_set(m, [](mosquitto*, void* self, int mid) {
        static_cast<client*>(self)->unacknowledged_.erase(mid);
    });
    mosquitto_unsubscribe_callback_set(m, [](mosquitto*, void* self, int mid) {
        static_cast<client*>(self)->unacknowledged_.erase(mid);
    });
    mosquitto_message_callback_set(m, [](mosquitto*, void* self, const mosquitto_message* msg) {
        auto* me = static_cast<client*>(self);
        if (me->on_message)
            me->on_message({msg->topic, std::string(static_cast<const char*>(msg->payload),
                                                        static_cast<std::size_t>(msg->payloadlen)),
                                msg->retain});
    });
    return m;
}

std::string client::connect() {
    // Each try on a client of its own: after a failed TLS handshake the
    // library refuses to try again on the same one.
    if (tried_) {
        mosquitto* fresh = make();
        mosquitto_destroy(handle_);
        handle_ = fresh;
    }
    tried_ = true;
    detail_.clear();
    subscribed_.clear();
    unacknowledged_.clear();
    return checked(mosquitto_connect_async(handle_, options_.host.c_str(), options_.port, options_.keepalive));
}

std::string client::reason(int rc) const {
    return sentence(protocol_ == MQTT_PROTOCOL_V5 ? mosquitto_reason_string(rc) : mosquitto_connack_string(rc));
}

std::string client::explained(int rc) const {
    return rc == MOSQ_ERR_TLS && !detail_.empty() ? result_text(rc) + " (" + detail_ + ")" : result_text(rc);
}

std::string client::checked(int rc) const { return rc == MOSQ_ERR_SUCCESS ? std::string() : explained(rc); }

void client::disconnect() {
    // A socket closed with input unread is reset, not closed: the broker
    // then sees no clean end, sends the last will in place of what was
    // just published, and logs an error. So first no more messages (each
    // subscription taken back) and every publish acknowledged; then the
    // DISCONNECT, after which the broker sends nothing.
    const auto deliver = std::exchange(on_message, nullptr);  // nobody takes them now
    if (socket() >= 0) {
        for (const std::string& pattern : std::exchange(subscribed_, {}))
            if (int mid = 0; mosquitto_unsubscribe(handle_, &mid, pattern.c_str()) == MOSQ_ERR_SUCCESS) unacknowledged_.insert(mid);
        pump_until([this] { return unacknowledged_.empty(); });
    }
    mosquitto_disconnect(handle_);
    pump_until([this] { return socket() < 0 || !wants_write(); });
    on_message = deliver;
}

void client::pump_until(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done() && socket() >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{socket(), static_cast<short>(POLLIN | (wants_write() ? POLLOUT : 0)), 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return;
        if ((p.revents & (POLLIN | POLLHUP | POLLERR)) && !readable().empty()) return;
        if ((p.revents & POLLOUT) && socket() >= 0 && !writable().empty()) return;
    }
}

int client::socket() const { return mosquitto_socket(handle_); }

bool client::wants_write() const { return mosquitto_want_write(handle_); }

std::string client::readable() {
    const std::string why = checked(mosquitto_loop_read(handle_, 1));
    // Acknowledged at once: a broker that waits for our ACK before its
    // next small message (Nagle's rule, on by default in mosquitto) would
    // hold each command 40 ms.
    const int on = 1;
    if (socket() >= 0) ::setsockopt(socket(), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    return why;
}

std::string client::writable() { return checked(mosquitto_loop_write(handle_, 1)); }

std::string client::tick() { return checked(mosquitto_loop_misc(handle_)); }

void client::publish(const std::string& topic, const std::string& payload, int qos, bool retain) {
    // Without a connection the library refuses; what matters (states,
    // status, discovery) is published afresh on the next connection.
    int mid = 0;
    if (mosquitto_publish(handle_, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), qos, retain) ==
            MOSQ_ERR_SUCCESS &&
        qos > 0)
        unacknowledged_.insert(mid);
}

void client::subscribe(const std::string& pattern, int qos) {
    if (mosquitto_subscribe(handle_, nullptr, pattern.c_str(), qos) == MOSQ_ERR_SUCCESS) subscribed_.push_back(pattern);
}

}  // namespace kestrix::mqtt
