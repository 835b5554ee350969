// The real Linux serial layer, on pseudo-terminals and ordinary files: never
// on a real serial device.
#include "kestrix/linux_serial.h"
#include "line_check.h"
#include "linux_serial_detail.h"
#include "testkit/child.h"
#include "testkit/fakes.h"
#include "testkit/pseudo_terminal.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace {
// What a device that takes only part of a change does to it; unset, the
// change goes to the pseudo-terminal whole.
std::function<void(termios&)> device_keeps_back;
}  // namespace

// The layer's tcsetattr calls come here first: some drivers take part of a
// change and still report success, and a pseudo-terminal never does.
extern "C" int tcsetattr(int fd, int actions, const termios* wanted) {
    using real_tcsetattr = int (*)(int, int, const termios*);
    static const auto real = reinterpret_cast<real_tcsetattr>(dlsym(RTLD_NEXT, "tcsetattr"));
    termios taken = *wanted;
    if (device_keeps_back) device_keeps_back(taken);
    return real(fd, actions, &taken);
}

namespace kestrix {
namespace {

using pty = testing::pseudo_terminal;

int error_number(const std::function<void()>& f, std::string* description = nullptr) {
    try {
        f();
    } catch (const error& e) {
        if (description) *description = e.description();
        return e.number();
    }
    return 0;
}

class PseudoTerminal : public ::testing::Test {
protected:
    pty term;
    std::unique_ptr<serial_line> line = make_linux_serial_line(term.slave);
};

// This process's descriptors open on `path`.
std::vector<int> descriptors_on(const std::string& path) {
    std::vector<int> fds;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(entry.path(), ec) == path) fds.push_back(std::stoi(entry.path().filename()));
    }
    return fds;
}

// The open flags of a descriptor, from /proc.
long open_flags(int fd) {
    std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
    for (std::string word; info >> word;)
        if (word == "flags:" && info >> word) return std::stol(word, nullptr, 8);
    return -1;
}

TEST_F(PseudoTerminal, OpensRawAt4800N81WithoutFlowControlAndDropsTheLinesOnClose) {
    line->set_settings("4800,N,8,1");
    line->open();
    ASSERT_TRUE(line->is_open());
    termios t{};
    ASSERT_EQ(::tcgetattr(term.master, &t), 0);  // a master reports its slave's settings
    EXPECT_EQ(::cfgetospeed(&t), B4800);
    EXPECT_EQ(::cfgetispeed(&t), B4800);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD | HUPCL), tcflag_t{CLOCAL | CREAD | HUPCL});
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    line->close();
    EXPECT_FALSE(line->is_open());
    EXPECT_TRUE(descriptors_on(term.slave).empty());
    line->close();  // a second close does nothing
}

