// Errors of the remote itself: numbers and descriptions, raised as the
// transmitter's own exception type. Which handler traps them, and how, is each
// handler's own choice (see error_policy.h).
#pragma once

#include <kestrix/controlcm.h>

namespace vantrel {

enum ErrorNumber : int {
    InvalidCall = 5,
    Overflow = 6,
    TypeMismatch = 13,
    FileNotFound = 53,
    InvalidPropertyValue = 380,
    InvalidPicture = 481,
    PathFileAccess = 75,
};

// One exception type for the whole program: the transmitter's.
using AppError = kestrix::error;

[[noreturn]] inline void throwError(int number) {
    switch (number) {
    case Overflow: throw AppError(number, "Overflow");
    case TypeMismatch: throw AppError(number, "Type mismatch");
    case FileNotFound: throw AppError(number, "File not found");
    case InvalidPropertyValue: throw AppError(number, "Invalid property value");
    case InvalidPicture: throw AppError(number, "Invalid picture");
    default: throw AppError(number, "Invalid procedure call or argument");
    }
}

}  // namespace vantrel
