// kestrix-send's sending: the parsed commands through a control on a real
// port, or on a simulated transmitter for a dry run.
#pragma once

#include "command_line.h"
#include "kestrix/controlcm.h"
#include "receiver.h"
#include "serial_ports.h"

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>

namespace kestrix::cli {

// What the sending runs on. By default the real counter, and the Linux
// layer for the options' port or device (the simulated transmitter, on
// the control's own counter, for a dry run).
struct platform {
    std::function<std::unique_ptr<tick_counter>()> counter;
    std::function<std::unique_ptr<serial_line>(const options&, tick_counter& clock, sim::receiver& rx)> line;
    // Waits before the port is tried again (--wait).
    std::function<void(std::chrono::steady_clock::duration)> pause;
    platform();
};

// Why `o` must not go to the default port of machine `m`: COM1 there is
// the system console, and a send or check without --port or --device is
// no decision to clock it. Empty when it may go ahead.
std::string console_refusal(const options& o, const ports::machine& m);

// A control on the options' port, opened and waited for as --wait says;
// nullptr once `err` says why it could not be.
std::unique_ptr<controlcm> opened_control(const options& o, std::unique_ptr<serial_line> line,
                                          std::unique_ptr<tick_counter> counter, std::ostream& out, std::ostream& err,
                                          const platform& on);

// Sends every command of `o`, reporting on `out` and `err`. Returns the
// exit status: 0 done, 1 the port or the transmitter failed, 3 a dry run
// found a timing fault.
int send(const options& o, std::ostream& out, std::ostream& err, const platform& on = {});

}  // namespace kestrix::cli
