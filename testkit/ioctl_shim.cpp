// Preloaded into a test host to watch the control drive DTR and RTS on a
// "real" port without touching hardware. It takes over only:
//   - opening the device named by KESTRIX_SHIM_REDIRECT, which it swaps for a
//     fresh pseudo-terminal (so /dev/ttyS0, the console here, is never opened);
//   - the TIOCMBIS/TIOCMBIC ioctls, which it records with CLOCK_MONOTONIC
//     times instead of passing them to a terminal that has no modem lines;
//   - closing that device, which it records;
//   - opening and closing the device named by KESTRIX_SHIM_WATCH, which it
//     records but leaves as it is (a pseudo-terminal of the test's, say).
// At exit it writes the record to KESTRIX_SHIM_LOG, one "ns kind dtr rts" per
// line, kind being "open", "line" or "close".
// It plays a misbehaving adapter when told to:
//   KESTRIX_SHIM_FAIL_LINES=N:ERRNO  line changes from the Nth on fail with ERRNO;
//   KESTRIX_SHIM_EDGE_NS=D           each line change takes D ns: the monotonic
//                                    clock jumps ahead by D (nobody waits);
//   KESTRIX_SHIM_REPORT_LINES=1      TIOCMGET reports the lines as set (a
//                                    pseudo-terminal has none to report);
//                            =stuck  it reports both high whatever was set.
// And it can hold a program at a known point: KESTRIX_SHIM_HOLD=PATH makes the
// first opening of PATH write a byte to descriptor KESTRIX_SHIM_READY_FD, then
// wait until descriptor KESTRIX_SHIM_GO_FD reaches its end.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

extern "C" {
__attribute__((visibility("default"))) int kestrix_shim_active = 1;
}

namespace {

struct event {
    long long ns;
    const char* kind;
    int dtr;
    int rts;
};

event events[1 << 16];
int event_count = 0;
int dtr = 1, rts = 1;
int watched_fd = -1;
int line_changes = 0;
long long clock_ahead_ns = 0;  // how far the slow "driver" has pushed the clock

template <typename F>
F real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

long long env_number(const char* name, long long fallback = 0) {
    const char* v = std::getenv(name);
    return v ? std::atoll(v) : fallback;
}

long long now_ns() {
    timespec ts{};
    real<int (*)(clockid_t, timespec*)>("clock_gettime")(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec + clock_ahead_ns;
}

// The errno the nth line change fails with, or 0.
int line_failure(int nth) {
    const char* v = std::getenv("KESTRIX_SHIM_FAIL_LINES");
    if (!v) return 0;
    int from = 0, err = 0;
    if (std::sscanf(v, "%d:%d", &from, &err) != 2) return 0;
    return nth >= from ? err : 0;
}

void record(const char* kind) {
    if (event_count < static_cast<int>(sizeof events / sizeof events[0]))
        events[event_count++] = {now_ns(), kind, dtr, rts};
}

bool is_redirected(const char* path) {
    const char* target = std::getenv("KESTRIX_SHIM_REDIRECT");
    return target && path && std::strcmp(path, target) == 0;
}

int open_pseudo_terminal(int flags) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);  // kept open for the process's life
    if (master < 0 || grantpt(master) < 0 || unlockpt(master) < 0) return -1;
    int fd = real<int (*)(const char*, int, ...)>("open")(ptsname(master), flags);
    if (fd >= 0) {
        watched_fd = fd;
        dtr = rts = 1;  // opening a port raises both lines
        record("open");
    }
    return fd;
}

mode_t mode_arg(int flags, va_list ap) { return (flags & O_CREAT) ? va_arg(ap, mode_t) : 0; }

// A successful open of the watched device becomes the port the log follows.
int watch_if_named(const char* path, int fd) {
    const char* watched = std::getenv("KESTRIX_SHIM_WATCH");
    if (fd >= 0 && watched && path && std::strcmp(path, watched) == 0) {
        watched_fd = fd;
        dtr = rts = 1;
        record("open");
    }
    return fd;
}

