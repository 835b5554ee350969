// A host that knows Kestrix only through its public header and dlopen:
// creates the control by class name and switches unit A3 on, then at once
// off, through COM1, with an Init before each command as a remote does for
// two quick presses. Prints the house text after the calls. Run only under
// the ioctl shim.
#include "kestrix/controlcm.h"

#include <dlfcn.h>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    // Without the shim this would drive the machine's real /dev/ttyS0.
    if (!dlsym(RTLD_DEFAULT, "kestrix_shim_active")) {
        std::fprintf(stderr, "dlopen_host: the ioctl shim is not preloaded; refusing to touch COM1\n");
        return 3;
    }
    if (argc != 2) return 2;
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::fprintf(stderr, "dlopen_host: %s\n", dlerror());
        return 2;
    }
    using create_fn = kestrix::controlcm* (*)(const char*);
    auto create = reinterpret_cast<create_fn>(dlsym(lib, "kestrix_create"));
    if (!create) return 2;
    std::unique_ptr<kestrix::controlcm> control(create("Kestrix.controlcm"));
    if (!control) return 2;

    control->comport(1);
    std::string house = "a";
    for (std::int16_t command : {kestrix::cmd_on, kestrix::cmd_off}) {
        if (std::int16_t result = control->Init(); result != 0) {
            std::fprintf(stderr, "dlopen_host: Init returned %d: %s\n", result, control->last_error().c_str());
            return 1;
        }
        try {
            control->Exec(house, "3", command);
        } catch (const kestrix::error& e) {
            std::fprintf(stderr, "dlopen_host: error %d: %s\n", e.number(), e.what());
            return 1;
        }
    }
    std::printf("%s\n", house.c_str());
    return 0;
}
