// The remote's picture keys and window-control labels as screen readers
// need them: buttons with a press action, not pictures and text.
#pragma once

namespace vantrel {

// Once, with the application: every Clickable made a key is presented so.
void installAccessibility();

}  // namespace vantrel
