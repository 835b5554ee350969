#include "shutdown_signals.h"

#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantrel {
namespace {

int pipeEnds[2] = {-1, -1};
constexpr int Signals[] = {SIGTERM, SIGHUP, SIGINT};

// All a signal handler may safely do: hand the signal to the event loop.
void onSignal(int number) {
    const char byte = static_cast<char>(number);
    [[maybe_unused]] ssize_t written = ::write(pipeEnds[0], &byte, 1);
}

}  // namespace

ShutdownSignals::ShutdownSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipeEnds) != 0) return;
    notifier_ = new QSocketNotifier(pipeEnds[1], QSocketNotifier::Read, this);
    notifier_->setEnabled(false);  // until there is a window to close
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : Signals) ::sigaction(number, &action, nullptr);
    // A launcher may hand over these signals blocked; a log-off must still
    // reach the window.
    sigset_t mask;
    sigemptyset(&mask);
    for (int number : Signals) sigaddset(&mask, number);
    ::pthread_sigmask(SIG_UNBLOCK, &mask, nullptr);
}

void ShutdownSignals::closes(QWidget* window) {
    if (!notifier_) return;
    connect(notifier_, &QSocketNotifier::activated, window, [window] {
        char byte = 0;
        [[maybe_unused]] ssize_t got = ::read(pipeEnds[1], &byte, 1);
        window->close();
    });
    notifier_->setEnabled(true);
}

ShutdownSignals::~ShutdownSignals() {
    for (int number : Signals) std::signal(number, SIG_DFL);
    if (pipeEnds[0] >= 0) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        pipeEnds[0] = pipeEnds[1] = -1;
    }
}

}  // namespace vantrel
