// kestrix-send --list on made-up machines: sysfs, device nodes, locks and
// processes built in a folder, never this machine's own.
#include "command_line.h"
#include "port_report.h"
#include "send_program.h"
#include "serial_ports.h"
#include "testkit/scratch.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kestrix {
namespace {
namespace fs = std::filesystem;

// Reads back what print_ports_json writes.
std::vector<ports::port> read_json(const std::string& text) {
    std::vector<ports::port> out;
    for (const auto& j : nlohmann::json::parse(text)) {
        ports::port p;
        p.com = j.at("com").is_null() ? 0 : j.at("com").get<int>();
        for (auto [key, field] : {std::pair{"device", &ports::port::device}, {"driver", &ports::port::driver},
                                  {"usb_id", &ports::port::usb_id}, {"product", &ports::port::product},
                                  {"maker", &ports::port::maker}, {"by_id", &ports::port::by_id},
                                  {"access_hint", &ports::port::access_hint}, {"held_by", &ports::port::held_by}})
            p.*field = j.at(key).get<std::string>();
        for (auto [key, field] : {std::pair{"no_hardware", &ports::port::no_hardware}, {"console", &ports::port::console},
                                  {"may_open", &ports::port::may_open}, {"held", &ports::port::held}})
            p.*field = j.at(key).get<bool>();
        out.push_back(p);
    }
    return out;
}

class FakeMachine : public ::testing::Test {
protected:
    void file(const std::string& path, const std::string& text, mode_t mode = 0644) {
        ::chmod(folder.write(path, text).c_str(), mode);
    }
    void link(const std::string& path, const std::string& target) {
        fs::create_directories((root / path).parent_path());
        fs::create_symlink(target, root / path);
    }
    // A tty whose device is `device` (below sys/devices), with its node.
    void tty(const std::string& name, const std::string& device, mode_t mode, const std::string& type = "") {
        fs::create_directories(root / "sys/devices" / device);
        link("sys/class/tty/" + name + "/device", "../../../devices/" + device);
        if (!type.empty()) file("sys/class/tty/" + name + "/type", type + "\n");
        file("dev/" + name, "", mode);
    }
    void driver(const std::string& device, const std::string& bus, const std::string& name) {
        link("sys/devices/" + device + "/driver", "../../../bus/" + bus + "/drivers/" + name);
    }
    void usb(const std::string& device, const std::string& id, const std::string& maker, const std::string& product) {
        file("sys/devices/" + device + "/idVendor", id.substr(0, 4) + "\n");
        file("sys/devices/" + device + "/idProduct", id.substr(5) + "\n");
        if (!maker.empty()) file("sys/devices/" + device + "/manufacturer", maker + "\n");
        file("sys/devices/" + device + "/product", product + "\n");
    }
    void process(int pid, const std::string& name) { file("proc/" + std::to_string(pid) + "/comm", name + "\n"); }

    ports::machine as_user() const {
        ports::machine m;
        m.root = root.string();
        m.uid = ::getuid() + 1000;  // someone else than the owner of the nodes
        return m;
    }

