#include "support/program_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace vantrel::testing {

ProgramEnd run(const ProgramRun& how, int limitSeconds) {
    ProgramEnd end;
    int err[2];
    if (::pipe2(err, O_CLOEXEC) != 0) return end;
    // Blocked before the fork, so that the child is born with it blocked.
    sigset_t term, before;
    sigemptyset(&term);
    sigaddset(&term, how.endSignal);
    ::sigprocmask(how.askToEnd ? SIG_BLOCK : SIG_UNBLOCK, &term, &before);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(err[1], 2);
        for (int fd : how.keepOpen) ::fcntl(fd, F_SETFD, 0);
        if (how.fileSizeLimit >= 0) {
            const rlimit limit{static_cast<rlim_t>(how.fileSizeLimit), static_cast<rlim_t>(how.fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::setenv("QT_QPA_PLATFORM", VANTREL_TEST_PLATFORM, 1);
        ::setenv("XDG_CONFIG_HOME", how.configHome.c_str(), 1);
        for (const auto& [name, value] : how.environment) ::setenv(name.c_str(), value.c_str(), 1);
        if (how.withoutHome) {
            ::unsetenv("HOME");
            ::unsetenv("XDG_CONFIG_HOME");
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(126);
        }
        ::execl(how.program.c_str(), how.program.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::sigprocmask(SIG_SETMASK, &before, nullptr);
    ::close(err[1]);
    if (child < 0) return end;
    if (how.askToEnd) ::kill(child, how.endSignal);
    if (how.whileRunning) how.whileRunning(child);

    // Standard error until the program closes it, within the time limit.
    const auto deadline = start + std::chrono::seconds(limitSeconds);
    pollfd out{err[0], POLLIN, 0};
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || ::poll(&out, 1, static_cast<int>(left.count())) <= 0) {
            ::kill(child, SIGKILL);
            break;
        }
        char buf[4096];
        const ssize_t n = ::read(err[0], buf, sizeof buf);
        if (n <= 0) break;
        end.errors.append(buf, static_cast<std::size_t>(n));
    }
    ::close(err[0]);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    end.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    end.peakMegabytes = usage.ru_maxrss / 1024;
    end.exited = WIFEXITED(status);
    end.status = end.exited ? WEXITSTATUS(status) : WTERMSIG(status);
    return end;
}

}  // namespace vantrel::testing
