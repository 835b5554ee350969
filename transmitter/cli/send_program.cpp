#include "send_program.h"

#include "dry_run_report.h"
#include "kestrix/linux_serial.h"
#include "port_wait.h"
#include "simulated_line.h"
#include "vcd_line.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include <chrono>
#include <thread>

namespace kestrix::cli {

platform::platform()
    : counter(make_steady_counter),
      line([](const options& o, tick_counter& clock, sim::receiver& rx) -> std::unique_ptr<serial_line> {
          if (o.dry_run) return std::make_unique<sim::simulated_line>(clock, rx);
          if (!o.device.empty()) return make_linux_serial_line(o.device);
          return make_linux_serial_line();
      }),
      pause([](std::chrono::steady_clock::duration d) { std::this_thread::sleep_for(d); }) {}

std::string console_refusal(const options& o, const ports::machine& m) {
    if (o.port || !o.device.empty() || o.dry_run) return {};
    const std::string device = ports::device_for_com(1);
    if (!ports::is_console(m, device)) return {};
    return ports::console_warning("COM1 (" + device + ")") + ": " +
           (o.check ? "it was not checked" : "nothing was sent") +
           ". Name the transmitter's port with --port or --device; 'kestrix-send --list' shows which port is which.";
}

std::unique_ptr<controlcm> opened_control(const options& o, std::unique_ptr<serial_line> line,
                                          std::unique_ptr<tick_counter> counter, std::ostream& out, std::ostream& err,
                                          const platform& on) {
    auto control = std::make_unique<controlcm>(std::move(line), std::move(counter));
    if (o.verbose) control->realtime_hooks({}, [&out](const std::string& why) { out << why << std::endl; });
    control->comport(o.port.value_or(1));
    // A port another program holds is tried again until --wait runs out.
    x10::port_wait wait;
    wait.deadline = x10::steady::now() + std::chrono::seconds(o.wait);
    wait.pause = [&](x10::steady::duration d) { return on.pause(d), true; };
    wait.held = [&](const std::string& why) {
        if (o.verbose) out << "waiting up to " << o.wait << " s: " << why << std::endl;
    };
    if (const std::int16_t result = x10::open_port(*control, wait); result != 0) {
        err << "kestrix-send: error " << result << ": " << control->last_error() << "\n";
        return nullptr;
    }
    return control;
}

int send(const options& o, std::ostream& out, std::ostream& err, const platform& on) {
    sim::receiver receiver;
    std::unique_ptr<tick_counter> counter = on.counter();
    tick_counter& clock = *counter;  // owned by the control from here on
    // The dump's file is opened before anything is sent, written after.
    std::ofstream dump;
    std::vector<line_change> changes;
    if (!o.vcd.empty()) {
        dump.open(o.vcd, std::ios::trunc);
        if (!dump) {
            err << "kestrix-send: cannot write " << o.vcd << ": " << std::strerror(errno) << "\n";
            return 1;
        }
        changes.reserve(200 * o.commands.size() * static_cast<std::size_t>(o.repeat));
    }
    std::string comment;
    for (const x10::command& c : o.commands) comment += (comment.empty() ? "" : ", ") + c.describe();
    const auto finish = [&](int status) {
        if (dump.is_open()) {
            write_vcd(dump, changes, comment);
            dump.close();
            if (!dump) err << "kestrix-send: cannot write " << o.vcd << "\n";
        }
        return status;
    };
    try {
        std::unique_ptr<serial_line> line = on.line(o, clock, receiver);
        if (dump.is_open()) line = std::make_unique<vcd_line>(std::move(line), clock, changes);
        const std::unique_ptr<controlcm> opened = opened_control(o, std::move(line), std::move(counter), out, err, on);
        if (!opened) return finish(1);
        controlcm& control = *opened;
        for (int round = 0; round < o.repeat; ++round) {
            for (const x10::command& c : o.commands) {
                if (o.verbose) out << "sending " << c.describe() << std::endl;
                x10::send(control, c);
            }
        }
        control.ResetCom();
        if (o.dry_run) receiver.finish(clock.now());
    } catch (const error& e) {
        err << "kestrix-send: error " << e.number() << ": " << e.what() << "\n";
        return finish(1);
    }
    if (!o.dry_run) return finish(0);
    return finish(print_dry_run(out, receiver) ? 0 : 3);
}

}  // namespace kestrix::cli
