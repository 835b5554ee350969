// Configuration files, good and bad: every error names the file, the line
// and column, and what was expected.
#include "arguments.h"
#include "config.h"
#include "log.h"
#include "testkit/scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include <sys/stat.h>

namespace kestrix::bridge {
namespace {

class Config : public ::testing::Test {
protected:
    std::string write(const std::string& text, const std::string& name = "bridge.toml") { return scratch.write(name, text); }
    kestrix::testing::scratch scratch{"kestrix-config"};
    const std::filesystem::path& folder = scratch.path();
};

struct bad_file {
    const char* name;
    const char* text;
    const char* says;  // after the folder; {} stands for the folder
};

std::ostream& operator<<(std::ostream& os, const bad_file& b) { return os << b.name; }

class BadConfig : public Config, public ::testing::WithParamInterface<bad_file> {};

TEST_P(BadConfig, IsRefusedNamingFileLineColumnAndWhatWasExpected) {
    const std::string file = write(GetParam().text);
    try {
        load_config(file);
        FAIL() << "accepted";
    } catch (const config_error& e) {
        std::string says = (folder / GetParam().says).string();
        if (const auto at = says.find("{}"); at != std::string::npos) says.replace(at, 2, folder.string());
        EXPECT_EQ(std::string(e.what()), says);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadConfig,
    ::testing::Values(
        bad_file{"typo", "[transmitter]\nprot = 5\n",
                 "bridge.toml:2:1: unknown key 'prot' in [transmitter]; expected one of port, device, busy_wait"},
        bad_file{"unknown_section", "[mqt]\nhost = \"x\"\n",
                 "bridge.toml:1:2: unknown key 'mqt'; expected one of transmitter, mqtt, mochad, unit"},
        bad_file{"syntax", "[mqtt]\nhost = localhost\n",
                 "bridge.toml:2:8: Error while parsing value: could not determine value type (a text goes in quotes, "
                 "such as host = \"localhost\")"},
        bad_file{"port_as_text", "[mqtt]\nport = \"1883\"\n",
                 "bridge.toml:2:8: [mqtt] port: expected a whole number from 1 to 65535"},
        bad_file{"port_too_large", "[mqtt]\nport = 70000\n",
                 "bridge.toml:2:8: [mqtt] port: expected a whole number from 1 to 65535"},
        bad_file{"tls_as_text", "[mqtt]\ntls = \"yes\"\n", "bridge.toml:2:7: [mqtt] tls: expected true or false"},
        bad_file{"port_and_device", "[transmitter]\nport = 5\ndevice = \"/dev/ttyUSB0\"\n",
                 "bridge.toml:3:10: [transmitter] device: name either a port or a device, not both"},
        bad_file{"wildcard_topic", "[mqtt]\nbase_topic = \"home/#\"\n",
                 "bridge.toml:2:14: [mqtt] base_topic: expected a topic without + or # or empty levels"},
        bad_file{"password_without_user", "[mqtt]\npassword_file = \"pw\"\n",
                 "bridge.toml:2:17: [mqtt] password_file: a password needs a username"},
        bad_file{"password_unreadable", "[mqtt]\nusername = \"u\"\npassword_file = \"missing\"\n",
                 "bridge.toml:3:17: password_file: {}/missing cannot be read: No such file or directory"},
        bad_file{"listen_without_port", "[mochad]\nlisten = \"localhost\"\n",
                 "bridge.toml:2:10: [mochad] listen: expected an address and a port, such as \"127.0.0.1:1099\" or "
                 "\"[::1]:1099\" (or empty: off)"},
        bad_file{"address", "[[unit]]\naddress = \"Q1\"\n",
                 "bridge.toml:2:11: [[unit]] address: expected a house A to P and a unit 1 to 16, e.g. \"A1\""},
        bad_file{"address_missing", "[[unit]]\nname = \"Hall\"\n",
                 "bridge.toml:1:1: [[unit]] address: missing; expected a house A to P and a unit 1 to 16, e.g. \"A1\""},
        bad_file{"address_twice", "[[unit]]\naddress = \"A1\"\n[[unit]]\naddress = \"a1\"\n",
                 "bridge.toml:4:11: [[unit]] address: A1 is configured twice"},
        bad_file{"kind", "[[unit]]\naddress = \"A1\"\nkind = \"dimmer\"\n",
                 "bridge.toml:3:8: [[unit]] kind: expected \"light\" (dimmable) or \"switch\""},
        bad_file{"repeat", "[[unit]]\naddress = \"A1\"\nrepeat = 6\n",
                 "bridge.toml:3:10: [[unit]] repeat: expected a whole number from 0 to 5"},
        // COM1 is the system console on many machines: there is no default port.
        bad_file{"no_port", "# every line commented\n#[transmitter]\n#port = 1\n[mqtt]\nhost = \"hub\"\n",
                 "bridge.toml: [transmitter] port or device: missing; name the transmitter's serial port, as port = 5 or "
                 "device = \"/dev/serial/by-id/...\" ('kestrix-send --list' shows the ports)"},
        bad_file{"transmitter_without_port", "[transmitter]\nbusy_wait = 5\n",
                 "bridge.toml:1:1: [transmitter] port or device: missing; name the transmitter's serial port, as port = 5 or "
                 "device = \"/dev/serial/by-id/...\" ('kestrix-send --list' shows the ports)"},
        bad_file{"dim_steps", "[[unit]]\naddress = \"A1\"\ndim_steps = 33\n",
                 "bridge.toml:3:13: [[unit]] dim_steps: expected a whole number from 2 to 32"},
        bad_file{"on_level", "[[unit]]\naddress = \"A1\"\non_level = \"half\"\n",
                 "bridge.toml:3:12: [[unit]] on_level: expected \"full\" (most lamp modules) or \"last\" (soft-start modules, "
                 "which come back at their last level)"},
        bad_file{"dim_steps_of_a_switch", "[[unit]]\naddress = \"A1\"\nkind = \"switch\"\ndim_steps = 16\n",
                 "bridge.toml:4:13: [[unit]] dim_steps: a switch does not dim (kind = \"light\" does)"},
        bad_file{"listen_not_an_address", "[mochad]\nlisten = \"256.1.1.1:1099\"\n",
                 "bridge.toml:2:10: [mochad] listen: expected an address and a port, such as \"127.0.0.1:1099\" or "
                 "\"[::1]:1099\" (or empty: off)"},
        bad_file{"ca_file_unreadable", "[mqtt]\nca_file = \"ca.pem\"\n",
                 "bridge.toml:2:11: [mqtt] ca_file: {}/ca.pem cannot be read: No such file or directory"},
        bad_file{"certificate_without_key", "[mqtt]\ncert_file = \"bridge.toml\"\n",
                 "bridge.toml:2:13: [mqtt] cert_file and key_file: a client certificate needs its key, and the key its "
                 "certificate"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(Config, DefaultsFillWhatIsNotSaid) {
    write("s3cret\n", "password");
    const config c = load_config(write("[transmitter]\nport = 1\n[mqtt]\ntls = true\nusername = \"hub\"\npassword_file = \"password\"\n"
                                       "[mochad]\nlisten = \"1099\"\n[[unit]]\naddress = \"b12\"\nkind = \"switch\"\n"));
    EXPECT_EQ(c.mqtt.port, 8883);
    EXPECT_EQ(c.mqtt.password, "s3cret");
    EXPECT_EQ(c.mochad.host + ":" + std::to_string(c.mochad.port), "127.0.0.1:1099");  // loopback unless named
    EXPECT_EQ(c.mqtt.client_id.rfind("kestrix-", 0), 0u);
    EXPECT_EQ(c.mqtt.will_topic, "kestrix/bridge/availability");
    ASSERT_EQ(c.units.size(), 1u);
    EXPECT_EQ(c.units[0].name, "B12");
    EXPECT_FALSE(c.units[0].dimmable);
    EXPECT_EQ(c.transmitter.device_path(), "/dev/ttyS0");
    EXPECT_EQ(c.transmitter.busy_wait, 10);
    // A home CA alone means TLS; a second base topic, a client id apart.
    write("", "ca.pem");
    const config other = load_config(write("[transmitter]\nport = 5\n[mqtt]\nca_file = \"ca.pem\"\nbase_topic = \"upstairs\"\n"));
    EXPECT_TRUE(other.mqtt.tls);
    EXPECT_EQ(other.mqtt.port, 8883);
    EXPECT_EQ(other.mqtt.client_id, c.mqtt.client_id + "-upstairs");
}

// Under systemd the password comes as a credential (LoadCredential=),
// readable by the service alone, before one beside the file.
TEST_F(Config, APasswordFileIsLookedForAmongTheServicesCredentialsFirst) {
    write("beside\n", "password");
    write("credential\n", "credentials/password");
    const std::string file = write("[transmitter]\ndevice = \"/dev/ttyUSB0\"\n[mqtt]\nusername = \"hub\"\npassword_file = \"password\"\n");
    ::setenv("CREDENTIALS_DIRECTORY", (folder / "credentials").c_str(), 1);
    const std::string from_credentials = load_config(file).mqtt.password;
    ::unsetenv("CREDENTIALS_DIRECTORY");
    EXPECT_EQ(from_credentials, "credential");
    EXPECT_EQ(load_config(file).mqtt.password, "beside");
}

// --check-config looks at this machine as it is now: what will not work
// is said, and an address it cannot listen on is an error.
struct check_case {
    const char* name;
    const char* text;  // {} stands for the folder
    int status;
    const char* says;  // in what it prints or logs
    const char* not_said = "";
    int password_mode = 0644;
};

std::ostream& operator<<(std::ostream& os, const check_case& c) { return os << c.name; }

class CheckConfig : public Config, public ::testing::WithParamInterface<check_case> {};

TEST_P(CheckConfig, SaysWhatWillNotWorkNow) {
    write("secret\n", "password");
    ::chmod((folder / "password").c_str(), static_cast<mode_t>(GetParam().password_mode));
    const auto here = [&](std::string t) {
        for (std::size_t at; (at = t.find("{}")) != std::string::npos;) t.replace(at, 2, folder.string());
        return t;
    };
    const std::string text = here(GetParam().text);
    std::string said;
    set_log_sink([&](level, const std::string& line) { said += line + "\n"; });
    std::ostringstream out;
    const int status = check_config(out, load_config(write(text)));
    set_log_sink({});
    EXPECT_EQ(status, GetParam().status) << out.str() << said;
    EXPECT_NE((out.str() + said).find(here(GetParam().says)), std::string::npos) << out.str() << said;
    const std::string_view not_said = GetParam().not_said;
    EXPECT_TRUE(not_said.empty() || (out.str() + said).find(not_said) == std::string::npos) << out.str() << said;
}

INSTANTIATE_TEST_SUITE_P(
    Machines, CheckConfig,
    ::testing::Values(
        check_case{"device_not_plugged_in", "[transmitter]\ndevice = \"{}/ttyUSB9\"\n", 0,
                   "/ttyUSB9 does not exist now: No such file or directory (is the adapter plugged in?"},
        check_case{"password_readable_by_all", "[transmitter]\ndevice = \"/dev/null\"\n[mqtt]\nusername = \"u\"\npassword_file = \"password\"\n", 0,
                   "Warning: every user of this machine can read the password in {}"},
        check_case{"password_readable_by_its_group_only",
                   "[transmitter]\ndevice = \"/dev/null\"\n[mqtt]\nusername = \"u\"\npassword_file = \"password\"\n", 0,
                   "(password from {}/password)", "Warning: every user", 0640},
        check_case{"listen_elsewhere", "[transmitter]\nport = 5\n[mochad]\nlisten = \"192.0.2.7:1099\"\n", 2,
                   "{}/bridge.toml:4:10: [mochad] listen: this machine cannot listen on 192.0.2.7: Cannot assign requested address"},
        check_case{"unit_profiles",
                   "[transmitter]\ndevice = \"/dev/null\"\n[[unit]]\naddress = \"A1\"\n[[unit]]\naddress = \"A2\"\ndim_steps = 16\n"
                   "on_level = \"last\"\n",
                   0, "(kestrix/a/2/set), 16 DIM steps from full to dimmest, ON from off gives its last level\n",
                   ", 8 DIM steps from full to dimmest, ON from off gives its last"},
        check_case{"unit_name_with_an_escape", "[transmitter]\ndevice = \"/dev/null\"\n[[unit]]\naddress = \"A1\"\nname = \"Lamp\\u001b[2J\"\n", 0,
                   "Lamp\\x1b[2J"}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace kestrix::bridge
