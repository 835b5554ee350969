// Prints the frames a program sent through a port the ioctl shim watched,
// one "D5 AA 60 00 AD" a line, read from the log the shim wrote at exit:
// for the scripts that check a program run in a container or an emulator.
#include "testkit/shim.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SHIM_LOG\n", argv[0]);
        return 2;
    }
    const auto rec = kestrix::testing::replay_shim_log(argv[1]);
    if (rec.opened == 0) {
        std::fprintf(stderr, "%s: the watched port was never opened\n", argv[1]);
        return 1;
    }
    for (const std::string& frame : kestrix::testing::frames_of(rec.rx)) std::puts(frame.c_str());
    return 0;
}
