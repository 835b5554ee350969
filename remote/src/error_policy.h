// The three ways a handler treats errors. "Trap to the end" wraps a whole
// handler and "resume next" one step: both swallow the error silently. A
// handler with no trap goes through the top level (Form1::atTopLevel),
// which reports the error. Nothing ever escapes into Qt's event loop.
#pragma once

#include <exception>
#include <string>

namespace vantrel {

// Runs one step; a failing step is skipped and the caller goes on.
template <typename Step>
void resumeNext(Step&& step) noexcept {
    try {
        step();
    } catch (const std::exception&) {
    }
}

// Runs a whole handler; at the first error it returns silently. Returns
// whether the handler ran to its end.
template <typename Handler>
bool trapToEnd(Handler&& handler) noexcept {
    try {
        handler();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

struct ErrorReport {
    int number;
    std::string description;
};

// The number and description of the exception being handled.
ErrorReport describeCurrentError();

}  // namespace vantrel
