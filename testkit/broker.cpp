#include "testkit/broker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace kestrix::testing {
namespace {

const char* const mosquitto_program = "/usr/sbin/mosquitto";

}  // namespace

int free_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(fd);
    return ntohs(a.sin_port);
}

bool broker::available() { return ::access(mosquitto_program, X_OK) == 0; }

broker::broker(const std::string& login, bool tls) : port_(free_port()) {
    std::string access = "allow_anonymous true\n", secure;
    if (tls) {
        tls_port_ = free_port();
        const ending made = run(launch({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                                        "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", folder_ / "key.pem",
                                        "-out", ca_file()}));
        if (!made.ok()) throw std::runtime_error("openssl could not make the broker's certificate: " + made.output);
        secure = "listener " + std::to_string(tls_port_) + " 127.0.0.1\ncertfile " + ca_file() + "\nkeyfile " + (folder_ / "key.pem") + "\n";
    }
    if (const auto colon = login.find(':'); colon != std::string::npos) {
        const std::string passwords = folder_ / "passwords";
        const ending made = run(launch({"/usr/bin/mosquitto_passwd", "-c", "-b", passwords, login.substr(0, colon), login.substr(colon + 1)}));
        if (!made.ok()) throw std::runtime_error("mosquitto_passwd failed: " + made.output);
        access = "allow_anonymous false\npassword_file " + passwords + "\n";
    }
    const std::string conf = folder_.write("mosquitto.conf", "listener " + std::to_string(port_) +
                                                                " 127.0.0.1\n" + access + secure +
                                                                "persistence false\nlog_dest stderr\nlog_type all\n"
                                                                "log_dest file " + (folder_ / "mosquitto.log") +
                                                                // Run as root it would become the user mosquitto,
                                                                // who cannot write in the test's folder.
                                                                "\nuser " + ::getpwuid(::getuid())->pw_name + "\n");
    mosquitto_ = std::make_unique<child>(launch({mosquitto_program, "-c", conf}));
    if (!mosquitto_->says(" running")) throw std::runtime_error("mosquitto did not start: " + mosquitto_->output());
    mosquitto_->ignore_output();  // it logs every message; nobody reads that
}

std::string broker::log() const {
    std::ifstream in(folder_ / "mosquitto.log");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

mqtt_listener::mqtt_listener(int port, const std::vector<std::string>& patterns, const std::string& id) {
    mqtt::options o;
    o.host = "127.0.0.1";
    o.port = port;
    static int made = 0;  // two clients with one id throw each other off the broker
    o.client_id = id + "-" + std::to_string(::getpid()) + "-" + std::to_string(++made);
    client_ = std::make_unique<mqtt::client>(o);
    client_->on_connect = [this](int rc, const std::string&) { connected_ = rc == 0; };
    client_->on_message = [this](const mqtt::message& m) { seen_.push_back(m); };
    client_->connect();
    const double deadline = monotonic_seconds() + 10;
    while (!connected_ && monotonic_seconds() < deadline) pump(0.1);
    if (!connected_) throw std::runtime_error("the test's MQTT client could not connect");
    for (const std::string& p : patterns) client_->subscribe(p, 1);
}

bool mqtt_listener::pump(double seconds) {
    const int fd = client_->socket();
    if (fd < 0) return false;
    pollfd p{fd, static_cast<short>(POLLIN | (client_->wants_write() ? POLLOUT : 0)), 0};
    const int ready = ::poll(&p, 1, static_cast<int>(seconds * 1000));
    if (ready > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR))) client_->readable();
    if (ready > 0 && (p.revents & POLLOUT)) client_->writable();
    client_->tick();
    return ready > 0;
}

std::optional<mqtt::message> mqtt_listener::next(const std::string& topic, double seconds,
                                                        const std::function<bool(const mqtt::message&)>& wanted) {
    const double deadline = monotonic_seconds() + seconds;
    for (;;) {
        taken_.resize(seen_.size());
        for (std::size_t i = 0; i < seen_.size(); ++i)
            if (!taken_[i] && seen_[i].topic == topic && (!wanted || wanted(seen_[i]))) {
                taken_[i] = true;
                return seen_[i];
            }
        const double left = deadline - monotonic_seconds();
        if (left <= 0) return std::nullopt;
        pump(left);
    }
}

void mqtt_listener::publish(const std::string& topic, const std::string& payload, bool retain) {
    client_->publish(topic, payload, 1, retain);
    for (int i = 0; i < 10 && client_->wants_write(); ++i) pump(0.1);
}

}  // namespace kestrix::testing
