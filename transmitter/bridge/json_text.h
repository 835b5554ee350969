// JSON as the bridge publishes it: compact, with bytes that are not UTF-8
// replaced rather than refused (a unit's name is the user's text).
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace kestrix::bridge {

inline std::string json_text(const nlohmann::json& j) {
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace kestrix::bridge
