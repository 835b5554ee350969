// The road a press takes to the lamps: the transmitter on a COM port of
// this machine, or a kestrix-bridge that has it.
#pragma once

#include "controller_settings.h"

#include <QString>

#include <cstdint>

namespace vantrel {

class TransmitterRoad {
public:
    virtual ~TransmitterRoad() = default;
    // Sends `command` to the house and unit of the record, as the user left
    // them there.
    virtual void press(ControllerSettings& record, std::int16_t command) = 0;
    // What the user reads of the road ("COM1", "through the bridge on
    // hub.local: online").
    virtual QString summary() const = 0;
};

}  // namespace vantrel
