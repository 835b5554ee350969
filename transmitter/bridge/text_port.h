// The mochad-compatible text port: a listening TCP socket and its clients,
// cut into lines. Sockets and framing only; what a line means is the
// caller's. Nothing here ever blocks: a client that sends an endless line
// or never reads is cut off, not waited for.
#pragma once

#include <poll.h>

#include <functional>
#include <list>
#include <string>
#include <vector>

namespace kestrix::bridge {

class text_port {
public:
    // Listens on host:port; throws std::runtime_error saying why it cannot.
    text_port(const std::string& host, int port);
    ~text_port();
    text_port(const text_port&) = delete;
    text_port& operator=(const text_port&) = delete;

    // The descriptors to wait on, and what they became ready for.
    void add_to(std::vector<pollfd>& fds) const;
    void handle(const pollfd& ready);

    // A whole line from a client (without its line end).
    std::function<void(int client, const std::string& line)> on_line;
    std::function<void(const std::string&)> on_log;

    void send(int client, const std::string& line);  // adds "\n"
    void broadcast(const std::string& line);
    std::string where() const { return where_; }

private:
    struct client {
        int fd;
        std::string peer;
        std::string in, out;
        bool discarding = false;  // the rest of an overlong line
    };
    void accept_client();
    void read_from(client& c);
    void write_to(client& c);
    void drop(int fd, const std::string& why);
    client* find(int fd);

    int listener_ = -1;
    std::string where_;
    std::list<client> clients_;
};

}  // namespace kestrix::bridge
