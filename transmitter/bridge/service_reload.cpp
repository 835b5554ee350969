// SIGHUP: the configuration read again. A good one takes over, each part
// where it can without a restart: the units at once (discovery says which
// came and went), a new port from the next burst on, a new broker or new
// topics by connecting afresh, a new text port at once. A bad one is
// logged and the running configuration stays.
#include "service.h"

namespace kestrix::bridge {

void service::reload() {
    config fresh;
    try {
        fresh = load_config(config_.file);
    } catch (const config_error& e) {
        log(level::error, std::string(e.what()) + "; the configuration in use stays");
        return;
    }
    log(level::info, "read " + config_.file + " again");
    if (fresh.transmitter != config_.transmitter) {
        sender_->replace(parts_.control(fresh.transmitter), fresh.transmitter);
        config_.transmitter = fresh.transmitter;
        log(level::info, "the transmitter is " + config_.transmitter.name() + " from the next command on");
    }
    sender_->repeats(repeats(fresh.units));
    const bool units_changed = fresh.units != config_.units;
    config_.units = fresh.units;
    if (fresh.mochad != config_.mochad) {
        config_.mochad = fresh.mochad;
        try {
            open_text_port();
        } catch (const std::exception& e) {
            log(level::error, e.what());
        }
    }
    if (fresh.mqtt != config_.mqtt) {
        config_.mqtt = fresh.mqtt;
        topics_ = topics(config_.mqtt.base_topic, config_.mqtt.discovery_prefix);
        status_.rename(config_.mqtt.client_id);
        broker_->reopen(config_.mqtt);  // serves anew once alone on the new base topic
    } else if (units_changed && broker_->serving()) {
        publish_discovery();
    }
}

}  // namespace kestrix::bridge
