// Kestrix — control for the X10 Firecracker RF transmitter.
//
// The Firecracker takes no serial data. It is clocked through the serial
// port's two modem-control outputs: a 1 bit is a low pulse on DTR, a 0 bit a
// low pulse on RTS, and every line state must last at least 0.5 ms. A
// `controlcm` opens the port, encodes an X10 command into the transmitter's
// 5-byte frame (D5 AA, house byte, command byte, AD) and clocks the frame out
// twice, timed on a tick counter of 1,193,182 ticks per second.
//
// Timing
// ------
// Every wait lasts at least its ticks, never less. Pulses and the standby
// between them spin on the counter. Waits of more than a few milliseconds
// (the 628 ms after each double frame) sleep until shortly before their end
// on a counter that can sleep (`sleeping_counter`, such as the default one)
// and spin the rest. While the sending thread clocks a double frame (about
// 84 ms) it runs under SCHED_FIFO at priority 10 where the system grants it
// (root, CAP_SYS_NICE, an RLIMIT_RTPRIO of 10 or more, or a host's
// `realtime_hooks` asking RealtimeKit), and returns to its own policy for
// the closing wait; the memory the frame touches is locked beforehand. A
// refusal never fails a send: the frame goes out at normal priority.
//
// Error model
// -----------
// Every failure is a `kestrix::error` exception carrying a number and a
// description. Only `Init` traps: it turns a failure of the serial layer into
// its result (0 for success, else the error number) and remembers the
// description in `last_error()`. `ResetCom`, `SendToCM17` and `Exec` let
// errors through to the caller; a transmission that fails stops at that edge
// and what was already clocked out stays sent. `Exec` does nothing, silently,
// until an `Init` has succeeded. Destruction closes an open port and never
// throws.
//
//   number  description                      raised when
//   ------  -------------------------------  ---------------------------------
//        6  Overflow                         Init's error number does not fit
//                                            16 bits; Exec's unit text does not
//                                            fit 16 bits (or is -32768)
//        9  Subscript out of range           SendToCM17 given fewer than 5 bytes
//                                            (raised at the first missing byte)
//     8000  Could not open the port          not a serial port, or opening failed
//                                            for another reason (the description
//                                            gives the system's)
//     8002  Invalid port number              port number 0 or below
//     8003  Port not found                   no such device
//     8004  Permission denied                the device may not be opened (the
//                                            description suggests the 'dialout'
//                                            group)
//     8010  Port in use by another program   the device is held exclusively
//     8012  The port is not open             a line change on a closed port
//     8015  Could not set the line parameters  4800,N,8,1 refused or not taken
//     8020  Line change failed               DTR/RTS could not be driven (no
//                                            modem lines, adapter unplugged)
//
// Port numbers: 1 to 4 are /dev/ttyS0 to /dev/ttyS3, 5 and up are
// /dev/ttyUSB0 and up.
//
// Hosts that load the library at run time create the control through
// `kestrix_create("Kestrix.controlcm")` and call only its virtual members.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#define KESTRIX_API __attribute__((visibility("default")))
// Members of an exported class that are no part of the API.
#define KESTRIX_LOCAL __attribute__((visibility("hidden")))

