#include "discovery.h"

#include <nlohmann/json.hpp>

#include <cctype>

namespace kestrix::bridge {
namespace {

using nlohmann::json;

// Discovery ids and entity ids take letters, digits and underscores.
std::string id_text(const std::string& s) {
    std::string out;
    for (unsigned char c : s) out += std::isalnum(c) ? static_cast<char>(std::tolower(c)) : '_';
    return out;
}

std::string unit_topic(const config& c, const address& a) {
    return c.base_topic + "/" + static_cast<char>(std::tolower(a.house)) + "/" + std::to_string(a.unit);
}

std::string availability_topic(const config& c) { return c.base_topic + "/bridge/availability"; }

json origin() { return {{"name", "kestrix-bridge"}, {"sw", KESTRIX_VERSION}, {"url", "https://www.example.org"}}; }

json document(const config& c, json device, json components) {
    return {{"dev", std::move(device)},
            {"o", origin()},
            {"cmps", std::move(components)},
            {"availability", json::array({{{"topic", availability_topic(c)}}})},
            {"qos", 1}};
}

std::string text(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

std::string topic_of(const config& c, const std::string& id) { return c.discovery_prefix + "/device/" + id + "/config"; }

}  // namespace

std::string state_topic(const config& c, const address& a) { return unit_topic(c, a) + "/state"; }

std::vector<discovery_document> discovery_documents(const config& c) {
    std::vector<discovery_document> out;
    if (c.discovery_prefix.empty()) return out;
    const std::string client = id_text(c.client_id);
    const std::string bridge_id = "kestrix_" + client;
    const std::string status = c.base_topic + "/bridge/status";
    json bridge_device = {{"ids", json::array({bridge_id})},
                          {"name", "Kestrix bridge " + c.client_id},
                          {"mf", "Vantrel project"},
                          {"mdl", "kestrix-bridge (X10 Firecracker)"},
                          {"sw", KESTRIX_VERSION}};
    json transmitter = {{"p", "sensor"},
                        {"name", "Transmitter"},
                        {"unique_id", bridge_id + "_transmitter"},
                        {"default_entity_id", "sensor." + client + "_transmitter"},
                        {"state_topic", status},
                        {"value_template", "{{ value_json.state }}"},
                        {"json_attributes_topic", status},
                        {"entity_category", "diagnostic"}};
    out.push_back({topic_of(c, bridge_id), text(document(c, bridge_device, {{"transmitter", transmitter}}))});

    for (const unit_config& u : c.units) {
        const std::string unit = id_text(u.at.text());
        const std::string id = bridge_id + "_" + unit;
        const std::string topic = unit_topic(c, u.at);
        const char* platform = u.dimmable ? "light" : "switch";
        json device = {{"ids", json::array({id})},
                       {"name", u.name},
                       {"mf", "X10"},
                       {"mdl", u.dimmable ? "Lamp module " + u.at.text() : "Appliance module " + u.at.text()},
                       {"via_device", bridge_id}};
        // The state is assumed (X10 sends nothing back): optimistic, so
        // Home Assistant offers separate on and off buttons.
        json components = {{unit, {{"p", platform},
                                   {"name", nullptr},
                                   {"unique_id", id},
                                   {"default_entity_id", std::string(platform) + "." + client + "_" + unit},
                                   {"command_topic", topic + "/set"},
                                   {"state_topic", topic + "/state"},
                                   {"payload_on", "ON"},
                                   {"payload_off", "OFF"},
                                   {"optimistic", true}}}};
        if (u.dimmable) {
            for (auto [verb, name] : {std::pair{"dim", "Dim"}, std::pair{"bright", "Brighten"}})
                components[unit + "_" + verb] = {{"p", "button"},
                                                 {"name", name},
                                                 {"unique_id", id + "_" + verb},
                                                 {"default_entity_id", "button." + client + "_" + unit + "_" + verb},
                                                 {"command_topic", topic + "/" + verb},
                                                 {"payload_press", ""}};
        }
        out.push_back({topic_of(c, id), text(document(c, device, components))});
    }
    return out;
}

}  // namespace kestrix::bridge
