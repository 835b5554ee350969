// One bridge to a base topic. Bridges on one broker greet each other on
// <base>/bridge/hello; one that serves keeps its greeting there, retained.
// A bridge that starts waits a moment before it serves, and never serves
// if a live one answers, or if the one the broker kept a greeting of
// takes the connection back (both use one client id: the broker gives it
// to whoever connects last). Two that meet while both serve (after a
// network split) keep the one that began first. Pure: the loop publishes
// and listens, the clock is the caller's.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace kestrix::bridge {

class peers {
public:
    using clock = std::chrono::steady_clock;
    // How long a bridge that starts listens before it serves.
    static constexpr std::chrono::seconds quiet{2};

    peers(std::string client_id, std::string host, std::uint64_t nonce)
        : id_(std::move(client_id)), host_(std::move(host)), nonce_(nonce) {}

    // What this bridge says of itself: kept (retained) once it serves.
    std::string hello() const;
    // Connected at `now`: serving starts once `quiet` has passed unanswered.
    void connected(clock::time_point now);
    bool serving() const { return serving_; }
    // While it waits: when it starts serving, unless answered.
    std::optional<clock::time_point> starts_at() const { return start_at_; }
    // Starts serving when the quiet moment is over; true just then.
    bool begin(clock::time_point now);

    struct verdict {
        bool answer = false;     // say hello back: the other must learn of us
        std::string other;       // "client id 'x' on host 'y'", when there is one
        bool step_down = false;  // the other came first: this one must stop
    };
    // A greeting: live, or kept by the broker from a bridge that served.
    verdict heard(const std::string& payload, bool retained);
    // The connection was lost: while waiting, that is the kept greeting's
    // bridge taking its client id back.
    verdict lost();

private:
    std::string id_, host_;
    std::uint64_t nonce_;
    bool serving_ = false;
    std::optional<clock::time_point> start_at_;
    long long since_ms_ = 0;  // wall clock: when it began serving, or started waiting to
    std::string kept_;        // the kept greeting's bridge, when it uses our client id
};

}  // namespace kestrix::bridge