    testing::scratch folder{"kestrix-ports"};
    const fs::path& root = folder.path();
};

// A PC with four ttyS of which one is real (behind the serial-base port
// device of newer kernels), an FTDI and a CH340 adapter with stable names,
// an Arduino on ttyACM0; one node only its owner may open, and three ports
// held by other programs in the three ways programs hold ports.
class PortList : public FakeMachine {
protected:
    void SetUp() override {
        driver("pnp0/00:01", "pnp", "serial");
        for (const char* level : {"pnp0/00:01/00:01:0", "pnp0/00:01/00:01:0/00:01:0.0"})
            link(std::string("sys/devices/") + level + "/subsystem", "../../../../bus/serial-base");
        driver("pnp0/00:01/00:01:0", "serial-base", "ctrl");
        tty("ttyS0", "pnp0/00:01/00:01:0/00:01:0.0", 0600, "4");
        driver("platform/serial8250", "platform", "serial8250");
        for (const char* name : {"ttyS1", "ttyS2", "ttyS3"}) tty(name, "platform/serial8250", 0660, "0");
        const std::string hub = "pci0000:00/0000:00:14.0/usb1/";
        usb(hub + "1-1", "0403:6001", "FTDI", "FT232R USB UART");
        tty("ttyUSB0", hub + "1-1/1-1:1.0/ttyUSB0", 0666);
        driver(hub + "1-1/1-1:1.0/ttyUSB0", "usb-serial", "ftdi_sio");
        usb(hub + "1-2", "1a86:7523", "", "USB \"Serial\"\\2\x1b[31m");  // what a descriptor holds is arbitrary
        tty("ttyUSB1", hub + "1-2/1-2:1.0/ttyUSB1", 0660);
        driver(hub + "1-2/1-2:1.0/ttyUSB1", "usb-serial", "ch341");
        usb(hub + "1-3", "2341:0043", "Arduino (www.arduino.cc)", "Arduino Uno");
        tty("ttyACM0", hub + "1-3/1-3:1.0", 0666);
        driver(hub + "1-3/1-3:1.0", "usb", "cdc_acm");
        fs::create_directories(root / "sys/class/tty/tty1");  // a console: no device, not listed
        link("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB0");
        link("dev/serial/by-id/usb-1a86_USB_Serial-if00-port0", "../../ttyUSB1");
        link("dev/serial/by-id/usb-Arduino__www.arduino.cc__0043_7563-if00", "../../ttyACM0");

        file("sys/class/tty/ttyS0/console", "Y\n");  // console=ttyS0 on the kernel's command line
        file("sys/class/tty/ttyS1/console", "N\n");
        file("proc/consoles", "tty0                 -WU (EC  p  )    4:7\nttyUSB1              -W- (E   p  )  188:1\n");
        process(4242, "minicom");
        link("proc/4242/fd/5", "/dev/ttyUSB1");
        process(4243, "screen");
        file("run/lock/LCK..ttyACM0", "      4243\n");
        process(4244, "vantrel");
        struct stat node {};
        ::stat((root / "dev/ttyS0").c_str(), &node);
        char lock[128];
        std::snprintf(lock, sizeof lock, "1: FLOCK  ADVISORY  WRITE 4244 %02x:%02x:%llu 0 EOF\n", major(node.st_dev),
                      minor(node.st_dev), static_cast<unsigned long long>(node.st_ino));
        file("proc/locks", lock);
        file("run/lock/LCK..ttyUSB0", "      9999\n");  // left by a program long gone: not held
    }

};

struct port_row {
    ports::port port;
    const char* hint;  // what the access hint must say, if anything
};

std::ostream& operator<<(std::ostream& os, const port_row& r) { return os << r.port.device; }

ports::port port(int com, const char* device, const char* driver, bool may_open) {
    ports::port p;
    p.com = com, p.device = device, p.driver = driver, p.may_open = may_open;
    return p;
}

ports::port usb(ports::port p, const char* id, const char* maker, const char* product, const char* by_id) {
    p.usb_id = id, p.maker = maker, p.product = product, p.by_id = std::string("/dev/serial/by-id/") + by_id;
    return p;
}

ports::port held(ports::port p, const char* by) {
    p.held = true, p.held_by = by;
    return p;
}

ports::port no_hardware(ports::port p) {
    p.no_hardware = true;
    return p;
}

ports::port console(ports::port p) {
    p.console = true;
    return p;
}

// In COM order, then the port without a COM number.
const port_row rows[] = {
    {console(held(port(1, "/dev/ttyS0", "serial", false), "vantrel (pid 4244)")), "only "},
    {no_hardware(port(2, "/dev/ttyS1", "serial8250", false)), "' group (sudo adduser $USER "},
    {no_hardware(port(3, "/dev/ttyS2", "serial8250", false)), "' group"},
    {no_hardware(port(4, "/dev/ttyS3", "serial8250", false)), "' group"},
    {usb(port(5, "/dev/ttyUSB0", "ftdi_sio", true), "0403:6001", "FTDI", "FT232R USB UART",
         "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"),
     ""},
    {console(held(usb(port(6, "/dev/ttyUSB1", "ch341", false), "1a86:7523", "", "USB \"Serial\"\\2\x1b[31m",
                      "usb-1a86_USB_Serial-if00-port0"),
                  "minicom (pid 4242)")),
     "' group (sudo adduser $USER "},
    {held(usb(port(0, "/dev/ttyACM0", "cdc_acm", true), "2341:0043", "Arduino (www.arduino.cc)", "Arduino Uno",
              "usb-Arduino__www.arduino.cc__0043_7563-if00"),
          "screen (pid 4243)"),
     ""},
};

TEST_F(PortList, FindsEveryPortWithWhatIsBehindItAndWhoHoldsIt) {
    const std::vector<ports::port> found = ports::list(as_user());
    ASSERT_EQ(found.size(), std::size(rows));
    for (std::size_t i = 0; i < found.size(); ++i) {
        ports::port got = found[i];
        EXPECT_NE(got.access_hint.find(rows[i].hint), std::string::npos) << got.device << ": " << got.access_hint;
        EXPECT_EQ(got.access_hint.empty(), got.may_open) << got.device;
        got.access_hint.clear();
        EXPECT_EQ(got, rows[i].port) << rows[i] << " was " << got.device << " " << got.driver << " " << got.held_by;
    }
    std::ostringstream text;
    cli::print_ports(text, found);
    std::string line;
    std::istringstream lines(text.str());
    for (const port_row& row : rows) {
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(line.rfind(row.port.com ? "COM" + std::to_string(row.port.com) + " " : "-", 0), 0u) << line;
        for (const std::string& part : {row.port.device, row.port.driver, row.port.by_id, row.port.held_by})
            EXPECT_NE(line.find(part), std::string::npos) << part << " missing from: " << line;
        EXPECT_EQ(line.find("no hardware") != std::string::npos, row.port.no_hardware) << line;
        EXPECT_EQ(line.find("use --device") != std::string::npos, row.port.com == 0) << line;
        EXPECT_EQ(line.find("system console") != std::string::npos, row.port.console) << line;
        EXPECT_EQ(line.find('\x1b'), std::string::npos) << "an escape sequence reached the terminal: " << line;
        EXPECT_EQ(line.find(", free"), std::string::npos) << line;  // no permission and free are two facts
        EXPECT_EQ(line.find(row.port.device), 6u) << line;  // the columns line up
    }
    EXPECT_NE(text.str().find("USB \"Serial\"\\2\\x1b[31m"), std::string::npos) << text.str();
    // A stable name is the console its node is.
    EXPECT_TRUE(ports::is_console(as_user(), "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0"));
    EXPECT_FALSE(ports::is_console(as_user(), "/dev/ttyUSB0"));
}

TEST_F(PortList, TheJsonReadsBackToTheSameRows) {
    std::vector<ports::port> found = ports::list(as_user());
    std::ostringstream json;
    cli::print_ports_json(json, found);
    EXPECT_EQ(read_json(json.str()), found) << json.str();

    // An adapter may report any bytes as its name: the JSON stays valid.
    found[0].product = "FT232R \xff\xfe\"\n\x01";
    json.str("");
    cli::print_ports_json(json, found);
    EXPECT_EQ(read_json(json.str()).at(0).product, "FT232R \xEF\xBF\xBD\xEF\xBF\xBD\"\n\x01") << json.str();
}

// A send or check that names no port would clock the console: refused,
// unless the user named it.
TEST_F(PortList, TheConsoleIsNoDefaultPort) {
    const auto refusal = [&](const char* line) {
        std::vector<std::string> words;
        std::istringstream in(line);
        for (std::string w; in >> w;) words.push_back(w);
        return cli::console_refusal(cli::parse(words), as_user());
    };
    for (const char* line : {"A3 on", "--check", "-v --repeat 2 B1 off"}) {
        const std::string why = refusal(line);
        EXPECT_NE(why.find("COM1 (/dev/ttyS0) is this machine's system console"), std::string::npos) << line << ": " << why;
        EXPECT_NE(why.find("kestrix-send --list"), std::string::npos) << why;
    }
    for (const char* line : {"--port 1 A3 on", "--device /dev/ttyS0 A3 on", "--check --port 1", "--dry-run A3 on"})
        EXPECT_EQ(refusal(line), "") << line;
    file("sys/class/tty/ttyS0/console", "N\n");
    EXPECT_EQ(refusal("A3 on"), "");
}

TEST_F(FakeMachine, AMachineWithoutSerialPortsSaysSo) {
    fs::create_directories(root / "sys/class/tty/tty1");
    const std::vector<ports::port> found = ports::list(as_user());
    EXPECT_TRUE(found.empty());
    std::ostringstream text, json;
    cli::print_ports(text, found);
    cli::print_ports_json(json, found);
    EXPECT_EQ(text.str(), "no serial ports found\n");
    EXPECT_EQ(read_json(json.str()), found);
}

TEST_F(PortList, TheRemoteNamesTheDeviceOfACom) {
    const ports::machine m = as_user();
    EXPECT_EQ(ports::describe_com(m, 5), "COM5 = /dev/ttyUSB0, FTDI FT232R USB UART");
    EXPECT_EQ(ports::describe_com(m, 2), "COM2 = /dev/ttyS1: no hardware behind it");
    EXPECT_EQ(ports::describe_com(m, 7), "COM7 = /dev/ttyUSB2: no such device");
    EXPECT_NE(ports::describe_com(m, 6).find("in use by minicom (pid 4242)"), std::string::npos);
    EXPECT_NE(ports::describe_com(m, 1).find("you may not open it"), std::string::npos);
    EXPECT_NE(ports::describe_com(m, 0).find("names no port"), std::string::npos);
}

}  // namespace
}  // namespace kestrix
