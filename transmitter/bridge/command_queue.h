// The requests waiting for the transmitter, and the port taken in turns.
// Pure: no threads, no broker, no sockets. The bridge's sending thread
// drives it; tests drive it with a fake line and counter.
#pragma once

#include "command.h"
#include "kestrix/controlcm.h"
#include "levels.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>

namespace kestrix::bridge {

using steady = std::chrono::steady_clock;
using x10::action;
using x10::address;
using x10::command;

// At most this many commands wait; a full queue refuses the next.
inline constexpr std::size_t queue_capacity = 256;

// What a unit is asked for: an X10 command as it stands, or a brightness
// that the sending thread plans into one when its turn comes, from the
// level it assumes the lamp is at by then.
struct request {
    command cmd;                   // a level's: its unit, ON
    std::optional<percent> level;  // a brightness to reach
    bool resend = false;           // the unit's assumed state, sent again (its unit, ON)
    // ON, OFF and levels settle a lamp: a newer one replaces one waiting.
    // A resend is never merged: it sends what the lamp is assumed at when
    // its turn comes, which a command it replaced would have changed.
    bool settles() const { return !resend && (level || cmd.switches()); }
    std::string text() const;  // "A1 ON", "A1 LEVEL 30%", "A1 RESEND"
    bool operator==(const request&) const = default;
};

struct pending {
    request req;
    steady::time_point arrived;
};

// Requests in arrival order. A newer ON, OFF or level replaces one still
// waiting for the same unit (the latest wins), unless a DIM or BRIGHT of
// its house waits after it: those are never merged or overtaken, as they
// act on whichever unit of the house was addressed last.
class command_queue {
public:
    explicit command_queue(std::size_t capacity = queue_capacity) : capacity_(capacity) {}
    enum class added { queued, merged, full };
    // A full queue refuses the new request; nothing waiting is dropped.
    added push(const request& r, steady::time_point now);
    std::optional<pending> take();
    std::size_t size() const { return waiting_.size(); }

private:
    std::size_t capacity_;
    std::deque<pending> waiting_;
};

// A request made a command, when its turn came: how many times it goes
// out, and the level it leaves the lamp at.
struct planned {
    pending p;
    std::optional<command> cmd;  // nothing: the lamp is at that level already
    int times = 1;
    steps level;
    int frames = 0;  // a planned DIM or BRIGHT: how many frames, in place of its percentage
};

// What became of a request.
struct report {
    enum class kind { busy, sent, failed };
    kind what;
    request req;
    int error = 0;      // for failed
    std::string text;   // for failed: the error's description
    steps level;        // for sent: the level reached
};

// Sends commands through a control, opening the port for a burst and
// closing it between bursts so that other programs can use it. A port
// another program holds is tried again until `busy_wait` after the
// command arrived, then the command fails.
class transmitter_session {
public:
    struct hooks {
        std::function<steady::time_point()> now = [] { return steady::now(); };
        // Waits; returns false when the bridge is stopping.
        std::function<bool(steady::duration)> pause;
        // The port was opened (for a burst).
        std::function<void()> opened = [] {};
    };
    transmitter_session(controlcm& control, std::int16_t port, std::chrono::seconds busy_wait, hooks on,
                        std::function<void(const report&)> reporter);

    void send(const planned& p);
    // Between bursts: lets go of the port.
    void rest();

private:
    controlcm& control_;
    std::int16_t port_;
    std::chrono::seconds busy_wait_;
    hooks hooks_;
    std::function<void(const report&)> report_;
    bool open_ = false;
};

}  // namespace kestrix::bridge
