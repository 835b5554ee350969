#pragma once

namespace vantrel {

// Registers faces that draw the design's fonts ("MS Sans Serif", "MS Serif").
void installFontSubstitutes();

// Creates the settings record and the main window, and runs the program.
// Returns the exit status; a QApplication must exist.
int runApplication();

}  // namespace vantrel
