// kestrix-bridge's configuration: a TOML file read into a struct nested by
// section as the file is, with every default filled in. Every error names
// the file, the line and column, and what was expected there; unknown keys
// are errors, so that a typo cannot pass silently.
#pragma once

#include "command.h"
#include "command_queue.h"
#include "levels.h"
#include "mqtt_client.h"

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

struct transmitter_config {
    std::int16_t port = 0;  // COM number, used when no device is named
    std::string device;     // any serial device, e.g. a /dev/serial/by-id/ name
    int busy_wait = 10;     // seconds
    // What the bridge opens: the device, or the one of the COM number.
    std::string device_path() const;
    // "COM5 (/dev/ttyUSB0)" or the device.
    std::string name() const;
    bool operator==(const transmitter_config&) const = default;
};

// What the MQTT client takes (the last will included), and the topics.
struct mqtt_config : mqtt::options {
    std::string password_file;  // as found; the password itself is in mqtt::options, never logged
    std::string base_topic = "kestrix";
    std::string discovery_prefix = "homeassistant";  // empty: no discovery
    bool operator==(const mqtt_config&) const = default;
};

struct mochad_config {
    std::string listen;  // as written: "127.0.0.1:1099"; empty: off
    std::string host;    // "127.0.0.1", "::1"; loopback when only a port is named
    int port = 0;        // 0: off
    std::string at;      // where `listen` is written, "bridge.toml:9:10", for what is said of it
    // The same text port, wherever the line moved to.
    bool operator==(const mochad_config& o) const { return listen == o.listen && host == o.host && port == o.port; }
};

struct unit_config {
    address at;
    std::string name;      // default: the address, "A1"
    bool dimmable = true;  // kind "light"; "switch" is not
    int repeat = 0;        // extra sends of each ON and OFF, for a module that hears badly
    levels::profile module = {};  // a light's steps, and what ON from off gives
    bool operator==(const unit_config&) const = default;
};

struct config {
    std::string file;
    transmitter_config transmitter;
    mqtt_config mqtt;
    mochad_config mochad;
    std::vector<unit_config> units;
};

// Reads and checks `file`; throws config_error.
config load_config(const std::string& file);

// This machine's name, as the default client id and the status say it
// ("bridge" when it has none).
std::string host_name();

}  // namespace kestrix::bridge
