// The command line of kestrix-send, parsed whole before anything is sent.
#pragma once

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

struct command {
    std::string house;       // "A" to "P"
    std::string unit;        // "1" to "16", or empty for DIM and BRIGHT
    std::int16_t code = 0;   // 2 ON, 3 OFF, 4 DIM, 5 BRIGHT
    std::int16_t percent = 0;

    // "house A unit 3 ON", "house B DIM 50%"
    std::string describe() const;
    bool operator==(const command&) const = default;
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
    std::vector<command> commands;
};

options parse(const std::vector<std::string>& args);

extern const char* const help_text;

}  // namespace kestrix::cli
