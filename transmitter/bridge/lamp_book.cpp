#include "lamp_book.h"

namespace kestrix::bridge {

void lamp_book::learn_state(const address& a, bool on) {
    std::lock_guard lock(mutex_);
    if (!switched_.insert(a).second) return;  // what the bridge knows wins
    lamp& l = lamps_[a];  // its level may have come first
    l.on = on;
    if (!on) l.level = steps{0};
    expected_.try_emplace(a, on);
}

void lamp_book::learn_level(const address& a, percent p) {
    std::lock_guard lock(mutex_);
    lamp& l = lamps_[a];
    if (!l.level) l.level = levels::step_of(p);
}

void lamp_book::accepted(const request& r) {
    std::lock_guard lock(mutex_);
    // A DIM or BRIGHT addresses its unit with an ON frame first.
    expected_[r.cmd.to] = r.level ? r.level->value > 0 : r.cmd.what != action::off;
}

bool lamp_book::will_be_on(const address& a) const {
    std::lock_guard lock(mutex_);
    if (const auto e = expected_.find(a); e != expected_.end()) return e->second;
    const auto l = lamps_.find(a);
    return l != lamps_.end() && l->second.on;
}

planned lamp_book::plan(const pending& p) const {
    std::optional<steps> before;
    {
        std::lock_guard lock(mutex_);
        if (const auto l = lamps_.find(p.req.cmd.to); l != lamps_.end()) before = l->second.level;
    }
    planned out{p, p.req.cmd, 1, {}};
    if (p.req.level) out.cmd = levels::reach(before, p.req.cmd.to, *p.req.level);
    out.level = out.cmd ? levels::after(before, *out.cmd) : before.value_or(steps{0});
    return out;
}

void lamp_book::reported(const report& r) {
    if (r.what != report::kind::sent) return;  // a command that failed left the lamp as it was
    std::lock_guard lock(mutex_);
    lamps_[r.req.cmd.to] = {r.level.value > 0, r.level};
    switched_.insert(r.req.cmd.to);
}

std::optional<lamp> lamp_book::of(const address& a) const {
    std::lock_guard lock(mutex_);
    const auto l = lamps_.find(a);
    return l == lamps_.end() ? std::nullopt : std::optional<lamp>(l->second);
}

std::map<address, lamp> lamp_book::all() const {
    std::lock_guard lock(mutex_);
    return lamps_;
}

}  // namespace kestrix::bridge
