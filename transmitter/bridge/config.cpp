#include "config.h"

#include "kestrix/linux_serial.h"
#include "topics.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include <arpa/inet.h>
#include <unistd.h>

namespace kestrix::bridge {
namespace {

class reader {
public:
    explicit reader(std::string file) : file_(std::move(file)) {}

    // "bridge.toml:7:8", or the file alone where nothing is written.
    std::string at(const toml::source_region& where) const {
        return where.begin.line ? file_ + ":" + std::to_string(where.begin.line) + ":" + std::to_string(where.begin.column) : file_;
    }

    [[noreturn]] void fail(const toml::source_region& where, const std::string& what) const {
        throw config_error(at(where) + ": " + what);
    }

    // Every key of `table` must be one of `known`.
    void only(const toml::table& table, const std::string& where, std::initializer_list<const char*> known) const {
        for (const auto& [key, node] : table) {
            if (std::none_of(known.begin(), known.end(), [&](const char* k) { return key.str() == k; })) {
                std::string list;
                for (const char* k : known) list += std::string(list.empty() ? "" : ", ") + k;
                fail(key.source(), "unknown key '" + std::string(key.str()) + "'" + where + "; expected one of " + list);
            }
        }
    }

    std::string text(const toml::table& t, const char* key, const std::string& where, std::string fallback) const {
        const toml::node* n = t.get(key);
        if (!n) return fallback;
        if (!n->is_string()) fail(n->source(), where + key + ": expected a text in quotes");
        return n->value<std::string>().value_or(fallback);
    }

    std::int64_t number(const toml::table& t, const char* key, const std::string& where, std::int64_t fallback,
                        std::int64_t min, std::int64_t max) const {
        const toml::node* n = t.get(key);
        if (!n) return fallback;
        const auto v = n->value_exact<std::int64_t>();
        if (!n->is_integer() || !v || *v < min || *v > max)
            fail(n->source(), where + key + ": expected a whole number from " + std::to_string(min) + " to " +
                                  std::to_string(max));
        return *v;
    }

    bool flag(const toml::table& t, const char* key, const std::string& where, bool fallback) const {
        const toml::node* n = t.get(key);
        if (!n) return fallback;
        if (!n->is_boolean()) fail(n->source(), where + key + ": expected true or false");
        return *n->value<bool>();
    }

    const toml::table* section(const toml::table& root, const char* name) const {
        const toml::node* n = root.get(name);
        if (n && !n->is_table()) fail(n->source(), std::string(name) + ": expected a section [" + name + "]");
        return n ? n->as_table() : nullptr;
    }

