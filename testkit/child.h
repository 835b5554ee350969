// A program run by a test or a benchmark the way a shell runs it: its own
// process, the environment the caller adds, standard output and error on
// one pipe. Nothing here sleeps: every wait is a poll() with a deadline.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kestrix::testing {

struct launch {
    launch(std::vector<std::string> program_and_arguments, std::vector<std::pair<std::string, std::string>> more = {})
        : argv(std::move(program_and_arguments)), env(std::move(more)) {}
    std::vector<std::string> argv;  // argv[0] is the program's path
    std::vector<std::pair<std::string, std::string>> env;  // set on top of this process's environment
    std::vector<std::string> unset;                        // taken out of it
    std::vector<int> keep_open;  // descriptors the program inherits
    // A signal the program is born with blocked: sent at once, it waits
    // until the program takes it (as a log-off during start-up does).
    int blocked = 0;
    long file_size_limit = -1;  // bytes (ulimit -f); -1: none
    bool as_nobody = false;     // run as nobody (uid 65534) when the caller is root
};

struct ending {
    bool exited = false;
    int status = -1;  // the exit status, or the signal that ended it
    double seconds = 0;
    long peak_megabytes = 0;
    std::string output;  // standard output and error together
    bool ok() const { return exited && status == 0; }
};

class child {
public:
    explicit child(const launch& how);
    ~child();  // a program still running is killed
    child(const child&) = delete;
    child& operator=(const child&) = delete;

    pid_t pid() const { return pid_; }
    // Waits up to `seconds` for `text` in the output, after what an
    // earlier call found.
    bool says(const std::string& text, double seconds = 10);
    const std::string& output() const { return output_; }
    // Stops reading: what the program writes from now on fails with EPIPE,
    // so a talkative server cannot fill the pipe and stall.
    void ignore_output();
    // Sends `signal` (0: none), reads the output to its end and reaps the
    // program, killing it once `seconds` have passed.
    ending finish(int signal = 0, double seconds = 20);

private:
    pid_t pid_ = -1;
    int out_ = -1;
    double started_ = 0;
    std::string output_;
    std::size_t searched_ = 0;
};

// Runs a program to its end, killing it after `seconds`.
ending run(const launch& how, double seconds = 60);

// Runs `step` in a child process of this test, as nobody (uid and gid
// 65534) when the test runs as root, who may read and write anything, and
// gives back what `step` returned (0 to 255); -1 when it did not return,
// -2 when it could not become nobody.
int as_nobody(const std::function<int()>& step);

// Monotonic time in seconds, and in nanoseconds as the ioctl shim stamps its log.
double monotonic_seconds();
long long monotonic_ns();

}  // namespace kestrix::testing
