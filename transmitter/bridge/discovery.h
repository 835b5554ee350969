// Home Assistant's device-based discovery for a configuration: one
// document for the bridge itself and one for each configured unit, linked
// to the bridge by via_device; and the bookkeeping that lets Home
// Assistant forget a unit taken out of the configuration.
#pragma once

#include "config.h"
#include "topics.h"

#include <filesystem>
#include <string>
#include <vector>

namespace kestrix::bridge {

struct discovery_document {
    std::string topic;    // "<prefix>/device/<id>/config"
    std::string payload;  // JSON
};

// Nothing when the configuration has no discovery prefix.
std::vector<discovery_document> discovery_documents(const config& c, const topics& names);

// The discovery topics published before, kept in a file of the state
// directory: a unit gone from the configuration gets an empty retained
// config, and Home Assistant forgets it.
class discovery_book {
public:
    // The state directory: $STATE_DIRECTORY (systemd's StateDirectory=),
    // else $XDG_STATE_HOME/kestrix-bridge, else ~/.local/state/kestrix-bridge.
    static std::filesystem::path folder();
    explicit discovery_book(const mqtt_config& m);
    // Remembers what is published now; returns the topics to clear.
    std::vector<std::string> publishing(const std::vector<discovery_document>& now);

private:
    std::filesystem::path file_;  // empty: nothing is remembered
};

}  // namespace kestrix::bridge
