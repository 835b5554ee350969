#include "error_policy.h"

#include "app_error.h"

#include <kestrix/controlcm.h>

namespace vantrel {

ErrorReport describeCurrentError() {
    try {
        throw;
    } catch (const kestrix::error& e) {
        return {e.number(), e.what()};
    } catch (const AppError& e) {
        return {e.number(), e.what()};
    } catch (const std::exception& e) {
        return {InvalidCall, e.what()};
    } catch (...) {
        return {InvalidCall, "Unknown error"};
    }
}

}  // namespace vantrel