// Holds the program the first time it opens KESTRIX_SHIM_HOLD, until told to go on.
void hold_at(const char* path) {
    static bool held = false;
    const char* hold = std::getenv("KESTRIX_SHIM_HOLD");
    if (held || !hold || !path || std::strcmp(path, hold) != 0) return;
    held = true;
    const int ready = static_cast<int>(env_number("KESTRIX_SHIM_READY_FD", -1));
    const int go = static_cast<int>(env_number("KESTRIX_SHIM_GO_FD", -1));
    const char byte = 1;
    if (ready >= 0 && write(ready, &byte, 1) != 1) return;
    char buf[16];
    while (go >= 0) {
        const ssize_t n = read(go, buf, sizeof buf);
        if (n == 0 || (n < 0 && errno != EINTR)) break;
    }
}

__attribute__((destructor)) void write_log() {
    const char* path = std::getenv("KESTRIX_SHIM_LOG");
    if (!path) return;
    if (FILE* f = std::fopen(path, "w")) {
        for (int i = 0; i < event_count; ++i)
            std::fprintf(f, "%lld %s %d %d\n", events[i].ns, events[i].kind, events[i].dtr, events[i].rts);
        std::fclose(f);
    }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_arg(flags, ap);
    va_end(ap);
    hold_at(path);
    if (is_redirected(path)) return open_pseudo_terminal(flags);
    return watch_if_named(path, real<int (*)(const char*, int, ...)>("open")(path, flags, mode));
}

__attribute__((visibility("default"))) int open64(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_arg(flags, ap);
    va_end(ap);
    hold_at(path);
    if (is_redirected(path)) return open_pseudo_terminal(flags);
    return watch_if_named(path, real<int (*)(const char*, int, ...)>("open64")(path, flags, mode));
}

__attribute__((visibility("default"))) int openat(int dirfd, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_arg(flags, ap);
    va_end(ap);
    hold_at(path);
    if (is_redirected(path)) return open_pseudo_terminal(flags);
    return watch_if_named(path, real<int (*)(int, const char*, int, ...)>("openat")(dirfd, path, flags, mode));
}

__attribute__((visibility("default"))) int close(int fd) {
    if (fd >= 0 && fd == watched_fd) {
        record("close");
        watched_fd = -1;
    }
    return real<int (*)(int)>("close")(fd);
}

__attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    const char* report = std::getenv("KESTRIX_SHIM_REPORT_LINES");
    if (fd == watched_fd && request == TIOCMGET && report) {
        const bool stuck = std::strcmp(report, "stuck") == 0;  // an adapter that ignores the calls
        *static_cast<int*>(arg) = (dtr || stuck ? TIOCM_DTR : 0) | (rts || stuck ? TIOCM_RTS : 0);
        return 0;
    }
    if (request == TIOCMBIS || request == TIOCMBIC) {
        clock_ahead_ns += env_number("KESTRIX_SHIM_EDGE_NS");
        if (const int err = line_failure(++line_changes)) {
            errno = err;
            return -1;
        }
        int bits = *static_cast<int*>(arg);
        int level = request == TIOCMBIS ? 1 : 0;
        if (bits & TIOCM_DTR) dtr = level;
        if (bits & TIOCM_RTS) rts = level;
        record("line");
        return 0;
    }
    return real<int (*)(int, unsigned long, void*)>("ioctl")(fd, request, arg);
}

__attribute__((visibility("default"))) int clock_gettime(clockid_t id, timespec* ts) {
    const int result = real<int (*)(clockid_t, timespec*)>("clock_gettime")(id, ts);
    if (result == 0 && id == CLOCK_MONOTONIC && clock_ahead_ns) {
        const long long ns = ts->tv_sec * 1000000000LL + ts->tv_nsec + clock_ahead_ns;
        ts->tv_sec = ns / 1000000000LL;
        ts->tv_nsec = ns % 1000000000LL;
    }
    return result;
}

}  // extern "C"
