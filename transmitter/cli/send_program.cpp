#include "send_program.h"

#include "dry_run_report.h"
#include "kestrix/linux_serial.h"
#include "simulated_line.h"

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
      pause([] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }) {}

int send(const options& o, std::ostream& out, std::ostream& err, const platform& on) {
    sim::receiver receiver;
    std::unique_ptr<tick_counter> counter = on.counter();
    tick_counter& clock = *counter;  // owned by the control from here on
    try {
        controlcm control(on.line(o, clock, receiver), std::move(counter));
        control.comport(o.port.value_or(1));
        // A port another program holds is tried again until --wait runs out.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(o.wait);
        std::int16_t result = control.Init();
        for (bool told = false; result == errc::port_in_use && std::chrono::steady_clock::now() < deadline;
             told = true, result = control.Init()) {
            if (o.verbose && !told) out << "waiting up to " << o.wait << " s: " << control.last_error() << std::endl;
            on.pause();
        }
        if (result != 0) {
            err << "kestrix-send: error " << result << ": " << control.last_error() << "\n";
            return 1;
        }
        for (int round = 0; round < o.repeat; ++round) {
            for (const command& c : o.commands) {
                if (o.verbose) out << "sending " << c.describe() << std::endl;
                std::string house = c.house;
                control.Exec(house, c.unit, c.code, c.percent);
            }
        }
        control.ResetCom();
        if (o.dry_run) receiver.finish(clock.now());
    } catch (const error& e) {
        err << "kestrix-send: error " << e.number() << ": " << e.what() << "\n";
        return 1;
    }
    if (!o.dry_run) return 0;
    return print_dry_run(out, receiver) ? 0 : 3;
}

}  // namespace kestrix::cli
