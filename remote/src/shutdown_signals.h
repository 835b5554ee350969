// Ends the program the orderly way, through the main window's close (which
// saves the settings), when the session or the user asks with SIGTERM,
// SIGHUP or SIGINT instead of closing the window.
#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

namespace vantrel {

class ShutdownSignals : public QObject {
public:
    // Installs the handlers; `window` is closed when a signal arrives.
    explicit ShutdownSignals(QWidget* window);
    ~ShutdownSignals() override;

private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace vantrel
