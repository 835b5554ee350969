#include "serial_ports.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kestrix::ports {
namespace fs = std::filesystem;

namespace {

constexpr const char* kinds[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA"};

std::string first_line(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    return line;
}

std::string link_name(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.filename().string();
}

bool inside(const fs::path& p, const fs::path& top) {
    const std::string a = p.string(), b = top.string();
    return a.size() >= b.size() && a.compare(0, b.size(), b) == 0;
}

// "ttyUSB12" -> ("ttyUSB", 12); -1 when it has no number.
std::pair<std::string, long> split_name(const std::string& name) {
    std::size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
    if (digits == name.size()) return {name, -1};
    return {name.substr(0, digits), std::stol(name.substr(digits))};
}

std::string group_name(gid_t gid) {
    std::vector<char> buf(16384);
    group g{}, *found = nullptr;
    if (::getgrgid_r(gid, &g, buf.data(), buf.size(), &found) == 0 && found) return g.gr_name;
    return std::to_string(gid);
}

std::string user_name(uid_t uid) {
    std::vector<char> buf(16384);
    passwd p{}, *found = nullptr;
    if (::getpwuid_r(uid, &p, buf.data(), buf.size(), &found) == 0 && found) return p.pw_name;
    return "user " + std::to_string(uid);
}

// Which programs hold which devices, as far as this user may see: flock
// locks (/proc/locks), lock files (/run/lock/LCK..name) of living
// programs, and open descriptors (/proc/PID/fd).
class holders {
public:
    explicit holders(const fs::path& root) : root_(root) {
        std::ifstream locks(root / "proc/locks");
        for (std::string line; std::getline(locks, line);) {
            std::istringstream words(line);
            std::vector<std::string> w;
            for (std::string word; words >> word;) w.push_back(word);
            if (w.size() < 6 || w[1] == "->") continue;
            unsigned major = 0, minor = 0;
            unsigned long long inode = 0;
            if (std::sscanf(w[5].c_str(), "%x:%x:%llu", &major, &minor, &inode) == 3)
                flocks_[{::makedev(major, minor), static_cast<ino_t>(inode)}] = std::atol(w[4].c_str());
        }
        std::error_code ec;
        for (const auto& process : fs::directory_iterator(root / "proc", ec)) {
            const std::string pid = process.path().filename().string();
            if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
            if (std::stol(pid) == ::getpid()) continue;
            std::error_code fd_ec;
            for (const auto& fd : fs::directory_iterator(process.path() / "fd", fd_ec)) {
                std::error_code link_ec;
                const fs::path target = fs::read_symlink(fd.path(), link_ec);
                if (!link_ec) open_[target.string()] = std::stol(pid);
            }
        }
    }

    // Who holds `name`; 0 for nobody this user can see.
    long holder(const std::string& name, const struct stat* node) const {
        if (node) {
            const auto lock = flocks_.find({node->st_dev, node->st_ino});
            if (lock != flocks_.end()) return lock->second;
        }
        for (const char* dir : {"run/lock", "var/lock"}) {
            const long pid = std::atol(first_line(root_ / dir / ("LCK.." + name)).c_str());
            if (pid > 0 && fs::exists(root_ / "proc" / std::to_string(pid))) return pid;
        }
        const auto open = open_.find("/dev/" + name);
        return open == open_.end() ? 0 : open->second;
    }

    std::string describe(long pid) const {
        const std::string comm = first_line(root_ / "proc" / std::to_string(pid) / "comm");
        return (comm.empty() ? "a program" : comm) + " (pid " + std::to_string(pid) + ")";
    }

private:
    fs::path root_;
    std::map<std::pair<dev_t, ino_t>, long> flocks_;
    std::map<std::string, long> open_;
};

// The driver behind a tty's device: newer kernels put a serial-base "port"
// device between the tty and the UART's own, so look past those.
std::string driver_of(const fs::path& device, const fs::path& sys) {
    std::error_code ec;
    for (fs::path p = fs::canonical(device, ec); !ec && inside(p, sys) && p != sys; p = p.parent_path()) {
        const std::string driver = link_name(p / "driver");
        if (!driver.empty() && link_name(p / "subsystem") != "serial-base") return driver;
    }
    return {};
}

// Vendor, product and names of the USB device above a tty, if any.
void usb_details(const fs::path& device, const fs::path& sys, port& out) {
    std::error_code ec;
    for (fs::path p = fs::canonical(device, ec); !ec && inside(p, sys) && p != sys; p = p.parent_path()) {
        if (!fs::exists(p / "idVendor")) continue;
        out.usb_id = first_line(p / "idVendor") + ":" + first_line(p / "idProduct");
        out.maker = first_line(p / "manufacturer");
        out.product = first_line(p / "product");
        return;
    }
}

void access_of(const struct stat& node, const machine& m, port& out) {
    const auto member = [&](gid_t g) { return std::find(m.groups.begin(), m.groups.end(), g) != m.groups.end(); };
    const auto both = [&](mode_t read, mode_t write) { return (node.st_mode & read) && (node.st_mode & write); };
    if (m.uid == 0) out.may_open = true;
    else if (node.st_uid == m.uid) out.may_open = both(S_IRUSR, S_IWUSR);
    else if (member(node.st_gid)) out.may_open = both(S_IRGRP, S_IWGRP);
    else out.may_open = both(S_IROTH, S_IWOTH);
    if (out.may_open) return;
    const std::string group = group_name(node.st_gid);
    if (both(S_IRGRP, S_IWGRP) && !member(node.st_gid))
        out.access_hint = "add your user to the '" + group + "' group (sudo adduser $USER " + group + "), then log in again";
    else
        out.access_hint = "only " + user_name(node.st_uid) + " may open it";
}

}  // namespace

std::string device_for_com(std::int16_t port) {
    if (port <= 0) return {};
    if (port <= 4) return "/dev/ttyS" + std::to_string(port - 1);
    return "/dev/ttyUSB" + std::to_string(port - 5);
}

int com_for_device(const std::string& name) {
    const auto [kind, number] = split_name(name);
    if (kind == "ttyS" && number >= 0 && number <= 3) return static_cast<int>(number) + 1;
    if (kind == "ttyUSB" && number >= 0 && number <= 32767 - 5) return static_cast<int>(number) + 5;
    return 0;
}

machine machine::this_one() {
    machine m;
    m.uid = ::geteuid();
    m.groups.resize(static_cast<std::size_t>(std::max(0, ::getgroups(0, nullptr))));
    m.groups.resize(static_cast<std::size_t>(std::max(0, ::getgroups(static_cast<int>(m.groups.size()), m.groups.data()))));
    m.groups.push_back(::getegid());
    return m;
}

std::vector<port> list(const machine& m) {
    const fs::path root(m.root), sys = root / "sys";
    const holders held(root);
    std::map<std::string, std::string> by_id;  // device node -> its stable name
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root / "dev/serial/by-id", ec)) {
        std::error_code link_ec;
        const fs::path node = fs::canonical(entry.path(), link_ec);
        if (!link_ec) by_id[node.filename().string()] = "/dev/serial/by-id/" + entry.path().filename().string();
    }

    std::vector<port> ports;
    for (const auto& entry : fs::directory_iterator(sys / "class/tty", ec)) {
        const std::string name = entry.path().filename().string();
        const bool known = std::any_of(std::begin(kinds), std::end(kinds),
                                       [&](const char* kind) { return split_name(name).first == kind; });
        if (!known || split_name(name).second < 0 || !fs::exists(entry.path() / "device")) continue;
        port p;
        p.com = com_for_device(name);
        p.device = "/dev/" + name;
        p.driver = driver_of(entry.path() / "device", sys);
        usb_details(entry.path() / "device", sys, p);
        p.no_hardware = split_name(name).first == "ttyS" && first_line(entry.path() / "type") == "0";
        p.console = is_console(m, p.device);
        if (const auto id = by_id.find(name); id != by_id.end()) p.by_id = id->second;
        struct stat node {};
        const bool has_node = ::stat((root / "dev" / name).c_str(), &node) == 0;
        if (has_node) access_of(node, m, p);
        else p.access_hint = "there is no device node " + p.device;
        if (const long pid = held.holder(name, has_node ? &node : nullptr)) {
            p.held = true;
            p.held_by = held.describe(pid);
        }
        ports.push_back(std::move(p));
    }
    std::sort(ports.begin(), ports.end(), [](const port& a, const port& b) {
        if ((a.com == 0) != (b.com == 0)) return a.com != 0;
        if (a.com != b.com) return a.com < b.com;
        return split_name(a.device.substr(5)) < split_name(b.device.substr(5));
    });
    return ports;
}

