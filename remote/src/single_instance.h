// One remote per user and display. Two copies would each save their own
// settings at close, the last over the first: a second start brings the
// running remote to the front and ends instead. The running one holds a
// lock in the user's runtime folder (the kernel lets go of a killed copy's
// lock, so a stale one never stops a start) and listens on a socket beside it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QSocketNotifier;
class QWidget;

namespace vantrel {

class SingleInstance : public QObject {
public:
    // Takes the lock for this user and display. Call with a QApplication.
    SingleInstance();
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Whether this is the one remote: no other holds the lock.
    bool first() const { return !held_; }
    // From a second start: asks the running remote to come to the front.
    // False when it does not answer; `why` says so.
    bool wakeFirst(QString& why) const;
    // The window a second start brings to the front (once there is one).
    void raises(QWidget* window);

private:
    void answer();
    void bringToFront();
    QString lockPath_, socketPath_;
    int lock_ = -1;
    bool held_ = false;  // by another remote
    int listener_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QPointer<QWidget> window_;
    bool wanted_ = false;  // asked before the window was there
};

}  // namespace vantrel
