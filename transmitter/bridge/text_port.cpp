#include "text_port.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace kestrix::bridge {
namespace {

constexpr std::size_t longest_line = 256;         // a command is a few words
constexpr std::size_t most_unread = 64 * 1024;    // what a client may leave unread
constexpr std::size_t most_clients = 32;

std::string peer_name(const sockaddr_storage& a) {
    char host[NI_MAXHOST] = "?", port[NI_MAXSERV] = "?";
    ::getnameinfo(reinterpret_cast<const sockaddr*>(&a), sizeof a, host, sizeof host, port, sizeof port,
                  NI_NUMERICHOST | NI_NUMERICSERV);
    return std::string(host) + ":" + port;
}

}  // namespace

text_port::text_port(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0)
        throw std::runtime_error("the text port cannot listen on " + host + ":" + service + ": " + ::gai_strerror(rc));
    std::string why = "no address";
    for (addrinfo* a = found; a && listener_ < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        const int on = 1;
        if (fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
            ::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, 16) == 0) {
            listener_ = fd;
            sockaddr_storage bound{};
            socklen_t length = sizeof bound;
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
            where_ = peer_name(bound);
        } else {
            why = std::strerror(errno);
            if (fd >= 0) ::close(fd);
        }
    }
    ::freeaddrinfo(found);
    if (listener_ < 0) throw std::runtime_error("the text port cannot listen on " + host + ":" + service + ": " + why);
}

text_port::~text_port() {
    for (const client& c : clients_) ::close(c.fd);
    if (listener_ >= 0) ::close(listener_);
}

void text_port::add_to(std::vector<pollfd>& fds) const {
    fds.push_back({listener_, POLLIN, 0});
    for (const client& c : clients_)
        fds.push_back({c.fd, static_cast<short>(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});
}

text_port::client* text_port::find(int fd) {
    auto it = std::find_if(clients_.begin(), clients_.end(), [&](const client& c) { return c.fd == fd; });
    return it == clients_.end() ? nullptr : &*it;
}

void text_port::handle(const pollfd& ready) {
    if (ready.fd == listener_) {
        if (ready.revents & POLLIN) accept_client();
        return;
    }
    client* c = find(ready.fd);
    if (!c) return;
    if (ready.revents & (POLLIN | POLLHUP | POLLERR)) read_from(*c);
    if ((c = find(ready.fd)) && (ready.revents & POLLOUT)) write_to(*c);
}

void text_port::accept_client() {
    sockaddr_storage from{};
    socklen_t length = sizeof from;
    const int fd = ::accept4(listener_, reinterpret_cast<sockaddr*>(&from), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (clients_.size() >= most_clients) {
        const std::string why = std::to_string(most_clients) + " clients are connected already";
        if (on_log) on_log("text port: refused " + peer_name(from) + ": " + why);
        const std::string line = "error: " + why + "\n";  // a fresh socket takes one line at once
        [[maybe_unused]] ssize_t n = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::close(fd);
        return;
    }
    clients_.push_back({fd, peer_name(from), {}, {}, false});
}

void text_port::read_from(client& c) {
    char buf[4096];
    const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        drop(c.fd, "");
        return;
    }
    if (n < 0) return;
    const int fd = c.fd;
    for (ssize_t i = 0; i < n; ++i) {
        client* cur = find(fd);  // a line's answer may have cut the client off
        if (!cur) return;
        const char ch = buf[i];
        if (ch == '\n') {
            std::string line = std::exchange(cur->in, {});
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const bool whole = !std::exchange(cur->discarding, false);
            if (whole && on_line) on_line(fd, line);
        } else if (!cur->discarding) {
            cur->in += ch;
            if (cur->in.size() > longest_line) {
                if (on_log) on_log("text port: " + cur->peer + " sent a line longer than " +
                                   std::to_string(longest_line) + " bytes; it is skipped");
                cur->in.clear();
                cur->discarding = true;
                send(fd, "error: line too long");
            }
        }
    }
}

void text_port::write_to(client& c) {
    const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno != EAGAIN && errno != EINTR) drop(c.fd, std::strerror(errno));
    else if (n > 0) c.out.erase(0, static_cast<std::size_t>(n));
}

void text_port::send(int fd, const std::string& line) {
    client* c = find(fd);
    if (!c) return;
    c->out += line + "\n";
    if (c->out.size() > most_unread) {
        drop(fd, "it left " + std::to_string(c->out.size()) + " bytes unread");
        return;
    }
    write_to(*c);  // at once: a client waiting for its line must not wait for the loop
}

void text_port::broadcast(const std::string& line) {
    std::vector<int> fds;
    for (const client& c : clients_) fds.push_back(c.fd);
    for (int fd : fds) send(fd, line);
}

void text_port::drop(int fd, const std::string& why) {
    auto it = std::find_if(clients_.begin(), clients_.end(), [&](const client& c) { return c.fd == fd; });
    if (it == clients_.end()) return;
    if (!why.empty() && on_log) on_log("text port: disconnected " + it->peer + ": " + why);
    ::close(it->fd);
    clients_.erase(it);
}

}  // namespace kestrix::bridge
