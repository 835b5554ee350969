// Finding libkestrix at run time and creating the transmitter control from
// it by class name.
#pragma once

#include "form1.h"

#include <QString>

#include <stdexcept>

namespace vantrel {

// Start-up cannot go on: the message names what is missing.
class StartupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A factory that loads the library (beside the program, or in the lib
// folder of its installation) and creates "Kestrix.controlcm". It throws
// StartupError when the library or the class is missing.
Form1::TransmitterFactory transmitterFromLibrary(const QString& programDir);

}  // namespace vantrel
