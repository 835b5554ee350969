#include "peers.h"

#include "json_text.h"
#include "shown_text.h"

#include <tuple>

namespace kestrix::bridge {
namespace {

long long wall_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

std::string peers::hello() const {
    return json_text({{"client_id", id_}, {"host", host_}, {"serving", serving_}, {"since", since_ms_}, {"nonce", nonce_}});
}

void peers::connected(clock::time_point now) {
    kept_.clear();
    if (serving_) return;
    start_at_ = now + quiet;
    since_ms_ = wall_ms();
}

bool peers::begin(clock::time_point now) {
    if (serving_ || !start_at_ || now < *start_at_) return false;
    serving_ = true;
    start_at_.reset();
    since_ms_ = wall_ms();
    return true;
}

peers::verdict peers::lost() {
    verdict v;
    if (serving_ || kept_.empty()) return v;
    v.other = kept_;
    v.step_down = true;
    return v;
}

peers::verdict peers::heard(const std::string& payload, bool retained) {
    verdict v;
    nlohmann::json other;
    try {
        other = nlohmann::json::parse(payload);
        if (other.at("nonce").get<std::uint64_t>() == nonce_) return v;  // our own, back from the broker
        v.other = "client id '" + text::shown(other.at("client_id").get<std::string>()) + "' on host '" +
                  text::shown(other.at("host").get<std::string>()) + "'";
        const bool serves = other.at("serving").get<bool>();
        if (retained) {
            // Perhaps of a bridge long gone: it counts only if it answers,
            // or, sharing our client id, takes the connection back.
            if (serves && other.at("client_id").get<std::string>() == id_) kept_ = v.other;
            return {};
        }
        // Who came first: one that serves before one that waits, then the
        // earlier start; the nonce settles a tie, the same way on both sides.
        const auto them = std::tuple(!serves, other.at("since").get<long long>(), other.at("nonce").get<std::uint64_t>());
        const auto us = std::tuple(!serving_, since_ms_, nonce_);
        v.step_down = them < us;
        v.answer = !v.step_down;
    } catch (const std::exception&) {
        v = {};  // not a bridge's greeting: nobody to answer
    }
    return v;
}

}  // namespace kestrix::bridge
