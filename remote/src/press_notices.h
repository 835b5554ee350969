// What a user learns of a key press besides the lamp. A press that fails is
// silent on screen, and a user who started Vantrel from the menu sees no
// standard error: a desktop notification says what went wrong, once for
// each cause until a press succeeds. A port that is the system console
// gets a warning the first time it is opened.
#pragma once

#include <QLoggingCategory>
#include <QSet>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace vantrel {

// Where a press that failed is said on standard error: "vantrel.transmitter".
Q_DECLARE_LOGGING_CATEGORY(lcTransmitter)

// Shows a notification; the desktop's own (org.freedesktop.Notifications)
// or a test's stand-in.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void notify(const QString& summary, const QString& body) = 0;
};

// The desktop's notification service, over the session bus; nothing at all
// where there is none.
class DesktopNotifier final : public Notifier {
public:
    void notify(const QString& summary, const QString& body) override;
};

class PressNotices {
public:
    PressNotices();
    void failed(std::int16_t port, int number, const QString& why);
    // A press that did not go out on another road ("the bridge on hub.local").
    void failed(const QString& road, const QString& why);
    void succeeded() { told_.clear(); }
    void opened(std::int16_t port);

    std::unique_ptr<Notifier> notifier;
    // Whether COM port N is this machine's system console.
    std::function<bool(std::int16_t)> isConsole;

private:
    QSet<QString> told_;         // causes notified since the last good press
    QSet<std::int16_t> warned_;  // console ports warned about
};

}  // namespace vantrel
