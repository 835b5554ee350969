// kestrix-bridge's command line, and what --check-config prints.
#pragma once

#include "config.h"

#include <ostream>
#include <string>
#include <vector>

namespace kestrix::bridge {

struct arguments {
    std::string config_file = "/etc/kestrix/bridge.toml";
    bool check_only = false;
    bool verbose = false;
    bool help = false;
    std::string error;  // a bad command line
};

arguments parse_arguments(const std::vector<std::string>& args);

extern const char* const help_text;

// --check-config beyond what loading checked: what this machine can do now.
// Prints what the bridge would do with `c` (the port, the broker, the topics,
// every unit) and warns of what will not work as it stands; returns the exit
// status: 0, or 2 when `listen` is no address this machine can listen on.
int check_config(std::ostream& out, const config& c);

}  // namespace kestrix::bridge
