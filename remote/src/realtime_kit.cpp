#include "realtime_kit.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QLoggingCategory>

#include <sys/resource.h>

#include <algorithm>

namespace vantrel {
namespace {

Q_LOGGING_CATEGORY(lcRealtime, "vantrel.realtime", QtInfoMsg)  // debug lines when asked for

}  // namespace

// A double frame takes 84 ms and the closing wait after it sleeps.
bool limitRealtimeCpu() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_RTTIME, &limit) != 0) return false;
    constexpr rlim_t most = 200'000;  // microseconds
    limit.rlim_max = std::min<rlim_t>(limit.rlim_max, most);
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_cur, limit.rlim_max);
    return ::setrlimit(RLIMIT_RTTIME, &limit) == 0;
}

namespace {

bool askRealtimeKit(std::int64_t thread, int priority) {
    if (!limitRealtimeCpu()) return false;
    QDBusInterface kit(QStringLiteral("org.freedesktop.RealtimeKit1"), QStringLiteral("/org/freedesktop/RealtimeKit1"),
                       QStringLiteral("org.freedesktop.RealtimeKit1"), QDBusConnection::systemBus());
    if (!kit.isValid()) return false;
    kit.setTimeout(1000);  // the window waits while we ask: not for long
    const QDBusReply<void> reply = kit.call(QStringLiteral("MakeThreadRealtime"), static_cast<qulonglong>(thread),
                                            static_cast<uint>(priority));
    return reply.isValid();
}

}  // namespace

void useRealtimeKit(kestrix::controlcm& control) {
    control.realtime_hooks(askRealtimeKit, [](const std::string& why) {
        qCDebug(lcRealtime).noquote() << QString::fromStdString(why);
    });
}

}  // namespace vantrel
