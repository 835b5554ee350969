#include "mqtt_client.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace kestrix::bridge {
namespace {

std::string result_text(int rc) {
    if (rc == MOSQ_ERR_ERRNO) return mosquitto_strerror(rc) + std::string(" (") + std::strerror(errno) + ")";
    return mosquitto_strerror(rc);
}

std::string checked(int rc) { return rc == MOSQ_ERR_SUCCESS ? std::string() : result_text(rc); }

}  // namespace

mqtt_client::mqtt_client(const mqtt_options& options) : options_(options) {
    static std::once_flag library;
    std::call_once(library, [] { mosquitto_lib_init(); });
    handle_ = mosquitto_new(options_.client_id.c_str(), true, this);
    if (!handle_) throw std::runtime_error("the MQTT library could not make a client: " + result_text(MOSQ_ERR_ERRNO));
    auto need = [&](int rc, const char* what) {
        if (rc != MOSQ_ERR_SUCCESS) {
            mosquitto_destroy(handle_);
            throw std::runtime_error(std::string(what) + ": " + result_text(rc));
        }
    };
    need(mosquitto_int_option(handle_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311), "MQTT 3.1.1");
    if (!options_.username.empty())
        need(mosquitto_username_pw_set(handle_, options_.username.c_str(), options_.password.c_str()), "the login");
    if (options_.tls) need(mosquitto_int_option(handle_, MOSQ_OPT_TLS_USE_OS_CERTS, 1), "TLS with the system's CA store");
    if (!options_.will_topic.empty())
        need(mosquitto_will_set(handle_, options_.will_topic.c_str(), static_cast<int>(options_.will_payload.size()),
                                options_.will_payload.data(), 1, true),
             "the last will");
    mosquitto_connect_callback_set(handle_, [](mosquitto*, void* self, int rc) {
        auto* client = static_cast<mqtt_client*>(self);
        if (client->on_connect) client->on_connect(rc, rc ? mosquitto_connack_string(rc) : "");
    });
    mosquitto_disconnect_callback_set(handle_, [](mosquitto*, void* self, int rc) {
        auto* client = static_cast<mqtt_client*>(self);
        if (client->on_disconnect) client->on_disconnect(rc ? result_text(rc) : "disconnected");
    });
    mosquitto_message_callback_set(handle_, [](mosquitto*, void* self, const mosquitto_message* m) {
        auto* client = static_cast<mqtt_client*>(self);
        if (client->on_message)
            client->on_message({m->topic, std::string(static_cast<const char*>(m->payload),
                                                      static_cast<std::size_t>(m->payloadlen)),
                                m->retain});
    });
}

mqtt_client::~mqtt_client() { mosquitto_destroy(handle_); }

std::string mqtt_client::connect() {
    const int rc = started_ ? mosquitto_reconnect_async(handle_)
                            : mosquitto_connect_async(handle_, options_.host.c_str(), options_.port, options_.keepalive);
    started_ = started_ || rc == MOSQ_ERR_SUCCESS;
    return checked(rc);
}

void mqtt_client::disconnect() { mosquitto_disconnect(handle_); }

int mqtt_client::socket() const { return mosquitto_socket(handle_); }

bool mqtt_client::wants_write() const { return mosquitto_want_write(handle_); }

std::string mqtt_client::readable() { return checked(mosquitto_loop_read(handle_, 1)); }

std::string mqtt_client::writable() { return checked(mosquitto_loop_write(handle_, 1)); }

std::string mqtt_client::tick() { return checked(mosquitto_loop_misc(handle_)); }

void mqtt_client::publish(const std::string& topic, const std::string& payload, int qos, bool retain) {
    // Without a connection the library refuses; what matters (states,
    // status, discovery) is published afresh on the next connection.
    mosquitto_publish(handle_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), qos, retain);
}

void mqtt_client::subscribe(const std::string& pattern, int qos) {
    mosquitto_subscribe(handle_, nullptr, pattern.c_str(), qos);
}

}  // namespace kestrix::bridge
