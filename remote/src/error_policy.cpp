#include "error_policy.h"

#include "app_error.h"

namespace vantrel {

ErrorReport describeCurrentError() {
    try {
        throw;
    } catch (const AppError& e) {  // the transmitter's errors and ours
        return {e.number(), e.what()};
    } catch (const std::exception& e) {
        return {InvalidCall, e.what()};
    } catch (...) {
        return {InvalidCall, "Unknown error"};
    }
}

}  // namespace vantrel
