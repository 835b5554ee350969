#include "support/live_bridge.h"

#include "support/fakes.h"
#include "support/spawn.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace kestrix::bridge::testing {
namespace {

namespace fs = std::filesystem;
using clock = std::chrono::steady_clock;

const char* const mosquitto_program = "/usr/sbin/mosquitto";

int milliseconds_left(clock::time_point deadline) {
    return static_cast<int>(std::max<long long>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count()));
}

clock::time_point after(double seconds) {
    return clock::now() + std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(seconds));
}

// Reads what is there within the deadline; false at the end of the output.
bool read_some(int fd, std::string& into, clock::time_point deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, milliseconds_left(deadline)) <= 0) return true;
    char buf[4096];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    into.append(buf, static_cast<std::size_t>(n));
    return true;
}

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

broker::broker() : port_(free_port()) {
    folder_ = fs::temp_directory_path() / ("kestrix-broker-" + std::to_string(::getpid()) + "-" + std::to_string(port_));
    fs::create_directories(folder_);
    std::ofstream(folder_ + "/mosquitto.conf") << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\n"
                                               << "persistence false\nlog_dest stderr\nlog_type all\n";
    int out = -1;
    pid_ = kestrix::testing::spawn({mosquitto_program, "-c", folder_ + "/mosquitto.conf"}, {}, out);
    std::string said;
    const auto deadline = after(10);
    while (said.find(" running") == std::string::npos && clock::now() < deadline && read_some(out, said, deadline)) {
    }
    ::close(out);  // it goes on logging into a closed pipe: no matter, it ignores SIGPIPE
    if (said.find(" running") == std::string::npos) throw std::runtime_error("mosquitto did not start: " + said);
}

broker::~broker() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    fs::remove_all(folder_);
}

mqtt_listener::mqtt_listener(int port, const std::vector<std::string>& patterns, const std::string& id) {
    mqtt_options o;
    o.host = "127.0.0.1";
    o.port = port;
    static int made = 0;  // two clients with one id throw each other off the broker
    o.client_id = id + "-" + std::to_string(::getpid()) + "-" + std::to_string(++made);
    client_ = std::make_unique<mqtt_client>(o);
    client_->on_connect = [this](int rc, const std::string&) { connected_ = rc == 0; };
    client_->on_message = [this](const mqtt_message& m) { seen_.push_back(m); };
    client_->connect();
    const auto deadline = after(10);
    while (!connected_ && clock::now() < deadline) pump(0.1);
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

std::optional<mqtt_message> mqtt_listener::next(const std::string& topic, double seconds,
                                                const std::function<bool(const mqtt_message&)>& wanted) {
    const auto deadline = after(seconds);
    for (;;) {
        taken_.resize(seen_.size());
        for (std::size_t i = 0; i < seen_.size(); ++i)
            if (!taken_[i] && seen_[i].topic == topic && (!wanted || wanted(seen_[i]))) {
                taken_[i] = true;
                return seen_[i];
            }
        if (clock::now() >= deadline) return std::nullopt;
        pump(static_cast<double>(milliseconds_left(deadline)) / 1000);
    }
}

void mqtt_listener::publish(const std::string& topic, const std::string& payload, bool retain) {
    client_->publish(topic, payload, 1, retain);
    for (int i = 0; i < 10 && client_->wants_write(); ++i) pump(0.1);
}

shimmed_process::shimmed_process(const std::vector<std::string>& argv, const std::string& shim_log,
                                 const std::string& port) {
    pid_ = kestrix::testing::spawn(argv,
                                   {{"LD_PRELOAD", KESTRIX_SHIM}, {"KESTRIX_SHIM_LOG", shim_log},
                                    {"KESTRIX_SHIM_WATCH", port}, {"ASAN_OPTIONS", "verify_asan_link_order=0"}},
                                   out_);
}

shimmed_process::~shimmed_process() {
    if (pid_ > 0) stop(SIGKILL, 5);
    if (out_ >= 0) ::close(out_);
}

bool shimmed_process::says(const std::string& text, double seconds) {
    const auto deadline = after(seconds);
    for (;;) {
        if (const auto at = output_.find(text, searched_); at != std::string::npos) {
            searched_ = at + text.size();
            return true;
        }
        if (clock::now() >= deadline || !read_some(out_, output_, deadline)) return false;
    }
}

process_end shimmed_process::stop(int signal, double seconds) {
    process_end end;
    if (pid_ <= 0) return end;
    if (signal) ::kill(pid_, signal);
    const auto deadline = after(seconds);
    while (clock::now() < deadline && read_some(out_, output_, deadline)) {
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    end.exited = WIFEXITED(status);
    end.status = end.exited ? WEXITSTATUS(status) : WTERMSIG(status);
    end.errors = output_;
    return end;
}

long long monotonic_ns() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

}  // namespace kestrix::bridge::testing
