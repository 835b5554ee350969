#include "lamp_book.h"

namespace kestrix::bridge {

void lamp_book::profiles(std::map<address, levels::profile> modules) {
    std::lock_guard lock(mutex_);
    modules_ = std::move(modules);
}

levels::profile lamp_book::profile(const address& a) const {
    std::lock_guard lock(mutex_);
    const auto m = modules_.find(a);
    return m == modules_.end() ? levels::profile{} : m->second;
}

std::optional<percent> lamp_book::level_of(const lamp& l, const address& a) const {
    if (!l.level) return std::nullopt;
    return levels::percent_of(*l.level, profile(a));
}

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
    const auto m = modules_.find(a);
    if (!l.level) l.level = levels::step_of(p, m == modules_.end() ? levels::profile{} : m->second);
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
    const address& a = p.req.cmd.to;
    const levels::profile m = profile(a);
    levels::assumed before;
    bool on = false;
    {
        std::lock_guard lock(mutex_);
        if (const auto l = lamps_.find(a); l != lamps_.end()) before = {l->second.level, l->second.last}, on = l->second.on;
    }
    if (p.req.resend) {
        // What the lamp is assumed at, from scratch: OFF, or ON and the level
        // planned as from off, from full or the last level as the module does.
        if (!on) return {p, x10::command{a, action::off, 0}, 1, steps{0}};
        const levels::assumed off{std::nullopt, before.last};
        if (!before.level) return {p, x10::command{a, action::on, 0}, 1, levels::after(off, {a, action::on, 0}, m)};
        const levels::plan again = levels::reach(off, a, levels::percent_of(*before.level, m), m);
        return {p, again.cmd, 1, again.reached, again.frames};
    }
    if (!p.req.level) return {p, p.req.cmd, 1, levels::after(before, p.req.cmd, m)};
    const levels::plan reached = levels::reach(before, a, *p.req.level, m);
    return {p, reached.cmd, 1, reached.reached, reached.frames};
}

void lamp_book::reported(const report& r) {
    if (r.what != report::kind::sent) return;  // a command that failed left the lamp as it was
    std::lock_guard lock(mutex_);
    lamp& l = lamps_[r.req.cmd.to];
    if (r.level.value == 0 && l.level && l.level->value > 0) l.last = l.level;  // what a module that resumes comes back at
    l.on = r.level.value > 0;
    l.level = r.level;
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
