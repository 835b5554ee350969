// What the bridge assumes of each lamp, in one place (X10 sends nothing
// back): on or off and the level reached, as the frames that went out left
// it or, at start, as the broker kept it; and what the latest command the
// queue accepted will leave, which is what the text port's getstatus
// says. Fed only by what the sending thread reports and what is learnt
// back from the broker; read by the loop (states to publish) and by the
// sending thread (a level planned when its turn comes), hence its lock.
#pragma once

#include "command_queue.h"
#include "levels.h"

#include <map>
#include <mutex>
#include <optional>
#include <set>

namespace kestrix::bridge {

struct lamp {
    bool on = false;
    std::optional<steps> level;  // not known before its first command, unless the broker kept it
    std::optional<steps> last;   // the level it had when it last went off
};

class lamp_book {
public:
    // Each configured unit's module; any other address has the default.
    void profiles(std::map<address, levels::profile> modules);
    levels::profile profile(const address& a) const;
    // The level published for a lamp: on its own module's steps.
    std::optional<percent> level_of(const lamp& l, const address& a) const;

    // What the broker kept: taken where nothing is known of the lamp yet.
    void learn_state(const address& a, bool on);
    void learn_level(const address& a, percent p);
    // The queue took a request: what it will leave.
    void accepted(const request& r);
    bool will_be_on(const address& a) const;
    // A request whose turn came: the command that reaches what it asks,
    // from what is assumed now, and the level it leaves.
    planned plan(const pending& p) const;
    // What the sending thread reported: frames that went out move the lamp.
    void reported(const report& r);

    std::optional<lamp> of(const address& a) const;
    std::map<address, lamp> all() const;

private:
    mutable std::mutex mutex_;
    std::map<address, lamp> lamps_;
    std::map<address, levels::profile> modules_;
    std::set<address> switched_;        // whose on or off is known
    std::map<address, bool> expected_;  // what the accepted commands will leave
};

}  // namespace kestrix::bridge
