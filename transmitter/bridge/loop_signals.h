// The signals the bridge's loop takes, as a descriptor it polls: SIGTERM
// and SIGINT stop it, SIGHUP re-reads the configuration. They are blocked
// (for every thread started afterwards too) for as long as this lives, so
// that no signal ends the bridge in the middle of a frame.
#pragma once

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace kestrix::bridge {

class loop_signals {
public:
    loop_signals() {
        sigset_t mask;
        sigemptyset(&mask);
        for (int number : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&mask, number);
        ::pthread_sigmask(SIG_BLOCK, &mask, &before_);
        fd_ = ::signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK);
        if (fd_ < 0) throw std::runtime_error(std::string("cannot wait for signals: ") + std::strerror(errno));
    }
    ~loop_signals() {
        ::close(fd_);
        ::pthread_sigmask(SIG_SETMASK, &before_, nullptr);
    }
    loop_signals(const loop_signals&) = delete;
    loop_signals& operator=(const loop_signals&) = delete;

    int fd() const { return fd_; }
    // The signal that made fd() readable.
    int take() {
        signalfd_siginfo taken{};
        return ::read(fd_, &taken, sizeof taken) == sizeof taken ? static_cast<int>(taken.ssi_signo) : 0;
    }

private:
    int fd_ = -1;
    sigset_t before_{};
};

}  // namespace kestrix::bridge
