// How long the control really holds each line state, on this machine's
// counter. Runs SendToCM17 (one ON command) on a serial layer that only
// records the tick of every line change, then prints the minimum, median,
// p99, p99.9 and maximum of every low pulse and every standby, and the time
// of a whole command. The device needs 625 ticks (523.8 us) at least.
//
//   build/bin/kestrix_timing_bench [--benchmark_...]
#include "kestrix/controlcm.h"
#include "timing.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct edge {
    std::uint64_t tick;
    bool low;
};

class timing_line final : public kestrix::serial_line {
public:
    timing_line(kestrix::tick_counter& clock, std::vector<edge>& edges) : clock_(clock), edges_(edges) {}
    void set_port(std::int16_t) override {}
    void set_settings(std::string_view) override {}
    void open() override { open_ = true; }
    void close() override { open_ = false; }
    bool is_open() const override { return open_; }
    void set_dtr(bool high) override { edges_.push_back({clock_.now(), !high}); }
    void set_rts(bool high) override { edges_.push_back({clock_.now(), !high}); }

private:
    kestrix::tick_counter& clock_;
    std::vector<edge>& edges_;
    bool open_ = false;
};

// A counter owned elsewhere, so the line and the control read the same one.
class shared_counter final : public kestrix::tick_counter {
public:
    explicit shared_counter(kestrix::tick_counter& c) : c_(c) {}
    std::uint64_t now() noexcept override { return c_.now(); }

private:
    kestrix::tick_counter& c_;
};

kestrix::detail::steady_counter counter;
std::vector<edge> edges;
std::vector<double> command_ticks;

void BM_SendOnCommand(benchmark::State& state) {
    kestrix::controlcm control(std::make_unique<timing_line>(counter, edges),
                               std::make_unique<shared_counter>(counter));
    control.Init();
    const std::uint8_t on_a1[] = {0xD5, 0xAA, 0x60, 0x00, 0xAD};
    edges.reserve(edges.size() + 160 * static_cast<std::size_t>(state.max_iterations) + 160);
    for (auto _ : state) {
        const std::uint64_t start = counter.now();
        control.SendToCM17(on_a1);
        command_ticks.push_back(static_cast<double>(counter.now() - start));
    }
}
BENCHMARK(BM_SendOnCommand)->Iterations(12)->Unit(benchmark::kMillisecond);

void print_row(const char* name, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    auto at = [&](double q) { return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5))]; };
    const double us = 1e6 / static_cast<double>(kestrix::ticks_per_second);
    std::printf("%-8s %7zu |", name, v.size());
    for (double q : {0.0, 0.5, 0.99, 0.999, 1.0}) std::printf(" %9.0f", at(q));
    std::printf(" |");
    for (double q : {0.0, 0.5, 0.99, 0.999, 1.0}) std::printf(" %9.1f", at(q) * us);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    // Split the recorded edges into low pulses and the standbys between them;
    // a standby longer than a few milliseconds is the closing wait.
    std::vector<double> lows, standbys, closing;
    for (std::size_t i = 1; i < edges.size(); ++i) {
        const double d = static_cast<double>(edges[i].tick - edges[i - 1].tick);
        if (edges[i - 1].low && !edges[i].low) lows.push_back(d);
        else if (!edges[i - 1].low && edges[i].low) (d > 10000 ? closing : standbys).push_back(d);
    }
    std::printf("\n%-8s %7s | %9s %9s %9s %9s %9s | %9s %9s %9s %9s %9s\n", "state", "count", "min", "median",
                "p99", "p99.9", "max", "min us", "median", "p99", "p99.9", "max");
    print_row("low", lows);
    print_row("standby", standbys);
    print_row("closing", closing);
    print_row("command", command_ticks);
    std::printf("(ticks of 1/%llu s; every low and standby must be >= 625 ticks = 523.8 us)\n",
                static_cast<unsigned long long>(kestrix::ticks_per_second));
    const bool ok = !lows.empty() && *std::min_element(lows.begin(), lows.end()) >= 625 &&
                    *std::min_element(standbys.begin(), standbys.end()) >= 625;
    std::printf("%s\n", ok ? "all states long enough" : "SOME STATES TOO SHORT");
    return ok ? 0 : 1;
}