std::string console_warning(const std::string& port) { return port + " is this machine's system console, not a transmitter"; }

bool is_console(const machine& m, const std::string& device) {
    const fs::path root(m.root);
    std::error_code ec;
    // A stable name links to the node; within the machine's root.
    fs::path node = root / fs::path(device).relative_path();
    for (int hops = 0; hops < 8 && fs::is_symlink(node, ec); ++hops) {
        const fs::path target = fs::read_symlink(node, ec);
        node = target.is_absolute() ? root / target.relative_path() : node.parent_path() / target;
    }
    const std::string name = node.lexically_normal().filename().string();
    if (name.empty()) return false;
    if (first_line(root / "sys/class/tty" / name / "console") == "Y") return true;
    std::ifstream consoles(root / "proc/consoles");
    for (std::string line; std::getline(consoles, line);)
        if (line.substr(0, line.find(' ')) == name) return true;
    return false;
}

std::string describe_com(const machine& m, std::int16_t com) {
    const std::string device = device_for_com(com);
    const std::string name = "COM" + std::to_string(com);
    if (device.empty()) return name + " names no port (1 to 4 are /dev/ttyS0 to /dev/ttyS3, 5 and up /dev/ttyUSB0 and up)";
    const std::vector<port> all = list(m);
    const auto found = std::find_if(all.begin(), all.end(), [&](const port& p) { return p.device == device; });
    if (found == all.end()) return name + " = " + device + ": no such device";
    std::string text = name + " = " + device;
    if (found->no_hardware) return text + ": no hardware behind it";
    const std::string what = found->product.empty() ? found->driver
                                                    : (found->maker.empty() ? "" : found->maker + " ") + found->product;
    if (!what.empty()) text += ", " + what;
    if (found->console) text += ", system console";
    if (found->held) text += ", in use by " + found->held_by;
    if (!found->may_open) text += "; you may not open it: " + found->access_hint;
    return text;
}

}  // namespace kestrix::ports
