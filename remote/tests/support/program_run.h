// Runs the real vantrel as a user's session does: its own process,
// offscreen, its settings in a folder of the test's. Reports how it ended,
// how long it took and the most memory it held.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::testing {

struct ProgramRun {
    std::string program;
    std::string configHome;  // XDG_CONFIG_HOME
    // Ask it to end (`endSignal`) from the start: the signal waits, blocked,
    // until the program takes it, and the program acts on it once up.
    bool askToEnd = true;
    int endSignal = SIGTERM;
    // Neither HOME nor XDG_CONFIG_HOME set, and run as nobody when the test
    // runs as root: where it saves then shows in the error of its save.
    bool withoutHome = false;
    long fileSizeLimit = -1;  // bytes (ulimit -f); -1: none
    std::vector<std::pair<std::string, std::string>> environment;
    std::vector<int> keepOpen;              // descriptors the program inherits
    std::function<void(pid_t)> whileRunning;  // the test's part, once it started
};

struct ProgramEnd {
    bool exited = false;
    int status = -1;  // exit status, or the signal that ended it
    double seconds = 0;
    long peakMegabytes = 0;
    std::string errors;  // standard error
};

// Never waits longer than `limitSeconds`: a program still running then is killed.
ProgramEnd run(const ProgramRun& how, int limitSeconds = 60);

}  // namespace vantrel::testing