TEST_F(PseudoTerminal, OpensWithoutBlockingAndHoldsThePortAgainstEveryone) {
    line->open();
    const std::vector<int> fds = descriptors_on(term.slave);
    ASSERT_EQ(fds.size(), 1u);
    const long flags = open_flags(fds[0]);
    EXPECT_EQ(flags & O_ACCMODE, O_RDWR);
    EXPECT_TRUE(flags & O_NONBLOCK);  // a port waiting for carrier would hang here
    EXPECT_TRUE(flags & O_CLOEXEC);
    int exclusive = 0;
    ASSERT_EQ(::ioctl(fds[0], TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    // Root may open past TIOCEXCL; the lock still keeps it out.
    const int other = ::open(term.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (other >= 0) {
        EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), -1);
        EXPECT_EQ(errno, EWOULDBLOCK);
        ::close(other);
    } else {
        EXPECT_EQ(errno, EBUSY);
    }
}

struct partial_change {
    const char* name;
    void (*keep_back)(termios&);
};

std::ostream& operator<<(std::ostream& os, const partial_change& c) { return os << c.name; }

class DeviceTakesPart : public PseudoTerminal, public ::testing::WithParamInterface<partial_change> {
protected:
    void TearDown() override { device_keeps_back = nullptr; }
};

TEST_P(DeviceTakesPart, AndTheOpenIsRefused) {
    device_keeps_back = GetParam().keep_back;
    std::string why;
    EXPECT_EQ(error_number([&] { line->open(); }, &why), errc::line_parameters);
    EXPECT_NE(why.find(term.slave), std::string::npos) << why;
    EXPECT_FALSE(line->is_open());
    EXPECT_TRUE(descriptors_on(term.slave).empty());

    // kestrix-send --check says so, and in so many words.
    cli::options check;
    check.check = true;
    check.device = term.slave;
    std::ostringstream out, err;
    EXPECT_EQ(cli::check_port(check, out, err), 1);
    EXPECT_NE(out.str().find("the line settings were refused (error 8015)"), std::string::npos) << out.str();
    EXPECT_NE(err.str().find("kestrix-send: error 8015"), std::string::npos) << err.str();
}

INSTANTIATE_TEST_SUITE_P(
    Changes, DeviceTakesPart,
    ::testing::Values(partial_change{"speed", [](termios& change) { ::cfsetospeed(&change, B9600); }},
                      partial_change{"flow_control", [](termios& change) { change.c_cflag |= CRTSCTS; }},
                      partial_change{"hangup_on_close", [](termios& change) { change.c_cflag &= ~tcflag_t{HUPCL}; }},
                      partial_change{"raw_mode", [](termios& change) { change.c_lflag |= ICANON; }}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(PseudoTerminal, ASecondOpenerIsRefusedUntilTheFirstCloses) {
    line->open();
    auto other = make_linux_serial_line(term.slave);
    std::string why;
    EXPECT_EQ(error_number([&] { other->open(); }, &why), errc::port_in_use);
    EXPECT_NE(why.find(term.slave), std::string::npos) << why;
    line->close();
    EXPECT_EQ(error_number([&] { other->open(); }), 0);
}

std::size_t open_descriptors() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

TEST_F(PseudoTerminal, InitTwiceOnTheOpenPortSucceedsAndKeepsIt) {
    controlcm control(std::move(line), std::make_unique<testing::fake_counter>());
    control.comport(1);  // ignored: the layer is fixed on the pseudo-terminal
    ASSERT_EQ(control.Init(), 0);
    const std::size_t fds = open_descriptors();
    const std::vector<int> held = descriptors_on(term.slave);
    EXPECT_EQ(control.Init(), 0) << control.last_error();
    EXPECT_EQ(open_descriptors(), fds);
    EXPECT_EQ(descriptors_on(term.slave), held);
    auto other = make_linux_serial_line(term.slave);
    EXPECT_EQ(error_number([&] { other->open(); }), errc::port_in_use);
}

// COM1 and COM2 on two pseudo-terminals.
class TwoPorts : public ::testing::Test {
protected:
    pty com1, com2;
    controlcm control{detail::make_linux_serial_line([this](std::int16_t port) {
                          return port == 1 ? com1.slave : port == 2 ? com2.slave : std::string();
                      }),
                      std::make_unique<testing::fake_counter>()};
};

TEST_F(TwoPorts, AnotherPortClosesTheHeldOneFirstEvenWhenItIsGone) {
    control.comport(1);
    ASSERT_EQ(control.Init(), 0);
    ::close(com1.master);  // the adapter is pulled out: its port hangs up
    com1.master = ::posix_openpt(O_RDWR | O_NOCTTY);  // for the destructor
    control.comport(2);
    EXPECT_EQ(control.Init(), 0) << control.last_error();
    EXPECT_TRUE(descriptors_on(com1.slave).empty());
    EXPECT_EQ(descriptors_on(com2.slave).size(), 1u);
    control.comport(0);
    EXPECT_EQ(control.Init(), errc::invalid_port);
    EXPECT_TRUE(descriptors_on(com2.slave).empty());  // not held by a port number that names nothing
}

TEST_F(PseudoTerminal, LineChangesNeedModemLines) {
    line->open();
    std::string why;
    EXPECT_EQ(error_number([&] { line->set_dtr(false); }, &why), errc::line_change_failed);
    EXPECT_NE(why.find("DTR"), std::string::npos) << why;
    EXPECT_EQ(error_number([&] { line->set_rts(true); }), errc::line_change_failed);
}

TEST_F(PseudoTerminal, LineChangesOnAClosedPortAreRefused) {
    EXPECT_EQ(error_number([&] { line->set_dtr(true); }), errc::port_not_open);
    EXPECT_EQ(error_number([&] { line->set_rts(false); }), errc::port_not_open);
}

TEST_F(PseudoTerminal, UnsupportedSettingsAreRefused) {
    for (const char* s : {"4800,X,8,1", "4801,N,8,1", "4800,N,9,1", "4800,N,8", "", "4800,N,8,1,1"})
        EXPECT_EQ(error_number([&] { line->set_settings(s); }), errc::line_parameters) << s;
}

TEST_F(PseudoTerminal, WithoutPermissionTheUserIsPointedToDialout) {
    // Root opens anything; anyone else is shut out of the port here.
    const bool root = ::geteuid() == 0;
    EXPECT_EQ(testing::as_nobody([&] {
                  if (!root && ::chmod(term.slave.c_str(), 0) < 0) return 3;
                  std::string why;
                  const int number = error_number([&] { line->open(); }, &why);
                  return number == errc::permission_denied && why.find("dialout") != std::string::npos ? 0 : 1;
              }),
              0);
}

struct device_case {
    const char* device;
    int number;
};

std::ostream& operator<<(std::ostream& os, const device_case& c) { return os << c.device; }

class NotASerialPort : public ::testing::TestWithParam<device_case> {};

TEST_P(NotASerialPort, IsReportedWithTheDevice) {
    auto line = make_linux_serial_line(GetParam().device);
    std::string why;
    EXPECT_EQ(error_number([&] { line->open(); }, &why), GetParam().number);
    EXPECT_NE(why.find(GetParam().device), std::string::npos) << why;
    EXPECT_FALSE(line->is_open());
}

INSTANTIATE_TEST_SUITE_P(Devices, NotASerialPort,
                         ::testing::Values(device_case{"/dev/kestrix-no-such-port", errc::port_not_found},
                                           device_case{"/dev/null", errc::open_failed},
                                           device_case{"/", errc::open_failed}));

struct errno_case {
    int err;
    int number;
};

std::ostream& operator<<(std::ostream& os, const errno_case& c) { return os << std::strerror(c.err); }

class OpenErrno : public ::testing::TestWithParam<errno_case> {};

// Each reason a device may not open, as the user reads it: the device, the
// system's reason, and only the advice that fits.
TEST_P(OpenErrno, GivesItsNumberAndAnHonestDescription) {
    const error e = detail::open_error("/dev/ttyUSB3", GetParam().err);
    const std::string text = e.description();
    EXPECT_EQ(e.number(), GetParam().number) << text;
    EXPECT_NE(text.find("/dev/ttyUSB3"), std::string::npos) << text;
    EXPECT_EQ(text.find("not found") != std::string::npos, GetParam().number == errc::port_not_found) << text;
    EXPECT_EQ(text.find("dialout") != std::string::npos, GetParam().number == errc::permission_denied) << text;
    EXPECT_EQ(text.find("ermission denied"), text.rfind("ermission denied")) << "said twice: " << text;
}

INSTANTIATE_TEST_SUITE_P(
    Errnos, OpenErrno,
    ::testing::Values(errno_case{ENOENT, errc::port_not_found}, errno_case{ENXIO, errc::port_not_found},
                      errno_case{ENODEV, errc::port_not_found}, errno_case{EACCES, errc::permission_denied},
                      errno_case{EPERM, errc::permission_denied}, errno_case{EBUSY, errc::port_in_use},
                      errno_case{EWOULDBLOCK, errc::port_in_use}, errno_case{EIO, errc::line_parameters},
                      errno_case{EINTR, errc::open_failed}, errno_case{ENOMEM, errc::open_failed},
                      errno_case{EMFILE, errc::open_failed}, errno_case{ETIMEDOUT, errc::open_failed},
                      errno_case{EISDIR, errc::open_failed}, errno_case{ENOTTY, errc::open_failed},
                      errno_case{EROFS, errc::open_failed}));

TEST(ComTable, NamesBuiltInPortsThenUsbAdapters) {
    EXPECT_EQ(device_for_port(1), "/dev/ttyS0");
    EXPECT_EQ(device_for_port(4), "/dev/ttyS3");
    EXPECT_EQ(device_for_port(5), "/dev/ttyUSB0");
    EXPECT_EQ(device_for_port(12), "/dev/ttyUSB7");
    EXPECT_EQ(device_for_port(0), "");
    EXPECT_EQ(device_for_port(-1), "");
}

TEST(ComTable, PortZeroAndBelowAreInvalidWithoutTouchingAnyDevice) {
    for (std::int16_t port : {std::int16_t{0}, std::int16_t{-1}, std::int16_t{-32768}}) {
        auto line = make_linux_serial_line();
        line->set_port(port);
        EXPECT_EQ(error_number([&] { line->open(); }), errc::invalid_port) << port;
    }
}

}  // namespace
}  // namespace kestrix
