#include "press_notices.h"

#include <serial_ports.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QLoggingCategory>

namespace vantrel {

Q_LOGGING_CATEGORY(lcTransmitter, "vantrel.transmitter")

void DesktopNotifier::notify(const QString& summary, const QString& body) {
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                                       QStringLiteral("/org/freedesktop/Notifications"),
                                                       QStringLiteral("org.freedesktop.Notifications"),
                                                       QStringLiteral("Notify"));
    call << QStringLiteral("Vantrel") << 0u << QStringLiteral("vantrel") << summary << body << QStringList()
         << QVariantMap() << -1;
    // Never waits: the window must not hang on a desktop without the service.
    QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
}

PressNotices::PressNotices()
    : notifier(std::make_unique<DesktopNotifier>()), isConsole([](std::int16_t port) {
          return kestrix::ports::is_console(kestrix::ports::machine::this_one(), kestrix::ports::device_for_com(port));
      }) {}

void PressNotices::failed(std::int16_t port, int number, const QString& why) {
    const QString cause = QStringLiteral("%1 %2").arg(port).arg(number);
    if (told_.contains(cause)) return;
    told_.insert(cause);
    notifier->notify(QStringLiteral("The lamp was not switched"),
                     QStringLiteral("COM%1: error %2: %3").arg(port).arg(number).arg(why));
}

void PressNotices::failed(const QString& road, const QString& why) {
    if (told_.contains(road + why)) return;
    told_.insert(road + why);
    notifier->notify(QStringLiteral("The lamp was not switched"), road + QStringLiteral(": ") + why);
}

void PressNotices::opened(std::int16_t port) {
    if (warned_.contains(port) || !isConsole(port)) return;
    warned_.insert(port);
    const std::string named = "COM" + std::to_string(port) + " (" + kestrix::ports::device_for_com(port) + ")";
    qCWarning(lcTransmitter).noquote() << QString::fromStdString(
        kestrix::ports::console_warning(named) +
        "; choose the transmitter's port in the settings window ('kestrix-send --list' shows which is which)");
}

}  // namespace vantrel
