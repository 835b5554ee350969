#pragma once

#include <memory>
#include <optional>

class QApplication;

namespace vantrel {

// Registers faces that draw the design's fonts ("MS Sans Serif", "MS Serif").
void installFontSubstitutes();

// Sets HOME from the user's password entry when it is unset or empty.
// Call before the QApplication, which may look for its settings.
void useHomeOfPasswordEntry();

// --help and --version, which need no window: the exit status when one
// was given (and answered on standard output), else nothing.
std::optional<int> answerCommandLine(int argc, char** argv);

// Constructs the QApplication; where no window system can be reached, says
// so in one line and ends the program with status 1 instead of Qt's abort.
std::unique_ptr<QApplication> openDisplay(int& argc, char** argv);

// Creates the settings record and the main window, and runs the program.
// Returns the exit status; a QApplication must exist.
int runApplication();

}  // namespace vantrel
