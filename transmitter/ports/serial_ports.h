// The serial ports of a machine as a user needs to know them: which COM
// number names which device, what is behind it, and whether it can be used
// now. Read from sysfs and the device nodes only: no port is ever opened,
// so nothing that holds one is disturbed. Plain C++ and POSIX, shared by
// kestrix-send and the remote.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrix::ports {

// The device of COM port N: /dev/ttyS0 to /dev/ttyS3 for 1 to 4,
// /dev/ttyUSB(N-5) from 5 on; empty for 0 and below.
std::string device_for_com(std::int16_t port);

// The COM number of a device name such as "ttyUSB2"; 0 when it has none.
int com_for_device(const std::string& name);

struct port {
    int com = 0;              // 0: no COM number; name it with --device
    std::string device;       // "/dev/ttyUSB0"
    std::string driver;       // "ftdi_sio", "serial8250", "cdc_acm", ...
    std::string usb_id;       // "0403:6001" for USB adapters
    std::string product;      // "FT232R USB UART"
    std::string maker;        // "FTDI"
    std::string by_id;        // "/dev/serial/by-id/usb-FTDI_..."
    bool no_hardware = false; // a built-in port with no UART behind it
    bool console = false;     // the kernel's console: no transmitter is there
    bool may_open = false;    // this user may open it
    std::string access_hint;  // why not, and what to do
    bool held = false;        // another program holds it now
    std::string held_by;      // "minicom (pid 4242)", when known
    bool operator==(const port&) const = default;
};

// Where to look and who asks: the root of sysfs and the device nodes
// ("/" on a real machine), and the user whose access counts.
struct machine {
    std::string root = "/";
    uid_t uid = 0;
    std::vector<gid_t> groups;
    // This process's user and groups, on this machine.
    static machine this_one();
};

// Every serial port, in COM order, then the ports without a COM number.
std::vector<port> list(const machine& m);

// Whether `device` ("/dev/ttyS0", or a link to it) is an active console of
// the kernel: its sysfs "console" reads Y, or /proc/consoles lists it. A
// console on a server, a virtual machine or a single-board computer is
// often /dev/ttyS0, COM1.
bool is_console(const machine& m, const std::string& device);

// The warning for such a port, named as its reader knows it ("COM1
// (/dev/ttyS0)" or "/dev/ttyS0"); each caller adds what to do instead.
std::string console_warning(const std::string& port);

// What the remote says of COM port N: "COM5 = /dev/ttyUSB0, FTDI FT232R USB
// UART" or "COM2 = /dev/ttyS1: no such device".
std::string describe_com(const machine& m, std::int16_t com);

}  // namespace kestrix::ports