    const std::string& file() const { return file_; }

private:
    std::string file_;
};

// A topic level of our own: no wildcards, no empty levels at either end.
bool plain_topic(const std::string& t) {
    return t.find_first_of("+#") == std::string::npos && t.front() != '/' && t.back() != '/' &&
           t.find("//") == std::string::npos && t.find('\0') == std::string::npos;
}


// A file the configuration names: a relative name is looked for among the
// service's credentials first (systemd's LoadCredential=, readable by its
// user alone), then beside the configuration.
std::string locate(const reader& r, const std::string& name) {
    if (name.front() == '/') return name;
    const char* credentials = std::getenv("CREDENTIALS_DIRECTORY");
    const std::string credential = credentials ? std::string(credentials) + "/" + name : "";
    if (!credential.empty() && ::access(credential.c_str(), F_OK) == 0) return credential;
    const auto slash = r.file().rfind('/');
    return slash == std::string::npos ? name : r.file().substr(0, slash + 1) + name;
}

// A file the bridge will read (a CA, a certificate, a key): it must be there now.
std::string readable(const reader& r, const toml::table& t, const char* key, const std::string& where) {
    const std::string name = r.text(t, key, where, "");
    if (name.empty()) return name;
    const std::string path = locate(r, name);
    if (std::ifstream probe(path); !probe) r.fail(t.get(key)->source(), where + key + ": " + path + " cannot be read: " + std::strerror(errno));
    return path;
}

std::string read_password(const reader& r, const toml::source_region& where, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) r.fail(where, "password_file: " + path + " cannot be read: " + std::strerror(errno));
    std::string password((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!password.empty() && (password.back() == '\n' || password.back() == '\r')) password.pop_back();
    return password;
}

// "127.0.0.1:1099", "[::1]:1099", "lamps.local:1099"; a port alone (":1099"
// or "1099") listens on the loopback address only.
bool split_listen(mochad_config& c) {
    const std::string& l = c.listen;
    const auto colon = l.rfind(':');
    std::string host = colon == std::string::npos ? "" : l.substr(0, colon);
    const std::string port = colon == std::string::npos ? l : l.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string::npos) return false;  // an IPv6 address needs its brackets
    int number = 0;
    for (char ch : port) {
        if (ch < '0' || ch > '9' || number > 65535) return false;
        number = number * 10 + (ch - '0');
    }
    if (port.empty() || number < 1 || number > 65535) return false;
    // What looks like an address must be one: 256.1.1.1 is no host name.
    in6_addr any{};
    const bool numeric = host.find_first_not_of("0123456789.") == std::string::npos || host.find(':') != std::string::npos;
    if (numeric && !host.empty() && ::inet_pton(AF_INET, host.c_str(), &any) != 1 && ::inet_pton(AF_INET6, host.c_str(), &any) != 1)
        return false;
    c.host = host.empty() ? "127.0.0.1" : host;
    c.port = number;
    return true;
}

// There is no default port: COM1 is the system console on many machines,
// and clocking it would write garbage to the console, not switch a lamp.
void read_transmitter(const reader& r, const toml::table* section, transmitter_config& c) {
    const std::string where = "[transmitter] ";
    const toml::table none;
    const toml::table& t = section ? *section : none;
    r.only(t, " in [transmitter]", {"port", "device", "busy_wait"});
    if (!t.get("port") && !t.get("device"))
        r.fail(t.source(), where + "port or device: missing; name the transmitter's serial port, as port = 5 or device = "
                                   "\"/dev/serial/by-id/...\" ('kestrix-send --list' shows the ports)");
    c.port = static_cast<std::int16_t>(r.number(t, "port", where, 0, 1, 32767));
    c.device = r.text(t, "device", where, "");
    if (t.get("port") && t.get("device"))
        r.fail(t.get("device")->source(), where + "device: name either a port or a device, not both");
    if (t.get("device") && c.device.empty()) r.fail(t.get("device")->source(), where + "device: expected a path");
    c.busy_wait = static_cast<int>(r.number(t, "busy_wait", where, c.busy_wait, 0, 3600));
}

void read_mqtt(const reader& r, const toml::table& t, mqtt_config& c) {
    const std::string where = "[mqtt] ";
    r.only(t, " in [mqtt]", {"host", "port", "username", "password_file", "tls", "ca_file", "cert_file", "key_file",
                             "client_id", "base_topic", "discovery_prefix"});
    c.host = r.text(t, "host", where, c.host);
    if (c.host.empty()) r.fail(t.get("host")->source(), where + "host: expected the broker's host name or address");
    c.ca_file = readable(r, t, "ca_file", where);
    c.cert_file = readable(r, t, "cert_file", where);
    c.key_file = readable(r, t, "key_file", where);
    if (c.cert_file.empty() != c.key_file.empty())
        r.fail(t.get(c.cert_file.empty() ? "key_file" : "cert_file")->source(),
               where + "cert_file and key_file: a client certificate needs its key, and the key its certificate");
    c.tls = r.flag(t, "tls", where, c.tls) || !c.ca_file.empty() || !c.cert_file.empty();
    c.port = static_cast<int>(r.number(t, "port", where, c.tls ? 8883 : 1883, 1, 65535));
    c.username = r.text(t, "username", where, "");
    c.password_file = r.text(t, "password_file", where, "");
    if (!c.password_file.empty()) {
        const auto& at = t.get("password_file")->source();
        if (c.username.empty()) r.fail(at, where + "password_file: a password needs a username");
        c.password_file = locate(r, c.password_file);
        c.password = read_password(r, at, c.password_file);
    }
    c.client_id = r.text(t, "client_id", where, "");
    c.base_topic = r.text(t, "base_topic", where, c.base_topic);
    if (c.base_topic.empty() || !plain_topic(c.base_topic))
        r.fail(t.get("base_topic")->source(), where + "base_topic: expected a topic without + or # or empty levels");
    c.discovery_prefix = r.text(t, "discovery_prefix", where, c.discovery_prefix);
    if (!c.discovery_prefix.empty() && !plain_topic(c.discovery_prefix))
        r.fail(t.get("discovery_prefix")->source(),
               where + "discovery_prefix: expected a topic without + or # or empty levels (or empty: no discovery)");
}

void read_units(const reader& r, const toml::node& units, config& c) {
    const toml::array* list = units.as_array();
    if (!list) r.fail(units.source(), "unit: expected [[unit]] sections");
    std::set<address> seen;
    for (const toml::node& n : *list) {
        const toml::table* t = n.as_table();
        if (!t) r.fail(n.source(), "unit: expected a [[unit]] section");
        const std::string where = "[[unit]] ";
        r.only(*t, " in [[unit]]", {"address", "name", "kind", "repeat", "dim_steps", "on_level"});
        const toml::node* a = t->get("address");
        if (!a) r.fail(t->source(), where + "address: missing; expected a house A to P and a unit 1 to 16, e.g. \"A1\"");
        const auto at = x10::parse_address(r.text(*t, "address", where, ""));
        if (!at) r.fail(a->source(), where + "address: expected a house A to P and a unit 1 to 16, e.g. \"A1\"");
        if (!seen.insert(*at).second) r.fail(a->source(), where + "address: " + at->text() + " is configured twice");
        unit_config u{*at, r.text(*t, "name", where, at->text()), true, 0, {}};
        if (u.name.empty() || u.name.size() > 100)
            r.fail(t->get("name")->source(), where + "name: expected a name of 1 to 100 characters");
        const std::string kind = r.text(*t, "kind", where, "light");
        if (kind != "light" && kind != "switch")
            r.fail(t->get("kind")->source(), where + "kind: expected \"light\" (dimmable) or \"switch\"");
        u.dimmable = kind == "light";
        u.repeat = static_cast<int>(r.number(*t, "repeat", where, 0, 0, 5));
        for (const char* key : {"dim_steps", "on_level"})
            if (!u.dimmable && t->get(key)) r.fail(t->get(key)->source(), where + key + ": a switch does not dim (kind = \"light\" does)");
        u.module.steps = static_cast<int>(r.number(*t, "dim_steps", where, u.module.steps, 2, 32));
        const std::string on_level = r.text(*t, "on_level", where, "full");
        if (on_level != "full" && on_level != "last")
            r.fail(t->get("on_level")->source(), where + "on_level: expected \"full\" (most lamp modules) or \"last\" "
                                                          "(soft-start modules, which come back at their last level)");
        u.module.resumes = on_level == "last";
        c.units.push_back(u);
    }
}

}  // namespace

