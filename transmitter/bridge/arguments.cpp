#include "arguments.h"

#include "log.h"
#include "serial_ports.h"
#include "shown_text.h"
#include "topics.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kestrix::bridge {

arguments parse_arguments(const std::vector<std::string>& args) {
    arguments s;
    for (std::size_t i = 0; i < args.size() && s.error.empty(); ++i) {
        const std::string& a = args[i];
        if (a == "--config" || a == "-c") {
            if (i + 1 < args.size() && !args[i + 1].empty()) s.config_file = args[++i];
            else s.error = a + " needs a file";
        } else if (a == "--check-config") {
            s.check_only = true;
        } else if (a == "-v" || a == "--verbose") {
            s.verbose = true;
        } else if (a == "-h" || a == "--help") {
            s.help = true;
        } else {
            s.error = "unknown argument '" + a + "'";
        }
    }
    return s;
}

const char* const help_text =
    R"(Usage: kestrix-bridge [--config FILE] [--check-config] [-v]
Serve an X10 Firecracker (CM17A) to home-automation hubs over MQTT, with
Home Assistant discovery, and to mochad clients over a text port.

  -c, --config FILE  the configuration (default /etc/kestrix/bridge.toml)
  --check-config     read and check the configuration, print what the
                     bridge would do, and exit: 0 good, 2 bad
  -v, --verbose      log every command as well
  -h, --help         show this help

Exit status: 0 stopped by SIGTERM or SIGINT; 1 could not run; 2 a bad
configuration or command line. See kestrix-bridge(8).
)";

namespace {

// Binding the address to any free port says whether this machine has it,
// whoever holds the port itself now (a running bridge, say).
std::string cannot_listen_on(const std::string& host) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (const int rc = ::getaddrinfo(host.c_str(), "0", &hints, &found); rc != 0) return ::gai_strerror(rc);
    std::string why = "no address";
    for (addrinfo* a = found; a && !why.empty(); a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd >= 0 && ::bind(fd, a->ai_addr, a->ai_addrlen) == 0) why.clear();
        else why = std::strerror(errno);
        if (fd >= 0) ::close(fd);
    }
    ::freeaddrinfo(found);
    return why;
}

}  // namespace

int check_config(std::ostream& out, const config& c) {
    const transmitter_config& t = c.transmitter;
    const mqtt_config& m = c.mqtt;
    const topics names(m.base_topic, m.discovery_prefix);
    if (c.mochad.port) {
        if (const std::string why = cannot_listen_on(c.mochad.host); !why.empty()) {
            log(level::error, c.mochad.at + ": [mochad] listen: this machine cannot listen on " + text::shown(c.mochad.host) + ": " + why);
            return 2;
        }
    }
    out << "Configuration " << text::shown(c.file) << " is good.\n";
    out << "Transmitter: " << text::shown(t.name()) << ", opened for each burst of commands; a port held by another program is tried for "
        << t.busy_wait << " s.\n";
    struct stat node {};
    if (ports::is_console(ports::machine::this_one(), t.device_path()))
        out << "Warning: " << ports::console_warning(t.device_path()) << " (kestrix-send --list shows which port is which).\n";
    else if (::stat(t.device_path().c_str(), &node) != 0)
        out << "Warning: " << text::shown(t.device_path()) << " does not exist now: " << std::strerror(errno)
            << " (is the adapter plugged in? kestrix-send --list shows the ports).\n";
    out << "Broker: " << (m.tls ? "mqtts://" : "mqtt://") << m.host << ":" << m.port << " as " << text::shown(m.client_id)
        << (m.username.empty() ? ", without login" : ", user " + text::shown(m.username) + " (password from " + text::shown(m.password_file) + ")")
        << (m.ca_file.empty() ? "" : ", its CA " + text::shown(m.ca_file)) << ".\n";
    if (!m.password_file.empty() && ::stat(m.password_file.c_str(), &node) == 0 && (node.st_mode & S_IROTH))
        out << "Warning: every user of this machine can read the password in " << text::shown(m.password_file)
            << " (chmod o-r, or see kestrix-bridge(8) for LoadCredential=).\n";
    out << "Topics: " << m.base_topic << "/<house>/<unit>/set, /dim, /bright, /level/set; " << m.base_topic
        << "/<house>/all/set; states on .../state and .../level/state; " << m.base_topic << "/bridge/availability and /status.\n";
    out << "Discovery: "
        << (m.discovery_prefix.empty() ? "off" : names.discovery("<id>") + ", " + std::to_string(c.units.size() + 1) + " devices")
        << ".\n";
    out << "Text port (mochad): " << (c.mochad.port ? c.mochad.host + ":" + std::to_string(c.mochad.port) : "off") << ".\n";
    out << (c.units.empty() ? "Units: none (commands for any address are still taken)\n" : "Units:\n");
    for (const unit_config& u : c.units)
        out << "  " << u.at.text() << (u.at.unit < 10 ? "   " : "  ") << (u.dimmable ? "light " : "switch") << "  "
            << text::shown(u.name) << "  (" << names.of(u.at, verb::set) << ")"
            << (u.repeat ? ", ON and OFF sent " + std::to_string(u.repeat + 1) + " times" : "")
            << (u.dimmable ? ", " + std::to_string(u.module.steps) + " DIM steps from full to dimmest, ON from off gives " +
                                 (u.module.resumes ? "its last level" : "full")
                           : "")
            << "\n";
    return 0;
}

}  // namespace kestrix::bridge