namespace kestrix {

namespace detail {
class realtime;
}

// Error numbers, see the table above.
enum errc : int {
    overflow = 6,
    subscript_out_of_range = 9,
    open_failed = 8000,
    invalid_port = 8002,
    port_not_found = 8003,
    permission_denied = 8004,
    port_in_use = 8010,
    port_not_open = 8012,
    line_parameters = 8015,
    line_change_failed = 8020,
};

// The one exception type of the library. Defined entirely in this header so
// that a host that loads the library at run time can catch it.
class KESTRIX_API error : public std::runtime_error {
public:
    error(int number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    int number() const noexcept { return number_; }
    std::string description() const { return what(); }

private:
    int number_;
};

// The serial-port operations the control needs. A host or a test may supply
// its own; every failure is reported by throwing `kestrix::error`.
class KESTRIX_API serial_line {
public:
    virtual ~serial_line() = default;
    virtual void set_port(std::int16_t port) = 0;              // used by the next open
    virtual void set_settings(std::string_view settings) = 0;  // "4800,N,8,1"
    // Opens the port, which raises DTR and RTS. Opening the port this object
    // already holds open succeeds and keeps it.
    virtual void open() = 0;
    virtual void close() = 0;  // closing a closed port does nothing
    virtual bool is_open() const = 0;
    virtual void set_dtr(bool high) = 0;  // takes effect at once
    virtual void set_rts(bool high) = 0;
};

// A monotonic tick counter. Differences are taken modulo 2^64, so the
// counter may start anywhere.
class KESTRIX_API tick_counter {
public:
    virtual ~tick_counter() = default;
    virtual std::uint64_t now() noexcept = 0;
};

// A counter that can also wait without spinning. `controlcm` sleeps
// through the long part of a long wait on one of these.
class KESTRIX_API sleeping_counter : public tick_counter {
public:
    // Returns when the counter reads `tick` or a little before; never when
    // it has not yet come near it. A counter the test drives jumps there.
    virtual void sleep_until(std::uint64_t tick) noexcept = 0;
};

// Ticks per second of the counter that `controlcm` uses by default.
inline constexpr std::uint64_t ticks_per_second = 1'193'182;

// That counter: CLOCK_MONOTONIC at ticks_per_second; a sleeping_counter.
KESTRIX_API std::unique_ptr<tick_counter> make_steady_counter();

// X10 command codes for `Exec`.
inline constexpr std::int16_t cmd_on = 2;
inline constexpr std::int16_t cmd_off = 3;
inline constexpr std::int16_t cmd_dim = 4;
inline constexpr std::int16_t cmd_bright = 5;

class KESTRIX_API controlcm {
public:
    // The Linux serial layer and the monotonic counter.
    controlcm();
    // A host's own serial layer and counter; neither may be null.
    controlcm(std::unique_ptr<serial_line> line, std::unique_ptr<tick_counter> counter);
    virtual ~controlcm();

    controlcm(const controlcm&) = delete;
    controlcm& operator=(const controlcm&) = delete;

    // Port number used by the next Init; stored unchanged, never checked here.
    virtual std::int16_t comport() const;
    virtual void comport(std::int16_t newport);

    // Opens the port at 4800,N,8,1. Returns 0, or the error number of the
    // step that failed (then Exec sends nothing until a later Init succeeds).
    virtual std::int16_t Init();

    // Closes the port. Exec keeps working as far as it is concerned: it is
    // the serial layer that refuses line changes on a closed port.
    virtual void ResetCom();

    // Clocks buf[0] to buf[4] out twice, most significant bit first, then
    // waits 750000 ticks. Bytes beyond index 4 are ignored.
    virtual void SendToCM17(std::span<const std::uint8_t> buf);

    // Sends one X10 command: house "A" to "P" (upper-cased in place once the
    // port is ready), unit text "1" to "16", command 2 ON, 3 OFF, 4 DIM,
    // 5 BRIGHT, brightness in percent for DIM and BRIGHT.
    virtual void Exec(std::string& housecode, const std::string& devicecode,
                      std::int16_t command, std::int16_t brightness = 0);

    // Description of the failure the last Init reported; empty after success.
    virtual std::string last_error() const;

    // For hosts whose users may not raise a thread to real time themselves.
    // `ask` is called on the sending thread when it may not: it should ask
    // RealtimeKit (org.freedesktop.RealtimeKit1.MakeThreadRealtime) to make
    // thread `tid` SCHED_FIFO at `priority` and say whether that was done;
    // once it says no it is not asked again. `note` hears once why a frame
    // went out without real time. Either may be empty.
    virtual void realtime_hooks(std::function<bool(std::int64_t tid, int priority)> ask,
                                std::function<void(const std::string& why)> note);

private:
    KESTRIX_LOCAL void SendOneBit();
    KESTRIX_LOCAL void SendZeroBit();
    KESTRIX_LOCAL void Delay(std::int32_t n);

    std::unique_ptr<tick_counter> counter_;
    sleeping_counter* sleeper_ = nullptr;  // counter_, where it can sleep
    std::unique_ptr<serial_line> comm1_;
    std::unique_ptr<detail::realtime> realtime_;
    std::int16_t port_ = 0;
    bool initok_ = false;
    std::string last_error_;
};

}  // namespace kestrix

// Creates a control by its class name: a new object for "Kestrix.controlcm",
// nullptr for any other name. The caller owns the object and deletes it.
extern "C" KESTRIX_API kestrix::controlcm* kestrix_create(const char* class_name);
