// kestrix-bridge's configuration: a TOML file read into a plain struct
// with every default filled in. Every error names the file, the line and
// column, and what was expected there; unknown keys are errors, so that a
// typo cannot pass silently.
#pragma once

#include "command_words.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrix::bridge {

// "bridge.toml:7:8: [mqtt] port: expected a whole number from 1 to 65535"
class config_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct unit_config {
    address at;
    std::string name;      // default: the address, "A1"
    bool dimmable = true;  // kind "light"; "switch" is not
};

struct config {
    std::string file;

    // [transmitter]
    std::int16_t port = 1;  // COM number, used when no device is named
    std::string device;     // any serial device, e.g. a /dev/serial/by-id/ name
    int busy_wait = 10;     // seconds

    // [mqtt]
    std::string host = "localhost";
    int mqtt_port = 1883;   // 8883 with tls when no port is given
    std::string username;
    std::string password_file;
    std::string password;   // read from password_file; never logged
    bool tls = false;
    std::string client_id;  // default: "kestrix-" + the host name
    std::string base_topic = "kestrix";
    std::string discovery_prefix = "homeassistant";

    // [mochad]
    std::string listen;       // as written: "127.0.0.1:1099"; empty: off
    std::string listen_host;  // "127.0.0.1", "::1"; loopback when only a port is named
    int listen_port = 0;      // 0: off

    std::vector<unit_config> units;
};

// Reads and checks `file`; throws config_error.
config load_config(const std::string& file);

}  // namespace kestrix::bridge
