// The warnings one logging category writes while a capture is alive, for
// tests of what the program leaves on standard error.
#pragma once

#include <QStringList>
#include <QtGlobal>

namespace vantrel::testing {

class LogCapture {
public:
    explicit LogCapture(const char* category);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const QStringList& lines() const;

private:
    QtMessageHandler previous_;
};

}  // namespace vantrel::testing
