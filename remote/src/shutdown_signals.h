// Ends the program the orderly way, through the main window's close (which
// saves the settings), when the session or the user asks with SIGTERM,
// SIGHUP or SIGINT instead of closing the window. The handlers are in place
// from before the settings are read: a request that comes during start-up
// waits in the event queue and is carried out once the window is up.
#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

namespace vantrel {

class ShutdownSignals : public QObject {
public:
    // Installs the handlers; signals wait until a window is named.
    ShutdownSignals();
    ~ShutdownSignals() override;

    // The window a signal closes.
    void closes(QWidget* window);

private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace vantrel
