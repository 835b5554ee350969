#include "testkit/child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <stdexcept>

namespace kestrix::testing {
namespace {

// Reads what comes before `deadline` (monotonic seconds); false at the end of the output.
bool read_some(int fd, std::string& into, double deadline) {
    pollfd p{fd, POLLIN, 0};
    const int ms = static_cast<int>(std::max(0.0, (deadline - monotonic_seconds()) * 1000));
    if (::poll(&p, 1, ms) <= 0) return true;
    char buf[4096];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    into.append(buf, static_cast<std::size_t>(n));
    return true;
}

[[noreturn]] void become(const launch& how, int out) {
    ::dup2(out, 1);
    ::dup2(out, 2);
    for (int fd : how.keep_open) ::fcntl(fd, F_SETFD, 0);
    if (how.file_size_limit >= 0) {
        const auto bytes = static_cast<rlim_t>(how.file_size_limit);
        const rlimit limit{bytes, bytes};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    for (const auto& [name, value] : how.env) ::setenv(name.c_str(), value.c_str(), 1);
    for (const std::string& name : how.unset) ::unsetenv(name.c_str());
    if (how.as_nobody && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(126);
    std::vector<char*> args;
    for (const std::string& a : how.argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
}

}  // namespace

double monotonic_seconds() { return static_cast<double>(monotonic_ns()) / 1e9; }

long long monotonic_ns() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

child::child(const launch& how) {
    int ends[2];
    if (how.argv.empty() || ::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("cannot start a program");
    // Blocked before the fork, so that the child is born with it blocked.
    sigset_t blocked, before;
    sigemptyset(&blocked);
    if (how.blocked) sigaddset(&blocked, how.blocked);
    ::pthread_sigmask(SIG_BLOCK, &blocked, &before);
    started_ = monotonic_seconds();
    pid_ = ::fork();
    if (pid_ == 0) become(how, ends[1]);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ::close(ends[1]);
    out_ = ends[0];
    if (pid_ < 0) throw std::runtime_error("cannot fork");
}

child::~child() {
    if (pid_ > 0) finish(SIGKILL, 5);
    if (out_ >= 0) ::close(out_);
}

bool child::says(const std::string& text, double seconds) {
    const double deadline = monotonic_seconds() + seconds;
    for (;;) {
        if (const auto at = output_.find(text, searched_); at != std::string::npos) {
            searched_ = at + text.size();
            return true;
        }
        if (out_ < 0 || monotonic_seconds() >= deadline || !read_some(out_, output_, deadline)) return false;
    }
}

void child::ignore_output() {
    if (out_ >= 0) ::close(out_);
    out_ = -1;
}

ending child::finish(int signal, double seconds) {
    ending end;
    if (pid_ <= 0) return end;
    if (signal) ::kill(pid_, signal);
    const double deadline = monotonic_seconds() + seconds;
    while (out_ >= 0 && monotonic_seconds() < deadline && read_some(out_, output_, deadline)) {
    }
    // The end of the output comes a moment before the exit itself.
    if (const int exit_fd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)); exit_fd >= 0) {
        pollfd p{exit_fd, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(std::max(0.0, (deadline - monotonic_seconds()) * 1000)));
        ::close(exit_fd);
    }
    int status = 0;
    rusage usage{};
    if (::wait4(pid_, &status, WNOHANG, &usage) == 0) {
        ::kill(pid_, SIGKILL);
        ::wait4(pid_, &status, 0, &usage);
    }
    pid_ = -1;
    end.seconds = monotonic_seconds() - started_;
    end.peak_megabytes = usage.ru_maxrss / 1024;
    end.exited = WIFEXITED(status);
    end.status = end.exited ? WEXITSTATUS(status) : WTERMSIG(status);
    end.output = output_;
    return end;
}

ending run(const launch& how, double seconds) {
    child c(how);
    if (how.blocked) ::kill(c.pid(), how.blocked);
    return c.finish(0, seconds);
}

int as_nobody(const std::function<int()>& step) {
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(254);
        int result = 255;
        try {
            result = step();
        } catch (...) {
        }
        ::_exit(result & 0xff);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status) == 254 ? -2 : WEXITSTATUS(status);
}

}  // namespace kestrix::testing
