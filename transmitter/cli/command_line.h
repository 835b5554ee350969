// The command line of kestrix-send, parsed whole before anything is sent.
#pragma once

#include "command.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrix::cli {

// A bad command line; the message names the offending word.
class usage_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct options {
    std::optional<std::int16_t> port;
    std::string device;
    bool dry_run = false;
    int repeat = 1;
    int wait = 0;        // seconds to wait for a port another program holds
    std::string vcd;     // a file for the line changes, as a Value Change Dump
    bool verbose = false;
    bool help = false;
    bool list = false;   // list the serial ports instead of sending
    bool json = false;   // the list as JSON
    bool check = false;  // check the port instead of sending
    std::optional<x10::address> calibrate;  // count a lamp module's DIM steps with the user
    std::vector<x10::command> commands;
};

options parse(const std::vector<std::string>& args);

extern const char* const help_text;

}  // namespace kestrix::cli
