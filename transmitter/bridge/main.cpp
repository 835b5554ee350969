// kestrix-bridge: the X10 Firecracker for the whole home, over MQTT and a
// mochad-compatible text port. See kestrix-bridge(8).
#include "arguments.h"
#include "config.h"
#include "log.h"
#include "service.h"

#include <iostream>

int main(int argc, char** argv) {
    using namespace kestrix::bridge;
    const arguments s = parse_arguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!s.error.empty()) {
        std::cerr << "kestrix-bridge: " << s.error << "\nUsage: kestrix-bridge [--config FILE] [--check-config] [-v]\n";
        return 2;
    }
    if (s.help) {
        std::cout << help_text;
        return 0;
    }
    set_verbose(s.verbose);
    config c;
    try {
        c = load_config(s.config_file);
    } catch (const config_error& e) {
        log(level::error, e.what());
        return 2;
    }
    if (s.check_only) return check_config(std::cout, c);
    try {
        service bridge(std::move(c));
        return bridge.run();
    } catch (const std::exception& e) {
        log(level::error, e.what());
        return 1;
    }
}
