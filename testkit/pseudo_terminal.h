// A pseudo-terminal pair for tests: the code under test opens the slave as
// a serial port; the test holds the master for the pair's life.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace kestrix::testing {

struct pseudo_terminal {
    pseudo_terminal() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) < 0 || ::unlockpt(master) < 0) throw std::runtime_error("no pseudo-terminal");
        slave = ::ptsname(master);
    }
    ~pseudo_terminal() { ::close(master); }
    pseudo_terminal(const pseudo_terminal&) = delete;
    pseudo_terminal& operator=(const pseudo_terminal&) = delete;
    int master;
    std::string slave;
};

}  // namespace kestrix::testing
