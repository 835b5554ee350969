// The broker as an event loop sees it (the bridge's poll loop, the remote's
// socket notifiers), and a thin owner of a libmosquitto client that is one:
// the loop waits on socket() (for writing too when wants_write()) and calls
// the three service calls. Nothing here blocks for long, and no thread is
// started.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace kestrix::mqtt {

struct options {
    std::string host = "localhost";
    int port = 1883;
    std::string username;  // empty: no login
    std::string password;
    bool tls = false;      // verify the broker against the system's CA store, or:
    std::string ca_file;   // a home broker's own CA
    std::string cert_file, key_file;  // a client certificate, where the broker asks for one
    std::string client_id;
    int keepalive = 60;
    std::string will_topic;  // empty: no last will
    std::string will_payload;
    bool operator==(const options&) const = default;
};

// Why a connection ended when another client connected with its client
// id (the broker gives an id to whoever connects last).
inline constexpr const char* taken_over = "another client connected with this client id";

struct message {
    std::string topic;
    std::string payload;
    bool retained = false;
};

class broker {
public:
    virtual ~broker() = default;

    // Starts a connection (or a new one); the outcome comes to on_connect.
    // Returns an empty string, or why it could not even start.
    virtual std::string connect() = 0;
    // After letting what waits go out and be acknowledged, for a moment at most.
    virtual void disconnect() = 0;

    virtual int socket() const = 0;  // -1 while there is no connection
    virtual bool wants_write() const = 0;
    // Each returns an empty string, or why the connection broke.
    virtual std::string readable() = 0;
    virtual std::string writable() = 0;
    virtual std::string tick() = 0;  // every few seconds: keep-alive

    virtual void publish(const std::string& topic, const std::string& payload, int qos, bool retain) = 0;
    virtual void subscribe(const std::string& pattern, int qos) = 0;

    // rc 0: connected; otherwise why the broker refused (text given).
    std::function<void(int rc, const std::string& why)> on_connect;
    std::function<void(const std::string& why)> on_disconnect;
    std::function<void(const message&)> on_message;
};

class client final : public broker {
public:
    // Throws std::runtime_error when the library refuses the options.
    explicit client(const options& wanted);
    ~client() override;
    client(const client&) = delete;
    client& operator=(const client&) = delete;

    std::string connect() override;
    void disconnect() override;
    int socket() const override;
    bool wants_write() const override;
    std::string readable() override;
    std::string writable() override;
    std::string tick() override;
    void publish(const std::string& topic, const std::string& payload, int qos, bool retain) override;
    void subscribe(const std::string& pattern, int qos) override;

private:
    mosquitto* make();
    std::string reason(int rc) const;  // a broker's answer, in words
    std::string explained(int rc) const;  // the library's text, with the TLS reason
    std::string checked(int rc) const;    // empty for success
    // Serves the connection until `done`, for two seconds at most.
    void pump_until(const std::function<bool()>& done);
    options options_;
    mosquitto* handle_ = nullptr;
    bool tried_ = false;
    int protocol_;  // MQTT 5, or 3.1.1 for a broker that speaks nothing newer
    std::string detail_;  // the library's last error line
    std::vector<std::string> subscribed_;  // on this connection
    std::set<int> unacknowledged_;        // message ids of publishes and unsubscriptions
};

}  // namespace kestrix::mqtt
