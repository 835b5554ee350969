#include "calibration.h"

#include "command.h"

#include <string>

namespace kestrix::cli {
namespace {

// The most the bridge takes: a module still dimming after that many frames
// is no lamp module it can plan levels for.
constexpr int most_frames = 32;

enum class answer { yes, no, leave };

answer ask(std::istream& in, std::ostream& out) {
    for (std::string line;;) {
        out << "Dimmer than before? [Y/n] " << std::flush;
        if (!std::getline(in, line)) return answer::leave;
        const std::string word = x10::lower(line.substr(0, line.find_last_not_of(" \t\r") + 1));
        if (word.empty() || word == "y" || word == "yes") return answer::yes;
        if (word == "n" || word == "no") return answer::no;
        if (word == "q" || word == "quit") return answer::leave;
        out << "Press Enter if the last frame made the lamp dimmer, n if it did not, q to leave.\n";
    }
}

}  // namespace

int calibrate(const options& o, std::istream& in, std::ostream& out, std::ostream& err, const platform& on) {
    const x10::address unit = *o.calibrate;
    sim::receiver unused;
    std::unique_ptr<tick_counter> counter = on.counter();
    tick_counter& clock = *counter;
    try {
        const std::unique_ptr<controlcm> control = opened_control(o, on.line(o, clock, unused), std::move(counter), out, err, on);
        if (!control) return 1;
        out << "Watch the lamp " << unit.text() << ": it is switched on, then dimmed one frame at a time.\n";
        x10::send(*control, {unit, x10::action::on, 0});
        // One frame each, to the unit the ON addressed.
        const x10::command step{{unit.house, 0}, x10::action::dim, 1};
        for (int frames = 1;; ++frames) {
            x10::send(*control, step);
            const answer a = ask(in, out);
            if (a == answer::leave) {
                out << "Left without a result.\n";
                return 1;
            }
            if (a == answer::no) {
                const int steps = frames - 1;  // the last made no difference
                if (steps < 2) {
                    out << "Only " << steps << " DIM frame made a visible difference: is " << unit.text()
                        << " a lamp module? kestrix-bridge takes 2 to 32 steps.\n";
                    return 1;
                }
                out << "The lamp got dimmer with " << steps << " DIM frames, and not with one more. For kestrix-bridge:\n\n"
                    << "[[unit]]\naddress = \"" << unit.text() << "\"\ndim_steps = " << steps << "\n";
                return 0;
            }
            if (frames == most_frames) {
                out << "After " << most_frames << " DIM frames the lamp still got dimmer each time: the module does not seem to dim "
                    << "in steps (kestrix-bridge takes 32 at most).\n";
                return 1;
            }
        }
    } catch (const error& e) {
        err << "kestrix-send: error " << e.number() << ": " << e.what() << "\n";
        return 1;
    }
}

}  // namespace kestrix::cli
