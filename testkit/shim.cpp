#include "testkit/shim.h"

#include "kestrix/controlcm.h"

#include <fstream>
#include <sstream>

namespace kestrix::testing {

environment shim_env(const std::string& log, const environment& more) {
    environment env = {{"LD_PRELOAD", KESTRIX_SHIM}, {"ASAN_OPTIONS", "verify_asan_link_order=0"}};
    if (!log.empty()) env.emplace_back("KESTRIX_SHIM_LOG", log);
    env.insert(env.end(), more.begin(), more.end());
    return env;
}

std::vector<std::string> frames_of(const sim::receiver& rx) {
    std::vector<std::string> out;
    for (const auto& f : rx.frames()) out.push_back(sim::hex(f.bytes));
    return out;
}

recording replay_shim_log(const std::string& path) {
    const auto ticks_of = [](long long ns) {
        const auto n = static_cast<std::uint64_t>(ns);
        return n / 1'000'000'000 * ticks_per_second + n % 1'000'000'000 * ticks_per_second / 1'000'000'000;
    };
    recording rec;
    std::ifstream in(path);
    std::string line, kind;
    std::uint64_t end = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        long long ns = 0;
        int dtr = 1, rts = 1;
        fields >> ns >> kind >> dtr >> rts;
        end = ticks_of(ns);
        if (kind == "open") ++rec.opened;
        if (kind == "close") ++rec.closed;
        if (kind == "line") rec.edges_ns.push_back(ns);
        if (kind == "open" || kind == "line") rec.rx.lines(ticks_of(ns), dtr, rts);
    }
    rec.rx.finish(end);  // normally the last close
    return rec;
}

}  // namespace kestrix::testing
