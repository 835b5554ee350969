// The serial layer on a Linux tty: open exclusively, line parameters with
// read-back, one ioctl per DTR/RTS edge.
#include "kestrix/linux_serial.h"

#include "linux_serial_detail.h"
#include "serial_ports.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <functional>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace kestrix {
namespace {

struct line_settings {
    speed_t speed = B4800;
    tcflag_t size = CS8;
    tcflag_t parity = 0;  // PARENB, optionally with PARODD
    tcflag_t stop = 0;    // CSTOPB for two stop bits
};

constexpr std::array<std::pair<unsigned, speed_t>, 12> speeds = {{
    {300, B300}, {600, B600}, {1200, B1200}, {2400, B2400}, {4800, B4800}, {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {110, B110},
    {150, B150},
}};

[[noreturn]] void fail(int number, const std::string& meaning, const std::string& detail) {
    throw error(number, meaning + ": " + detail);
}

// Parses "baud,parity,data,stop" such as "4800,N,8,1".
bool parse_settings(std::string_view text, line_settings& out) {
    std::array<std::string_view, 4> field;
    for (std::size_t i = 0; i < 4; ++i) {
        std::size_t comma = text.find(',');
        if ((comma == std::string_view::npos) != (i == 3)) return false;
        field[i] = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    }
    unsigned baud = 0;
    auto [p, ec] = std::from_chars(field[0].data(), field[0].data() + field[0].size(), baud);
    if (ec != std::errc{} || p != field[0].data() + field[0].size()) return false;
    bool known = false;
    for (auto [b, s] : speeds)
        if (b == baud) out.speed = s, known = true;
    if (!known) return false;

    if (field[1] == "N" || field[1] == "n") out.parity = 0;
    else if (field[1] == "E" || field[1] == "e") out.parity = PARENB;
    else if (field[1] == "O" || field[1] == "o") out.parity = PARENB | PARODD;
    else return false;

    if (field[2] == "5") out.size = CS5;
    else if (field[2] == "6") out.size = CS6;
    else if (field[2] == "7") out.size = CS7;
    else if (field[2] == "8") out.size = CS8;
    else return false;

    if (field[3] == "1") out.stop = 0;
    else if (field[3] == "2") out.stop = CSTOPB;
    else return false;
    return true;
}

class linux_serial_line final : public serial_line {
public:
    explicit linux_serial_line(std::function<std::string(std::int16_t)> naming) : naming_(std::move(naming)) {}
    ~linux_serial_line() override { close(); }

    // Another device lets go of the held one at once: nothing that follows
    // may depend on a port the user has moved away from, which may well be
    // an adapter that was pulled out.
    void set_port(std::int16_t port) override {
        port_ = port;
        if (fd_ >= 0 && naming_(port) != open_device_) close();
    }

    void set_settings(std::string_view settings) override {
        line_settings parsed;
        if (!parse_settings(settings, parsed))
            fail(errc::line_parameters, "Could not set the line parameters",
                 "\"" + std::string(settings) + "\" is not a setting this port supports");
        settings_ = parsed;
        settings_text_ = settings;
        if (fd_ >= 0) apply_settings(fd_, open_device_);
    }

    void open() override {
        std::string device = naming_(port_);
        if (device.empty())
            fail(errc::invalid_port, "Invalid port number",
                 "COM" + std::to_string(port_) +
                     " names no serial port (1 to 4 are /dev/ttyS0 to /dev/ttyS3, "
                     "5 and up /dev/ttyUSB0 and up)");
        if (fd_ >= 0) {
            if (device == open_device_) return;  // a quick second command keeps the port
            close();
        }
        int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) throw detail::open_error(device, errno);
        try {
            if (!::isatty(fd)) throw detail::open_error(device, ENOTTY);
            if (::ioctl(fd, TIOCEXCL) < 0) throw detail::open_error(device, errno);
            if (::flock(fd, LOCK_EX | LOCK_NB) < 0) throw detail::open_error(device, errno);
            apply_settings(fd, device);
        } catch (...) {
            ::close(fd);
            throw;
        }
        fd_ = fd;
        open_device_ = std::move(device);
    }

    void close() override {
        if (fd_ < 0) return;
        // The descriptor is released even when close reports an error, and
        // the kernel then drops DTR and RTS (HUPCL).
        ::close(fd_);
        fd_ = -1;
        open_device_.clear();
    }

    bool is_open() const override { return fd_ >= 0; }

    std::optional<line_levels> reported() const {
        int bits = 0;
        if (fd_ < 0 || ::ioctl(fd_, TIOCMGET, &bits) < 0) return std::nullopt;
        return line_levels{(bits & TIOCM_DTR) != 0, (bits & TIOCM_RTS) != 0};
    }

    void set_dtr(bool high) override { change_line(TIOCM_DTR, "DTR", high); }
    void set_rts(bool high) override { change_line(TIOCM_RTS, "RTS", high); }

private:
    void apply_settings(int fd, const std::string& device) {
        auto refuse = [&](const std::string& why) {
            fail(errc::line_parameters, "Could not set the line parameters",
                 device + ": " + settings_text_ + ": " + why);
        };
        termios t{};
        if (::tcgetattr(fd, &t) < 0) refuse(std::strerror(errno));
        ::cfmakeraw(&t);
        t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        t.c_cflag |= settings_.size | settings_.parity | settings_.stop | CLOCAL | CREAD | HUPCL;
        t.c_iflag &= ~(IXON | IXOFF | IXANY);
        if (::cfsetispeed(&t, settings_.speed) < 0 || ::cfsetospeed(&t, settings_.speed) < 0)
            refuse(std::strerror(errno));
        if (::tcsetattr(fd, TCSANOW, &t) < 0) refuse(std::strerror(errno));

        // tcsetattr succeeds when any part of the change took; check it all did.
        termios back{};
        if (::tcgetattr(fd, &back) < 0) refuse(std::strerror(errno));
        const tcflag_t cmask = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CLOCAL | CREAD | HUPCL;
        const tcflag_t imask = IXON | IXOFF | IXANY;
        const tcflag_t lmask = ICANON | ECHO | ISIG | IEXTEN;
        if ((back.c_cflag & cmask) != (t.c_cflag & cmask) || (back.c_iflag & imask) != 0 ||
            (back.c_lflag & lmask) != 0 || ::cfgetospeed(&back) != settings_.speed ||
            ::cfgetispeed(&back) != settings_.speed)
            refuse("the device did not take the settings");
    }

    void change_line(int bit, const char* name, bool high) {
        if (fd_ < 0) throw error(errc::port_not_open, "The port is not open");
        if (::ioctl(fd_, high ? TIOCMBIS : TIOCMBIC, &bit) < 0)
            fail(errc::line_change_failed, "Line change failed",
                 open_device_ + ": " + name + ": " + std::strerror(errno));
    }

    std::function<std::string(std::int16_t)> naming_;
    std::int16_t port_ = 0;
    line_settings settings_;
    std::string settings_text_ = "4800,N,8,1";
    int fd_ = -1;
    std::string open_device_;
};

}  // namespace

