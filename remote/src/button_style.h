// The button style: whether the skinned images or the standard buttons
// stand in the main window's unit rows.
#pragma once

namespace vantrel {

class Form1;
struct ControllerSettings;

// Exchanges the places of Image1(u)/cmdON(u) and Image2(u)/cmdOFF(u) for
// every unit, then records in TypeOfButtons and SkinnedButtons which set came
// into the rows. A place that does not fit 16 bits stops it half done.
void ToggleButtonStyle(Form1& form, ControllerSettings& settings);

}  // namespace vantrel
