// Home Assistant's device-based discovery for a configuration: one
// document for the bridge itself and one for each configured unit, linked
// to the bridge by via_device. JSON only: publishing is the caller's.
#pragma once

#include "config.h"

#include <string>
#include <vector>

namespace kestrix::bridge {

struct discovery_document {
    std::string topic;    // "<prefix>/device/<id>/config"
    std::string payload;  // JSON
};

// Nothing when the configuration has no discovery prefix.
std::vector<discovery_document> discovery_documents(const config& c);

// The topic of a unit's state, "kestrix/a/1/state".
std::string state_topic(const config& c, const address& a);

}  // namespace kestrix::bridge
