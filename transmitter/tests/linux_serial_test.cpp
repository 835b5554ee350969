// The real Linux serial layer, on pseudo-terminals and ordinary files: never
// on a real serial device.
#include "kestrix/linux_serial.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

namespace kestrix {
namespace {

// A pseudo-terminal pair; the layer opens the slave side.
struct pty {
    pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) < 0 || ::unlockpt(master) < 0) std::abort();
        slave = ::ptsname(master);
    }
    ~pty() { ::close(master); }
    int master;
    std::string slave;
};

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

TEST_F(PseudoTerminal, OpensRawAt4800N81WithoutFlowControl) {
    line->set_settings("4800,N,8,1");
    line->open();
    ASSERT_TRUE(line->is_open());
    termios t{};
    ASSERT_EQ(::tcgetattr(term.master, &t), 0);  // a master reports its slave's settings
    EXPECT_EQ(::cfgetospeed(&t), B4800);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    line->close();
    EXPECT_FALSE(line->is_open());
    line->close();  // a second close does nothing
}

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
    EXPECT_EQ(control.Init(), 0) << control.last_error();
    EXPECT_EQ(open_descriptors(), fds);
    auto other = make_linux_serial_line(term.slave);
    EXPECT_EQ(error_number([&] { other->open(); }), errc::port_in_use);
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
    // Root opens anything, so try as nobody in a child process.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0) {
            if (::setgid(65534) < 0 || ::setuid(65534) < 0) ::_exit(2);
        } else if (::chmod(term.slave.c_str(), 0) < 0) {
            ::_exit(3);
        }
        std::string why;
        int number = error_number([&] { line->open(); }, &why);
        ::_exit(number == errc::permission_denied && why.find("dialout") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
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
                                           device_case{"/dev/null", errc::port_not_found},
                                           device_case{"/", errc::port_not_found}));

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
