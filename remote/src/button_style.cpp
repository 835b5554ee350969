#include "button_style.h"

#include "form1.h"
#include "numeric_text.h"

#include <utility>

namespace vantrel {
namespace {

std::int16_t wholeTwips(float twips) {
    const auto value = kestrix::text::to_int16(twips);
    if (!value) throwError(Overflow);
    return *value;
}

// Swaps the two controls' places; returns the image's and the button's Left
// as they were.
std::pair<std::int16_t, std::int16_t> exchange(ImageBox* image, Button* button) {
    const std::int16_t imageLeft = wholeTwips(image->Left()), imageTop = wholeTwips(image->Top());
    const std::int16_t buttonLeft = wholeTwips(button->Left()), buttonTop = wholeTwips(button->Top());
    image->setLeft(buttonLeft);
    image->setTop(buttonTop);
    button->setLeft(imageLeft);
    button->setTop(imageTop);
    return {imageLeft, buttonLeft};
}

}  // namespace

void ToggleButtonStyle(Form1& form, ControllerSettings& settings) {
    for (int u = 1; u <= 16; ++u) exchange(form.Image1[u], form.cmdON[u]);
    std::pair<std::int16_t, std::int16_t> lastLefts{0, 0};
    for (int u = 1; u <= 16; ++u) lastLefts = exchange(form.Image2[u], form.cmdOFF[u]);

    const auto [imageLeft, buttonLeft] = lastLefts;
    if (imageLeft > buttonLeft) {  // the images came back into the rows
        settings.TypeOfButtons = false;
        settings.SkinnedButtons = true;
    } else if (imageLeft < buttonLeft) {
        settings.TypeOfButtons = true;
        settings.SkinnedButtons = false;
    }
}

}  // namespace vantrel
