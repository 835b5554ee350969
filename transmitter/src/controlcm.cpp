#include "kestrix/controlcm.h"

#include "frame.h"
#include "kestrix/linux_serial.h"
#include "realtime.h"
#include "timing.h"

#include <cstring>

namespace kestrix {

namespace {
constexpr std::int32_t pulse_units = 500;      // 625 ticks
constexpr std::int32_t closing_units = 600000;  // 750000 ticks
}  // namespace

controlcm::controlcm()
    : controlcm(make_linux_serial_line(), std::make_unique<detail::steady_counter>()) {}

controlcm::controlcm(std::unique_ptr<serial_line> line, std::unique_ptr<tick_counter> counter)
    : counter_(std::move(counter)),
      sleeper_(dynamic_cast<sleeping_counter*>(counter_.get())),
      comm1_(std::move(line)),
      realtime_(std::make_unique<detail::realtime>()) {
    if (!counter_ || !comm1_) throw std::invalid_argument("controlcm needs a serial line and a counter");
}

controlcm::~controlcm() {
    try {
        if (comm1_ && comm1_->is_open()) ResetCom();
    } catch (...) {
        // Nothing useful can be done with a failed close while going away,
        // and a destructor must not bring the host down.
    }
}

std::int16_t controlcm::comport() const { return port_; }

void controlcm::comport(std::int16_t newport) { port_ = newport; }

std::int16_t controlcm::Init() {
    try {
        comm1_->set_port(port_);
        comm1_->set_settings("4800,N,8,1");
        comm1_->open();
        // Opening raises both lines, which powers the transmitter; give it a
        // full standby before the first bit, as between bits.
        Delay(pulse_units);
        initok_ = true;
        last_error_.clear();
        return 0;
    } catch (const error& e) {
        initok_ = false;
        last_error_ = e.description();
        if (e.number() < -32768 || e.number() > 32767) throw error(errc::overflow, "Overflow");
        return static_cast<std::int16_t>(e.number());
    }
}

void controlcm::ResetCom() { comm1_->close(); }

void controlcm::SendToCM17(std::span<const std::uint8_t> buf) {
    {
        // Real time for the frame's edges only: the closing wait sleeps.
        const detail::realtime::section frame(*realtime_, {this, counter_.get(), comm1_.get(), buf.data()});
        for (int pass = 0; pass < 2; ++pass) {
            for (std::size_t i = 0; i < 5; ++i) {
                if (i >= buf.size()) throw error(errc::subscript_out_of_range, "Subscript out of range");
                const std::uint8_t byte = buf[i];
                for (int b = 7; b >= 0; --b) {
                    if (byte & (1u << b)) SendOneBit();
                    else SendZeroBit();
                }
            }
        }
    }
    Delay(closing_units);
}

void controlcm::Exec(std::string& housecode, const std::string& devicecode, std::int16_t command,
                     std::int16_t brightness) {
    if (!initok_) return;
    for (char& c : housecode)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (const detail::frame& f : detail::encode_command(housecode, devicecode, command, brightness))
        SendToCM17(f);
}

std::string controlcm::last_error() const { return last_error_; }

void controlcm::realtime_hooks(std::function<bool(std::int64_t, int)> ask, std::function<void(const std::string&)> note) {
    realtime_->hooks(std::move(ask), std::move(note));
}

// Each pulse is followed by a standby with both lines high: the receiver
// needs every line state, the rest between bits included, to last 0.5 ms, or
// two equal bits in a row merge into one.
void controlcm::SendOneBit() {
    comm1_->set_dtr(false);
    Delay(pulse_units);
    comm1_->set_dtr(true);
    Delay(pulse_units);
}

void controlcm::SendZeroBit() {
    comm1_->set_rts(false);
    Delay(pulse_units);
    comm1_->set_rts(true);
    Delay(pulse_units);
}

void controlcm::Delay(std::int32_t n) { detail::delay(*counter_, sleeper_, n); }

}  // namespace kestrix

extern "C" kestrix::controlcm* kestrix_create(const char* class_name) {
    if (class_name == nullptr || std::strcmp(class_name, "Kestrix.controlcm") != 0) return nullptr;
    try {
        return new kestrix::controlcm();
    } catch (...) {
        return nullptr;  // nothing may cross a C boundary
    }
}
