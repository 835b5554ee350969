#include "command_line.h"

namespace kestrix::cli {
namespace {

[[noreturn]] void bad(const std::string& message) { throw usage_error(message); }

}  // namespace

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
            auto n = x10::whole_number(v, -32768, 32767);
            if (!n) bad("'" + v + "' is not a port number (--port)");
            o.port = static_cast<std::int16_t>(*n);
        } else if (a == "--device") {
            o.device = value();
            if (o.device.empty()) bad("--device needs a path");
        } else if (a == "--repeat") {
            const std::string& v = value();
            auto n = x10::whole_number(v, 1, 1000);
            if (!n) bad("'" + v + "' is not a repeat count from 1 to 1000 (--repeat)");
            o.repeat = *n;
        } else if (a == "--wait") {
            const std::string& v = value();
            auto n = x10::whole_number(v, 0, 3600);
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
        } else if (a == "--calibrate") {
            const std::string& v = value();
            std::string problem;
            o.calibrate = x10::parse_address(v, false, &problem);
            if (!o.calibrate) bad(problem + " (--calibrate)");
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
    if (o.list || o.check || o.calibrate) {
        const char* what = o.list ? "--list" : o.check ? "--check" : "--calibrate";
        if (int(o.list) + int(o.check) + int(o.calibrate.has_value()) > 1)
            bad("--list, --check and --calibrate cannot be used together");
        if (o.list && (o.port || !o.device.empty())) bad("--list shows every port: it takes no --port or --device");
        if (o.calibrate && (o.dry_run || o.repeat != 1 || !o.vcd.empty()))
            bad("--calibrate needs the lamp and a watcher: it takes no --dry-run, --repeat or --vcd");
        if (!o.calibrate && (o.dry_run || o.repeat != 1 || o.wait || !o.vcd.empty()))
            bad(std::string(what) + " sends nothing: it takes no --dry-run, --repeat, --wait or --vcd");
        if (!words.empty()) bad(std::string(what) + " takes no command, but got '" + words.front() + "'");
        return o;
    }

    for (std::size_t i = 0; i < words.size();) {
        const std::string& target = words[i++];
        std::string problem;
        const auto to = x10::parse_address(target, true, &problem);
        if (!to) bad(problem);
        if (i >= words.size()) bad("'" + target + "' needs an action: on, off, dim or bright");
        const std::string& action_word = words[i++];
        const auto what = x10::parse_action(action_word);
        if (!what) bad("'" + action_word + "' is not an action (on, off, dim or bright)");
        const std::string action = x10::lower(action_word);
        x10::command c{*to, *what, 0};
        if (c.switches() && !to->unit)
            bad("'" + action_word + "' needs a unit: say " + to->house + "1 " + action + ", not " + target + " " + action);
        if (!c.switches()) {
            if (i >= words.size()) bad(action + " needs a percentage from 1 to 100 after it");
            const auto percent = x10::parse_percent(words[i++]);
            if (!percent) bad("'" + words[i - 1] + "' is not a percentage from 1 to 100");
            c.percent = *percent;
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
       kestrix-send --calibrate UNIT [--port N | --device PATH] [--wait SECONDS]
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
  --calibrate UNIT
                 find a lamp module's dim_steps for kestrix-bridge with you
                 watching the lamp: UNIT is switched on, then dimmed one
                 frame at a time while you answer that it got dimmer
  -v, --verbose  say what is being sent
  -h, --help     show this help
  --             end of the options: every word after it is a command

Exit status: 0 done; 1 the port or the transmitter failed (for --check: the
port cannot drive the transmitter); 2 a bad command line; 3 the dry run found
a timing fault.
)";

}  // namespace kestrix::cli
