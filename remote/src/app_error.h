// Errors of the remote itself, in the same shape as the transmitter's: a
// number and a description. Which handler traps them, and how, is each
// handler's own choice (see error_policy.h).
#pragma once

#include <stdexcept>
#include <string>

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

class AppError : public std::runtime_error {
public:
    AppError(int number, const std::string& description) : std::runtime_error(description), number_(number) {}
    int number() const noexcept { return number_; }

private:
    int number_;
};

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
