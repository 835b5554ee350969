// SIGHUP: the configuration read again. A good one takes over, each part
// where it can without a restart: the units at once (discovery says which
// came and went), a new port from the next burst on, a new broker or new
// topics by connecting afresh, a new text port at once. A bad one is
// logged and the running configuration stays; so does one that cannot be
// carried out whole (a text port that cannot listen), and the next SIGHUP
// tries it again.
#include "service.h"

namespace kestrix::bridge {

void service::reload() {
    const std::string stays = "; the configuration in use stays";
    config fresh;
    try {
        fresh = load_config(config_.file);
    } catch (const config_error& e) {
        log(level::error, std::string(e.what()) + stays);
        return;
    }
    // What can fail comes first, before anything of the running one changes.
    std::unique_ptr<text_port> port;
    const bool new_port = fresh.mochad != config_.mochad;
    if (new_port) {
        try {
            port = open_text_port(fresh.mochad);
        } catch (const std::exception& e) {
            log(level::error, fresh.mochad.at + ": [mochad] listen: " + e.what() + stays);
            return;
        }
    }
    log(level::info, "read " + config_.file + " again");
    if (new_port) {
        text_ = std::move(port);
        config_.mochad = fresh.mochad;
        if (!text_) log(level::info, "the text port is closed");
    }
    if (fresh.transmitter != config_.transmitter) {
        sender_->replace(parts_.control(fresh.transmitter), fresh.transmitter);
        config_.transmitter = fresh.transmitter;
        status_.transmitter(config_.transmitter);
        log(level::info, "the transmitter is " + config_.transmitter.name() + " from the next command on");
    }
    sender_->repeats(repeats(fresh.units));
    lamps_->profiles(modules(fresh.units));  // what is assumed of each lamp stays
    const bool units_changed = fresh.units != config_.units;
    config_.units = fresh.units;
    router_ = router(topics(fresh.mqtt.base_topic, fresh.mqtt.discovery_prefix), config_.units);
    if (fresh.mqtt != config_.mqtt) {
        leave_base(fresh.mqtt);
        config_.mqtt = fresh.mqtt;
        topics_ = topics(config_.mqtt.base_topic, config_.mqtt.discovery_prefix);
        status_.rename(config_.mqtt.client_id);
        broker_->reopen(config_.mqtt, topics_);  // serves anew once alone on the new base topic
    } else if (units_changed && broker_->serving()) {
        publish_discovery();
    }
    publish_status();  // the port it names may be another now
}

// Moving to another base topic or discovery prefix: what the bridge kept
// under the old one is taken back, or Home Assistant would show every unit
// twice. Its greeting and "offline" are the last words there (presence).
void service::leave_base(const mqtt_config& now) {
    if (!broker_->serving()) return;
    const bool base = now.base_topic != config_.mqtt.base_topic;
    if (base || now.discovery_prefix != config_.mqtt.discovery_prefix)
        for (const std::string& doc : discovery_book(config_.mqtt).publishing({})) broker_->publish(doc, "");
    if (!base) return;
    for (const auto& [a, l] : lamps_->all()) {
        broker_->publish(topics_.of(a, verb::state), "");
        broker_->publish(topics_.of(a, verb::level_state), "");
    }
    broker_->publish(topics_.status(), "");
}

}  // namespace kestrix::bridge
