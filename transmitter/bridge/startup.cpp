#include "startup.h"

#include "discovery.h"
#include "kestrix/linux_serial.h"
#include "serial_ports.h"

namespace kestrix::bridge {

startup parse_startup(const std::vector<std::string>& args) {
    startup s;
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

const char* const startup_help =
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

void print_plan(std::ostream& out, const config& c) {
    out << "Configuration " << c.file << " is good.\n";
    const std::string device = c.device.empty() ? device_for_port(c.port) : c.device;
    out << "Transmitter: " << (c.device.empty() ? "COM" + std::to_string(c.port) + " (" + device + ")" : c.device)
        << ", opened for each burst of commands; a port held by another program is tried for " << c.busy_wait
        << " s.\n";
    if (ports::is_console(ports::machine::this_one(), device))
        out << "Warning: " << device << " is this machine's system console, not a transmitter "
            << "(kestrix-send --list shows which port is which).\n";
    out << "Broker: " << (c.tls ? "mqtts://" : "mqtt://") << c.host << ":" << c.mqtt_port << " as " << c.client_id
        << (c.username.empty() ? ", without login" : ", user " + c.username + " (password from " + c.password_file + ")")
        << ".\n";
    out << "Topics: " << c.base_topic << "/<house>/<unit>/set, /dim, /bright; " << c.base_topic
        << "/<house>/all/set; states on .../state; " << c.base_topic << "/bridge/availability and /status.\n";
    out << "Discovery: "
        << (c.discovery_prefix.empty() ? "off" : c.discovery_prefix + "/device/<id>/config, " +
                                                     std::to_string(c.units.size() + 1) + " devices")
        << ".\n";
    out << "Text port (mochad): " << (c.listen_port ? c.listen_host + ":" + std::to_string(c.listen_port) : "off")
        << ".\n";
    out << (c.units.empty() ? "Units: none (commands for any address are still taken)\n" : "Units:\n");
    for (const unit_config& u : c.units)
        out << "  " << u.at.text() << (u.at.unit < 10 ? "   " : "  ") << (u.dimmable ? "light " : "switch") << "  "
            << u.name << "  (" << state_topic(c, u.at).substr(0, state_topic(c, u.at).size() - 6) << "/set)\n";
}

}  // namespace kestrix::bridge
