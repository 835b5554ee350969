#include "discovery.h"

#include "json_text.h"
#include "log.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <set>

namespace kestrix::bridge {
namespace {

using nlohmann::json;

// Discovery ids and entity ids take letters, digits and underscores.
std::string id_text(const std::string& s) {
    std::string out;
    for (unsigned char c : s) out += std::isalnum(c) ? static_cast<char>(std::tolower(c)) : '_';
    return out;
}

json origin() { return {{"name", "kestrix-bridge"}, {"sw", KESTRIX_VERSION}}; }

json document(const topics& names, json device, json components) {
    return {{"dev", std::move(device)},
            {"o", origin()},
            {"cmps", std::move(components)},
            {"availability", json::array({{{"topic", names.availability()}}})},
            {"qos", 1}};
}

}  // namespace

// The ids Home Assistant keeps come from the base topic, one per bridge on
// a broker: renaming the host or the client keeps every entity.
std::vector<discovery_document> discovery_documents(const config& c, const topics& names) {
    std::vector<discovery_document> out;
    if (c.mqtt.discovery_prefix.empty()) return out;
    const std::string base = id_text(c.mqtt.base_topic);
    const std::string bridge_id = "kestrix_" + base;
    const std::string status = names.status();
    json bridge_device = {{"ids", json::array({bridge_id})},
                          {"name", "Kestrix bridge " + c.mqtt.base_topic},
                          {"mf", "Vantrel project"},
                          {"mdl", "kestrix-bridge (X10 Firecracker)"},
                          {"sw", KESTRIX_VERSION}};
    json bridge = {{"transmitter", {{"p", "sensor"},
                                    {"name", "Transmitter"},
                                    {"unique_id", bridge_id + "_transmitter"},
                                    {"default_entity_id", "sensor." + base + "_transmitter"},
                                    {"state_topic", status},
                                    {"value_template", "{{ value_json.state }}"},
                                    {"json_attributes_topic", status},
                                    {"entity_category", "diagnostic"}}},
                  {"sent", {{"p", "sensor"},
                            {"name", "Commands sent"},
                            {"unique_id", bridge_id + "_sent"},
                            {"default_entity_id", "sensor." + base + "_sent"},
                            {"state_topic", status},
                            {"value_template", "{{ value_json.sent }}"},
                            {"state_class", "total_increasing"},
                            {"entity_category", "diagnostic"}}},
                  {"queue", {{"p", "sensor"},
                             {"name", "Queue"},
                             {"unique_id", bridge_id + "_queue"},
                             {"default_entity_id", "sensor." + base + "_queue"},
                             {"state_topic", status},
                             {"value_template", "{{ value_json.queue }}"},
                             {"unit_of_measurement", "commands"},
                             {"entity_category", "diagnostic"}}},
                  {"problem", {{"p", "binary_sensor"},
                               {"name", "Transmitter problem"},
                               {"unique_id", bridge_id + "_problem"},
                               {"default_entity_id", "binary_sensor." + base + "_problem"},
                               {"device_class", "problem"},
                               {"state_topic", status},
                               {"value_template", "{{ 'ON' if value_json.state == 'failed' else 'OFF' }}"},
                               {"entity_category", "diagnostic"}}}};
    std::set<char> houses;
    for (const unit_config& u : c.units) houses.insert(u.at.house);
    for (const char house : houses) {
        const std::string letter(1, static_cast<char>(std::tolower(house)));
        bridge["all_off_" + letter] = {{"p", "button"},
                                       {"name", std::string("All off (house ") + house + ")"},
                                       {"unique_id", bridge_id + "_all_off_" + letter},
                                       {"default_entity_id", "button." + base + "_all_off_" + letter},
                                       {"command_topic", names.of({house, 0}, verb::set)},
                                       {"payload_press", "OFF"}};
        // After a power cut or a wall switch: the room catches up with the dashboard.
        bridge["resend_" + letter] = {{"p", "button"},
                                      {"name", std::string("Send states again (house ") + house + ")"},
                                      {"unique_id", bridge_id + "_resend_" + letter},
                                      {"default_entity_id", "button." + base + "_resend_" + letter},
                                      {"command_topic", names.of({house, 0}, verb::resend)},
                                      {"payload_press", "PRESS"}};
    }
    out.push_back({names.discovery(bridge_id), json_text(document(names, bridge_device, bridge))});

    for (const unit_config& u : c.units) {
        const std::string unit = id_text(u.at.text());
        const std::string id = bridge_id + "_" + unit;
        const char* platform = u.dimmable ? "light" : "switch";
        json device = {{"ids", json::array({id})},
                       {"name", u.name},
                       {"mf", "X10"},
                       {"mdl", u.dimmable ? "Lamp module " + u.at.text() : "Appliance module " + u.at.text()},
                       {"via_device", bridge_id}};
        // The state is assumed (X10 sends nothing back): optimistic, so
        // Home Assistant offers separate on and off buttons.
        json main = {{"p", platform},
                     {"name", nullptr},
                     {"unique_id", id},
                     {"default_entity_id", std::string(platform) + "." + base + "_" + unit},
                     {"command_topic", names.of(u.at, verb::set)},
                     {"state_topic", names.of(u.at, verb::state)},
                     {"payload_on", "ON"},
                     {"payload_off", "OFF"},
                     {"optimistic", true}};
        json components;
        if (u.dimmable) {
            // A brightness slider; turning the lamp on from Home Assistant
            // sends its level alone.
            main.update({{"brightness_command_topic", names.of(u.at, verb::level_set)},
                         {"brightness_state_topic", names.of(u.at, verb::level_state)},
                         {"brightness_scale", 100},
                         {"on_command_type", "brightness"}});
            for (auto [step, word, name] : {std::tuple{verb::dim, "dim", "Dim"}, {verb::bright, "bright", "Brighten"}})
                components[unit + "_" + word] = {{"p", "button"},
                                                 {"name", name},
                                                 {"unique_id", id + "_" + word},
                                                 {"default_entity_id", "button." + base + "_" + unit + "_" + word},
                                                 {"command_topic", names.of(u.at, step)},
                                                 {"payload_press", ""},
                                                 {"enabled_by_default", false}};
        }
        components[unit] = main;
        out.push_back({names.discovery(id), json_text(document(names, device, components))});
    }
    return out;
}

std::filesystem::path discovery_book::folder() {
    namespace fs = std::filesystem;
    if (const char* d = std::getenv("STATE_DIRECTORY"); d && *d) return std::string(d).substr(0, std::string(d).find(':'));
    if (const char* d = std::getenv("XDG_STATE_HOME"); d && *d) return fs::path(d) / "kestrix-bridge";
    if (const char* h = std::getenv("HOME"); h && *h) return fs::path(h) / ".local/state/kestrix-bridge";
    return {};
}

discovery_book::discovery_book(const mqtt_config& m) {
    // One file for each base topic: a second bridge on this machine keeps
    // its own, and never clears the first's units.
    if (const std::filesystem::path dir = folder(); !dir.empty())
        file_ = dir / ("discovery-" + id_text(m.discovery_prefix) + "-" + id_text(m.base_topic) + ".json");
}

std::vector<std::string> discovery_book::publishing(const std::vector<discovery_document>& docs) {
    namespace fs = std::filesystem;
    if (file_.empty()) return {};
    std::set<std::string> now, before;
    for (const discovery_document& d : docs) now.insert(d.topic);
    // Kept by the bridge before it kept one file for each base topic.
    const fs::path earlier = file_.parent_path() / "discovery.json";
    try {
        std::ifstream in(fs::exists(file_) ? file_ : earlier);
        if (in) before = json::parse(in).at("topics").get<std::set<std::string>>();
    } catch (const std::exception& e) {
        log(level::warning, file_.string() + " is unreadable (" + e.what() + "); units removed before now stay in Home Assistant");
    }
    std::vector<std::string> gone;
    for (const std::string& topic : before)
        if (!now.count(topic)) gone.push_back(topic);
    if (before == now && fs::exists(file_)) return gone;
    std::error_code ec;
    fs::create_directories(file_.parent_path(), ec);
    const fs::path temp = file_.string() + ".new";
    std::ofstream out(temp, std::ios::trunc);
    out << json_text(json{{"topics", now}}) << "\n";
    out.close();
    if (!out || (fs::rename(temp, file_, ec), ec))
        log(level::warning, "cannot remember the published units in " + file_.string() +
                                "; a unit removed later stays in Home Assistant");
    else fs::remove(earlier, ec);
    return gone;
}

}  // namespace kestrix::bridge
