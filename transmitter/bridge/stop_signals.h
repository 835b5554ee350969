// SIGTERM and SIGINT as a descriptor the loop polls: blocked (for every
// thread started afterwards too) for as long as this lives, so that no
// signal ends the bridge in the middle of a frame.
#pragma once

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace kestrix::bridge {

class stop_signals {
public:
    stop_signals() {
        sigset_t mask;
        sigemptyset(&mask);
        sigaddset(&mask, SIGTERM);
        sigaddset(&mask, SIGINT);
        ::pthread_sigmask(SIG_BLOCK, &mask, &before_);
        fd_ = ::signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK);
        if (fd_ < 0) throw std::runtime_error(std::string("cannot wait for signals: ") + std::strerror(errno));
    }
    ~stop_signals() {
        ::close(fd_);
        ::pthread_sigmask(SIG_SETMASK, &before_, nullptr);
    }
    stop_signals(const stop_signals&) = delete;
    stop_signals& operator=(const stop_signals&) = delete;

    int fd() const { return fd_; }
    // Takes the signal that made fd() readable.
    void take() {
        signalfd_siginfo taken{};
        [[maybe_unused]] ssize_t n = ::read(fd_, &taken, sizeof taken);
    }

private:
    int fd_ = -1;
    sigset_t before_{};
};

}  // namespace kestrix::bridge