namespace detail {

error open_error(const std::string& device, int err) {
    const std::string reason = device + ": " + std::strerror(err);
    switch (err) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return error(errc::port_not_found, "Port not found: " + reason);
    case EACCES:
    case EPERM:  // said once: the system's reason is the same words
        return error(errc::permission_denied,
                     "Permission denied: " + device + " (add your user to the 'dialout' group and log in again)");
    case EBUSY:
    case EWOULDBLOCK:
        return error(errc::port_in_use, "Port in use by another program: " + reason);
    case EIO:  // a ttyS port with no UART behind it
        return error(errc::line_parameters, "Could not set the line parameters: " + reason);
    case ENOTTY:
        return error(errc::open_failed, "Could not open the port: " + device + " is not a serial port");
    default:
        return error(errc::open_failed, "Could not open the port: " + reason);
    }
}

std::unique_ptr<serial_line> make_linux_serial_line(std::function<std::string(std::int16_t)> naming) {
    return std::make_unique<linux_serial_line>(std::move(naming));
}

}  // namespace detail

std::string device_for_port(std::int16_t port) { return ports::device_for_com(port); }

std::optional<line_levels> reported_lines(const serial_line& line) {
    const auto* linux_line = dynamic_cast<const linux_serial_line*>(&line);
    return linux_line ? linux_line->reported() : std::nullopt;
}

std::unique_ptr<serial_line> make_linux_serial_line() { return detail::make_linux_serial_line(device_for_port); }

std::unique_ptr<serial_line> make_linux_serial_line(std::string device) {
    return detail::make_linux_serial_line([device = std::move(device)](std::int16_t) { return device; });
}

}  // namespace kestrix
