#include "status.h"

#include "json_text.h"

namespace kestrix::bridge {

using nlohmann::json;

void bridge_status::update(const report& r) {
    state_ = r.what == report::kind::busy ? "busy" : r.what == report::kind::sent ? "ok" : "failed";
    error_ = r.error;
    error_text_ = r.text;
    if (r.what == report::kind::sent) ++sent_;
    if (r.what == report::kind::failed)
        last_error_ = json_text({{"number", r.error}, {"text", r.text}, {"command", r.req.text()}});
}

std::string bridge_status::json(std::size_t waiting) const {
    const bool com = transmitter_.device.empty();
    return json_text({{"state", state_},
                      {"port", com ? nlohmann::json(transmitter_.port) : nlohmann::json(nullptr)},
                      {"device", transmitter_.device_path()},
                      {"error", error_ ? nlohmann::json{{"number", error_}, {"text", error_text_}} : nlohmann::json(nullptr)},
                      {"queue", waiting},
                      {"sent", sent_},
                      {"refused", refused_},
                      {"last_error", last_error_.empty() ? nlohmann::json(nullptr) : nlohmann::json::parse(last_error_)},
                      {"client_id", client_id_},
                      {"host", host_}});
}

std::optional<std::string> bridge_status::take(const std::string& now_json, clock::time_point now) {
    if (now_json == published_) {
        due_.reset();
        return std::nullopt;
    }
    if (now - last_ < gap) {
        due_ = last_ + gap;
        return std::nullopt;
    }
    due_.reset();
    last_ = now;
    return published_ = now_json;
}

}  // namespace kestrix::bridge