std::string transmitter_config::device_path() const { return device.empty() ? device_for_port(port) : device; }

std::string transmitter_config::name() const {
    return device.empty() ? "COM" + std::to_string(port) + " (" + device_path() + ")" : device;
}

config load_config(const std::string& file) {
    reader r(file);
    toml::table root;
    try {
        root = toml::parse_file(file);
    } catch (const toml::parse_error& e) {
        if (!e.source().begin.line) {
            std::ifstream probe(file);
            if (!probe) throw config_error(file + ": cannot be read: " + std::strerror(errno));
        }
        std::string what(e.description());
        // toml++'s words for the commonest slip, a text without its quotes.
        if (what.find("could not determine value type") != std::string::npos)
            what += " (a text goes in quotes, such as host = \"localhost\")";
        r.fail(e.source(), what);
    }
    config c;
    c.file = file;
    r.only(root, "", {"transmitter", "mqtt", "mochad", "unit"});
    if (const toml::table* t = r.section(root, "mqtt")) read_mqtt(r, *t, c.mqtt);
    if (const toml::table* t = r.section(root, "mochad")) {
        r.only(*t, " in [mochad]", {"listen"});
        c.mochad.listen = r.text(*t, "listen", "[mochad] ", "");
        if (const toml::node* n = t->get("listen")) c.mochad.at = r.at(n->source());
        if (!c.mochad.listen.empty() && !split_listen(c.mochad))
            r.fail(t->get("listen")->source(), "[mochad] listen: expected an address and a port, such as "
                                               "\"127.0.0.1:1099\" or \"[::1]:1099\" (or empty: off)");
    }
    if (const toml::node* units = root.get("unit")) read_units(r, *units, c);
    read_transmitter(r, r.section(root, "transmitter"), c.transmitter);
    // Two bridges on one machine serve two base topics: their default ids differ.
    if (c.mqtt.client_id.empty())
        c.mqtt.client_id = "kestrix-" + host_name() + (c.mqtt.base_topic == "kestrix" ? "" : "-" + c.mqtt.base_topic);
    c.mqtt.will_topic = topics(c.mqtt.base_topic, c.mqtt.discovery_prefix).availability();
    c.mqtt.will_payload = "offline";
    return c;
}

std::string host_name() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !name[0]) return "bridge";
    return name;
}

}  // namespace kestrix::bridge
