#include "realtime.h"

#include <dlfcn.h>
#include <link.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace kestrix::detail {
namespace {

// This library's own loaded segments: the code every edge runs.
int lock_own_segments(dl_phdr_info* info, std::size_t, void* self) {
    const auto here = reinterpret_cast<ElfW(Addr)>(self);
    bool ours = false;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& p = info->dlpi_phdr[i];
        const ElfW(Addr) start = info->dlpi_addr + p.p_vaddr;
        if (p.p_type == PT_LOAD && here >= start && here < start + p.p_memsz) ours = true;
    }
    if (!ours) return 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& p = info->dlpi_phdr[i];
        if (p.p_type == PT_LOAD) ::mlock(reinterpret_cast<void*>(info->dlpi_addr + p.p_vaddr), p.p_memsz);
    }
    return 1;
}

}  // namespace

void realtime::hooks(ask_fn ask, note_fn note) {
    ask_ = std::move(ask);
    note_ = std::move(note);
    asked_no_ = false;
}

void realtime::note(const std::string& why) {
    if (noted_) return;
    noted_ = true;
    if (note_) note_(why);
}

// Once, before the first frame: no page fault may land inside one. The
// stack the frame runs on, the objects it calls, and this library's code.
void realtime::lock(std::initializer_list<const void*> touched) {
    if (locked_) return;
    locked_ = true;
    volatile char stack[32 * 1024];
    std::memset(const_cast<char*>(stack), 0, sizeof stack);  // faulted in now, not during the frame
    bool all = ::mlock(const_cast<char*>(stack), sizeof stack) == 0;
    const long page = ::sysconf(_SC_PAGESIZE);
    for (const void* p : touched) {
        const auto at = reinterpret_cast<std::uintptr_t>(p) & ~static_cast<std::uintptr_t>(page - 1);
        all = ::mlock(reinterpret_cast<void*>(at), static_cast<std::size_t>(page)) == 0 && all;
    }
    ::dl_iterate_phdr(lock_own_segments, reinterpret_cast<void*>(&lock_own_segments));
    if (!all) note(std::string("memory could not be locked for the frames: ") + std::strerror(errno));
}

bool realtime::raise() {
    sched_param fifo{};
    fifo.sched_priority = frame_priority;
    const int refused = ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &fifo);
    if (refused == 0) return true;
    if (ask_ && !asked_no_) {
        if (ask_(static_cast<std::int64_t>(::gettid()), frame_priority)) return true;
        asked_no_ = true;
        note(std::string("real-time scheduling was refused (") + std::strerror(refused) +
             ", and RealtimeKit said no): frames go out at normal priority");
        return false;
    }
    note(std::string("real-time scheduling was refused (") + std::strerror(refused) +
         "): frames go out at normal priority; root, CAP_SYS_NICE or an RLIMIT_RTPRIO of 10 grants it");
    return false;
}

realtime::section::section(realtime& rt, std::initializer_list<const void*> touched) {
    rt.lock(touched);
    // A thread that is real-time already is left as its host made it.
    if (::pthread_getschedparam(::pthread_self(), &policy_, &param_) != 0 || policy_ == SCHED_FIFO ||
        policy_ == SCHED_RR)
        return;
    raised_ = rt.raise();
}

realtime::section::~section() {
    if (raised_) ::pthread_setschedparam(::pthread_self(), policy_, &param_);
}

}  // namespace kestrix::detail
