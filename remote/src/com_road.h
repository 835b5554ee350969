// Presses on a COM port of this machine: the port to the transmitter
// control, Init (its result only logged and notified), then Exec with the
// record's own texts, which Exec upper-cases in place once the port is
// open. The port closes when the window's timer fires, 750 ms after the
// last command.
#pragma once

#include "transmitter_road.h"

#include <kestrix/controlcm.h>

#include <memory>

class QTimer;

namespace vantrel {

class PressNotices;

class ComRoad final : public TransmitterRoad {
public:
    ComRoad(std::unique_ptr<kestrix::controlcm>& control, PressNotices& notices, QTimer& closing, const ControllerSettings& record)
        : control_(control), notices_(notices), closing_(closing), record_(record) {}
    void press(ControllerSettings& record, std::int16_t command) override;
    QString summary() const override;

private:
    std::unique_ptr<kestrix::controlcm>& control_;
    PressNotices& notices_;
    QTimer& closing_;
    const ControllerSettings& record_;  // the port in use
};

}  // namespace vantrel
