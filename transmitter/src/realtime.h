// Real-time scheduling for the few milliseconds a double frame takes. On a
// busy machine a thread that spins at normal priority is preempted for tens
// of milliseconds, stretching a line state the transmitter counts on; under
// SCHED_FIFO the frame runs through. Everything here is best effort: what
// the system refuses leaves the frame at normal priority, as before.
#pragma once

#include <sched.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

namespace kestrix::detail {

// Modest: above every normal thread, below the kernel's own and below the
// audio servers that RealtimeKit serves first (it grants 20 at most).
inline constexpr int frame_priority = 10;

class realtime {
public:
    using ask_fn = std::function<bool(std::int64_t tid, int priority)>;
    using note_fn = std::function<void(const std::string&)>;
    void hooks(ask_fn ask, note_fn note);

    // The calling thread under SCHED_FIFO for the section's life, where
    // granted, with `touched` (objects the frame uses) locked in memory.
    class section {
    public:
        section(realtime& rt, std::initializer_list<const void*> touched);
        ~section();
        section(const section&) = delete;
        section& operator=(const section&) = delete;

    private:
        bool raised_ = false;
        int policy_ = SCHED_OTHER;
        sched_param param_{};
    };

private:
    bool raise();
    void lock(std::initializer_list<const void*> touched);
    void note(const std::string& why);

    ask_fn ask_;
    note_fn note_;
    bool asked_no_ = false;  // the host's ask said no once: not asked again
    bool noted_ = false;
    bool locked_ = false;
};

}  // namespace kestrix::detail
