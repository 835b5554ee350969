#include "arguments.h"

#include "serial_ports.h"
#include "topics.h"

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

void print_plan(std::ostream& out, const config& c) {
    const transmitter_config& t = c.transmitter;
    const mqtt_config& m = c.mqtt;
    const topics names(m.base_topic, m.discovery_prefix);
    out << "Configuration " << c.file << " is good.\n";
    out << "Transmitter: " << t.name() << ", opened for each burst of commands; a port held by another program is tried for "
        << t.busy_wait << " s.\n";
    if (ports::is_console(ports::machine::this_one(), t.device_path()))
        out << "Warning: " << t.device_path() << " is this machine's system console, not a transmitter "
            << "(kestrix-send --list shows which port is which).\n";
    out << "Broker: " << (m.tls ? "mqtts://" : "mqtt://") << m.host << ":" << m.port << " as " << m.client_id
        << (m.username.empty() ? ", without login" : ", user " + m.username + " (password from " + m.password_file + ")")
        << ".\n";
    out << "Topics: " << m.base_topic << "/<house>/<unit>/set, /dim, /bright; " << m.base_topic
        << "/<house>/all/set; states on .../state; " << m.base_topic << "/bridge/availability and /status.\n";
    out << "Discovery: "
        << (m.discovery_prefix.empty() ? "off" : names.discovery("<id>") + ", " + std::to_string(c.units.size() + 1) + " devices")
        << ".\n";
    out << "Text port (mochad): " << (c.mochad.port ? c.mochad.host + ":" + std::to_string(c.mochad.port) : "off") << ".\n";
    out << (c.units.empty() ? "Units: none (commands for any address are still taken)\n" : "Units:\n");
    for (const unit_config& u : c.units)
        out << "  " << u.at.text() << (u.at.unit < 10 ? "   " : "  ") << (u.dimmable ? "light " : "switch") << "  "
            << u.name << "  (" << names.of(u.at, verb::set) << ")\n";
}

}  // namespace kestrix::bridge
