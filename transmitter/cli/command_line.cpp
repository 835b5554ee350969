#include "command_line.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace kestrix::cli {
namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The whole word as a number in [min, max], or nothing.
std::optional<int> number(const std::string& word, int min, int max) {
    int value = 0;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc{} || end != word.data() + word.size() || value < min || value > max) return std::nullopt;
    return value;
}

[[noreturn]] void bad(const std::string& message) { throw usage_error(message); }

// "A3", "b16", "C": a house letter and an optional unit.
void parse_target(const std::string& word, command& c) {
    const char letter = word.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
    if (letter < 'A' || letter > 'P')
        bad("'" + word + "' is not a house and unit (a letter A to P, then 1 to 16)");
    c.house = std::string(1, letter);
    const std::string unit = word.substr(1);
    if (unit.empty()) return;
    if (!number(unit, 0, 99))
        bad("'" + word + "' is not a house and unit (a letter A to P, then 1 to 16)");
    if (!number(unit, 1, 16)) bad("unit " + unit + " in '" + word + "' is out of range (1 to 16)");
    c.unit = std::to_string(*number(unit, 1, 16));
}

}  // namespace

std::string command::describe() const {
    static const char* const names[] = {"", "", "ON", "OFF", "DIM", "BRIGHT"};
    std::string text = "house " + house;
    if (!unit.empty()) text += " unit " + unit;
    text += std::string(" ") + names[code];
    if (code == 4 || code == 5) text += " " + std::to_string(percent) + "%";
    return text;
}

options parse(const std::vector<std::string>& args) {
    options o;
    std::vector<std::string> words;
    bool options_ended = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // After "--" everything is a command word; so is "-5", a (bad) number.
        if (options_ended || (a.size() > 1 && a[0] == '-' && a[1] >= '0' && a[1] <= '9')) {
            words.push_back(a);
            continue;
        }
        if (a == "--") {
            options_ended = true;
            continue;
        }
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) bad(a + " needs a value");
            return args[++i];
        };
        if (a == "--port") {
            const std::string& v = value();
            auto n = number(v, -32768, 32767);
            if (!n) bad("'" + v + "' is not a port number (--port)");
            o.port = static_cast<std::int16_t>(*n);
        } else if (a == "--device") {
            o.device = value();
            if (o.device.empty()) bad("--device needs a path");
        } else if (a == "--repeat") {
            const std::string& v = value();
            auto n = number(v, 1, 1000);
            if (!n) bad("'" + v + "' is not a repeat count from 1 to 1000 (--repeat)");
            o.repeat = *n;
        } else if (a == "--wait") {
            const std::string& v = value();
            auto n = number(v, 0, 3600);
            if (!n) bad("'" + v + "' is not a number of seconds from 0 to 3600 (--wait)");
            o.wait = *n;
        } else if (a == "--vcd") {
            o.vcd = value();
            if (o.vcd.empty()) bad("--vcd needs a file");
        } else if (a == "--dry-run") {
            o.dry_run = true;
        } else if (a == "--list") {
            o.list = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--check") {
            o.check = true;
        } else if (a == "-v" || a == "--verbose") {
            o.verbose = true;
        } else if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a.size() > 1 && a[0] == '-') {
            bad("unknown option '" + a + "'");
        } else {
            words.push_back(a);
        }
    }
    if (o.help) return o;
    if (o.port && !o.device.empty()) bad("--port and --device cannot be used together");
    if (o.json && !o.list) bad("--json goes with --list");
    if (o.list || o.check) {
        const char* what = o.list ? "--list" : "--check";
        if (o.list && o.check) bad("--list and --check cannot be used together");
        if (o.list && (o.port || !o.device.empty())) bad("--list shows every port: it takes no --port or --device");
        if (o.dry_run || o.repeat != 1 || o.wait || !o.vcd.empty())
            bad(std::string(what) + " sends nothing: it takes no --dry-run, --repeat, --wait or --vcd");
        if (!words.empty()) bad(std::string(what) + " takes no command, but got '" + words.front() + "'");
        return o;
    }

    for (std::size_t i = 0; i < words.size();) {
        command c;
        const std::string& target = words[i++];
        parse_target(target, c);
        if (i >= words.size()) bad("'" + target + "' needs an action: on, off, dim or bright");
        const std::string& action_word = words[i++];
        const std::string action = lower(action_word);
        if (action == "on" || action == "off") {
            c.code = action == "on" ? 2 : 3;
            if (c.unit.empty()) bad("'" + action_word + "' needs a unit: say " + c.house + "1 " + action + ", not " + target + " " + action);
        } else if (action == "dim" || action == "bright") {
            c.code = action == "dim" ? 4 : 5;
            if (i >= words.size()) bad(action + " needs a percentage from 1 to 100 after it");
            std::string p = words[i++];
            if (!p.empty() && p.back() == '%') p.pop_back();
            auto n = number(p, 1, 100);
            if (!n) bad("'" + words[i - 1] + "' is not a percentage from 1 to 100");
            c.percent = static_cast<std::int16_t>(*n);
        } else {
            bad("'" + action_word + "' is not an action (on, off, dim or bright)");
        }
        o.commands.push_back(c);
    }
    if (o.commands.empty()) bad("no command given");
    return o;
}

const char* const help_text =
    R"(Usage: kestrix-send [--port N | --device PATH] [--wait SECONDS] [--dry-run] [--vcd FILE] [--repeat N] [-v]
                    COMMAND...
       kestrix-send --list [--json]
       kestrix-send --check [--port N | --device PATH]
Switch X10 modules through a Firecracker (CM17A) transmitter on a serial port.

A command is a house letter with an optional unit, then an action:
  A3 on          unit 3 of house A on
  a3 off         the same unit off (letters in any case)
  B dim 50       dim the unit last selected in house B by 50 percent
  B12 bright 30  select unit 12 of house B, then brighten it by 30 percent
Several commands run in order. All are checked before anything is sent: one
bad word and nothing is sent at all.

Options:
  --port N       COM port N: 1 to 4 are /dev/ttyS0 to /dev/ttyS3, 5 and up
                 /dev/ttyUSB0 and up (default 1)
  --device PATH  any serial device, such as /dev/ttyUSB1
  --wait SECONDS when another program holds the port (Vantrel, kestrix-bridge,
                 another kestrix-send), wait up to SECONDS for it instead of
                 failing at once with error 8010 (0 to 3600, default 0)
  --dry-run      send to a simulated transmitter instead of a port, and print
                 what it received: the frames, their meaning and any timing
                 fault (every line state must last 0.5 ms)
  --vcd FILE     write every DTR and RTS change, with its time, to FILE as a
                 Value Change Dump, which logic-analyser programs open
                 (pulseview -I vcd -i FILE); with a port or with --dry-run
  --repeat N     run the whole command list N times (1 to 1000, default 1)
  --list         list this machine's serial ports: COM number, device, driver,
                 USB adapter, stable name, and whether you may open it and
                 another program holds it (nothing is opened)
  --json         with --list: the same as a JSON array, for scripts
  --check        check that the port can clock the transmitter: drive DTR and
                 RTS through a short pattern that is no X10 command, read the
                 lines back and time each change; exit 0 if it can
  -v, --verbose  say what is being sent
  -h, --help     show this help
  --             end of the options: every word after it is a command

Exit status: 0 done; 1 the port or the transmitter failed (for --check: the
port cannot drive the transmitter); 2 a bad command line; 3 the dry run found
a timing fault.
)";

}  // namespace kestrix::cli
