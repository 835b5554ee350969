#include "support/log_capture.h"

namespace vantrel::testing {
namespace {

// A message handler is a plain function: what it collects lives here.
const char* watched = nullptr;
QStringList seen;

void collect(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && watched && context.category && qstrcmp(context.category, watched) == 0) seen << text;
}

}  // namespace

LogCapture::LogCapture(const char* category) {
    watched = category;
    seen.clear();
    previous_ = qInstallMessageHandler(collect);
}

LogCapture::~LogCapture() {
    qInstallMessageHandler(previous_);
    watched = nullptr;
}

const QStringList& LogCapture::lines() const { return seen; }

}  // namespace vantrel::testing
