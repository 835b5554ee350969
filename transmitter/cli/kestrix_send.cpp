// kestrix-send: switch X10 modules from scripts and timers. See --help.
#include "calibration.h"
#include "command_line.h"
#include "line_check.h"
#include "port_report.h"
#include "send_program.h"

#include <iostream>

int main(int argc, char** argv) {
    using namespace kestrix;
    cli::options options;
    try {
        options = cli::parse(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const cli::usage_error& e) {
        std::cerr << "kestrix-send: " << e.what() << "\nTry 'kestrix-send --help'.\n";
        return 2;
    }
    if (options.help) {
        std::cout << cli::help_text;
        return 0;
    }
    if (options.list) {
        const auto found = ports::list(ports::machine::this_one());
        options.json ? cli::print_ports_json(std::cout, found) : cli::print_ports(std::cout, found);
        return 0;
    }
    if (const std::string refused = cli::console_refusal(options, ports::machine::this_one()); !refused.empty()) {
        std::cerr << "kestrix-send: " << refused << "\n";
        return 2;
    }
    if (options.check) return cli::check_port(options, std::cout, std::cerr);
    if (options.calibrate) return cli::calibrate(options, std::cin, std::cout, std::cerr);
    return cli::send(options, std::cout, std::cerr);
}
