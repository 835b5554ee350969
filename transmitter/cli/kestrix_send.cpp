// kestrix-send: switch X10 modules from scripts and timers. See --help.
#include "command_line.h"
#include "dry_run_report.h"
#include "kestrix/controlcm.h"
#include "kestrix/linux_serial.h"
#include "simulated_line.h"

#include <cstdio>
#include <iostream>

int main(int argc, char** argv) {
    using namespace kestrix;
    cli::options options;
    try {
        options = cli::parse(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const cli::usage_error& e) {
        std::fprintf(stderr, "kestrix-send: %s\nTry 'kestrix-send --help'.\n", e.what());
        return 2;
    }
    if (options.help) {
        std::fputs(cli::help_text, stdout);
        return 0;
    }

    sim::receiver receiver;
    std::unique_ptr<tick_counter> counter = make_steady_counter();
    tick_counter& clock = *counter;  // owned by the control from here on
    std::unique_ptr<serial_line> line;
    if (options.dry_run) line = std::make_unique<sim::simulated_line>(clock, receiver);
    else if (!options.device.empty()) line = make_linux_serial_line(options.device);
    else line = make_linux_serial_line();

    try {
        controlcm control(std::move(line), std::move(counter));
        control.comport(options.port.value_or(1));
        if (const std::int16_t result = control.Init(); result != 0) {
            std::fprintf(stderr, "kestrix-send: error %d: %s\n", result, control.last_error().c_str());
            return 1;
        }
        for (int round = 0; round < options.repeat; ++round) {
            for (const cli::command& c : options.commands) {
                if (options.verbose) std::printf("sending %s\n", c.describe().c_str());
                std::fflush(stdout);
                std::string house = c.house;
                control.Exec(house, c.unit, c.code, c.percent);
            }
        }
        control.ResetCom();
        if (options.dry_run) receiver.finish(clock.now());
    } catch (const error& e) {
        std::fprintf(stderr, "kestrix-send: error %d: %s\n", e.number(), e.what());
        return 1;
    }
    if (!options.dry_run) return 0;
    return cli::print_dry_run(std::cout, receiver) ? 0 : 3;
}
