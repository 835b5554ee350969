#include "single_instance.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QWidget>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace vantrel {
namespace {

// Debug lines only when asked for (QT_LOGGING_RULES="vantrel.instance.debug=true").
Q_LOGGING_CATEGORY(lcInstance, "vantrel.instance", QtInfoMsg)

// The display the window would go to: the same user may run a remote on each.
QString displayName() {
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY", qEnvironmentVariable("DISPLAY"));
    QString name = QGuiApplication::platformName() + QLatin1Char('-') + display;
    for (QChar& c : name)
        if (!c.isLetterOrNumber() && c != QLatin1Char('-')) c = QLatin1Char('_');
    return name;
}

sockaddr_un addressOf(const QString& path) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    std::memcpy(a.sun_path, bytes.constData(), std::min<std::size_t>(bytes.size(), sizeof a.sun_path - 1));
    return a;
}

}  // namespace

SingleInstance::SingleInstance() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    const QString base = folder + QStringLiteral("/vantrel-") + displayName();
    lockPath_ = base + QStringLiteral(".lock");
    socketPath_ = base + QStringLiteral(".socket");
    const int fd = ::open(QFile::encodeName(lockPath_).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;  // no runtime folder to keep a lock in: nothing to go by, so this one runs
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        held_ = true;
        return;
    }
    lock_ = fd;
    // The lock is ours: a socket file left there is a killed copy's.
    ::unlink(QFile::encodeName(socketPath_).constData());
    const sockaddr_un a = addressOf(socketPath_);
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 4) != 0)
        return;
    notifier_ = new QSocketNotifier(listener_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SingleInstance::answer);
    qCDebug(lcInstance).noquote() << QStringLiteral("listening for a second start on %1").arg(socketPath_);
}

SingleInstance::~SingleInstance() {
    if (listener_ >= 0) {
        ::close(listener_);
        ::unlink(QFile::encodeName(socketPath_).constData());
    }
    if (lock_ >= 0) ::close(lock_);  // the lock file stays: removing it would race with a start
}

// Whoever connects asks for the window.
void SingleInstance::answer() {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    wanted_ = true;
    bringToFront();
    [[maybe_unused]] ssize_t n = ::send(fd, "raised\n", 7, MSG_NOSIGNAL);
    ::close(fd);
}

void SingleInstance::raises(QWidget* window) {
    window_ = window;
    bringToFront();
}

void SingleInstance::bringToFront() {
    if (!wanted_ || !window_) return;
    wanted_ = false;
    window_->showNormal();
    window_->raise();
    window_->activateWindow();
    qCDebug(lcInstance) << "brought to the front for a second start";
}

bool SingleInstance::wakeFirst(QString& why) const {
    const sockaddr_un a = addressOf(socketPath_);
    // The running one may be starting yet: its socket comes a moment after its lock.
    for (int attempt = 0; attempt < 60; ++attempt) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
            pollfd p{fd, POLLIN, 0};
            char reply[16] = {};
            const bool raised = ::poll(&p, 1, 3000) > 0 && ::recv(fd, reply, sizeof reply - 1, 0) > 0;
            ::close(fd);
            if (raised) return true;
            break;
        }
        if (fd >= 0) ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    why = QStringLiteral("a remote holds %1 but does not answer on %2").arg(lockPath_, socketPath_);
    return false;
}

}  // namespace vantrel
