#pragma once

namespace vantrel {

// Registers faces that draw the design's fonts ("MS Sans Serif", "MS Serif").
void installFontSubstitutes();

// Sets HOME from the user's password entry when it is unset or empty.
// Call before the QApplication, which may look for its settings.
void useHomeOfPasswordEntry();

// Creates the settings record and the main window, and runs the program.
// Returns the exit status; a QApplication must exist.
int runApplication();

}  // namespace vantrel
