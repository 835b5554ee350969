// How long the control really holds each line state, on this machine's
// counter, idle and with every core kept busy by spinning threads. Runs
// SendToCM17 (one ON command) on a serial layer that only records the tick
// of every line change, then prints the minimum, median, p99, p99.9 and
// maximum of every low pulse and every standby, the time of a whole
// command, whether the frames ran in real time, and how much CPU the
// closing wait used. The device needs 625 ticks (523.8 us) at least.
//
//   build/bin/kestrix_timing_bench [--benchmark_...]
#include "kestrix/controlcm.h"
#include "timing.h"

#include <benchmark/benchmark.h>

#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

struct edge {
    std::uint64_t tick;
    bool low;
    int policy;
};

// What one mode (idle or loaded) measured.
struct measured {
    std::vector<edge> edges;
    std::vector<double> command_ticks;
    double closing_cpu_s = 0, closing_wall_s = 0;
    std::string realtime = "granted";
};
measured idle, loaded;

double thread_cpu_seconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

kestrix::detail::steady_counter counter;

class timing_line final : public kestrix::serial_line {
public:
    explicit timing_line(measured& m) : m_(m) {}
    void set_port(std::int16_t) override {}
    void set_settings(std::string_view) override {}
    void open() override { open_ = true; }
    void close() override { open_ = false; }
    bool is_open() const override { return open_; }
    void set_dtr(bool high) override { edge(high); }
    void set_rts(bool high) override { edge(high); }
    double last_edge_cpu = 0;

private:
    void edge(bool high) {
        m_.edges.push_back({counter.now(), !high, ::sched_getscheduler(0)});
        // The CPU clock once a command, after its last edge: no extra cost
        // inside the frame.
        if (++count_ % 160 == 0) last_edge_cpu = thread_cpu_seconds();
    }
    std::size_t count_ = 0;
    measured& m_;
    bool open_ = false;
};

// The control's counter, shared with the line so both read the same one.
class shared_counter final : public kestrix::sleeping_counter {
public:
    std::uint64_t now() noexcept override { return counter.now(); }
    void sleep_until(std::uint64_t tick) noexcept override { counter.sleep_until(tick); }
};

// Every core busy at normal priority while it lives.
class load {
public:
    load() {
        for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); ++i)
            spinners_.emplace_back([this] {
                while (!stop_.load(std::memory_order_relaxed)) {
                }
            });
    }
    ~load() {
        stop_ = true;
        for (auto& t : spinners_) t.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> spinners_;
};

void BM_SendOnCommand(benchmark::State& state) {
    const bool busy = state.range(0) != 0;
    measured& m = busy ? loaded : idle;
    auto line = std::make_unique<timing_line>(m);
    timing_line& edges = *line;
    kestrix::controlcm control(std::move(line), std::make_unique<shared_counter>());
    control.realtime_hooks({}, [&](const std::string& why) { m.realtime = "refused: " + why; });
    control.Init();
    const std::uint8_t on_a1[] = {0xD5, 0xAA, 0x60, 0x00, 0xAD};
    m.edges.reserve(m.edges.size() + 160 * static_cast<std::size_t>(state.max_iterations) + 160);
    std::unique_ptr<load> spinning = busy ? std::make_unique<load>() : nullptr;
    for (auto _ : state) {
        const std::uint64_t start = counter.now();
        control.SendToCM17(on_a1);
        const std::uint64_t end = counter.now();
        m.command_ticks.push_back(static_cast<double>(end - start));
        m.closing_cpu_s += thread_cpu_seconds() - edges.last_edge_cpu;
        m.closing_wall_s += static_cast<double>(end - m.edges.back().tick) / static_cast<double>(kestrix::ticks_per_second);
    }
}
BENCHMARK(BM_SendOnCommand)->Arg(0)->Arg(1)->ArgName("loaded")->Iterations(12)->Unit(benchmark::kMillisecond);

constexpr double us_per_tick = 1e6 / static_cast<double>(kestrix::ticks_per_second);

double at(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5))];
}

void print_row(const char* name, const std::vector<double>& v) {
    std::printf("%-8s %7zu |", name, v.size());
    for (double q : {0.0, 0.5, 0.99, 0.999, 1.0}) std::printf(" %9.0f", at(v, q));
    std::printf(" |");
    for (double q : {0.0, 0.5, 0.99, 0.999, 1.0}) std::printf(" %9.1f", at(v, q) * us_per_tick);
    std::printf("\n");
}

// Prints one mode's table; returns whether every state lasted long enough.
bool report(const char* title, const measured& m) {
    // Split the recorded edges into low pulses and the standbys between them;
    // a standby longer than a few milliseconds is the closing wait.
    std::vector<double> lows, standbys, closing, overshoot;
    bool all_fifo = true;
    for (std::size_t i = 1; i < m.edges.size(); ++i) {
        const double d = static_cast<double>(m.edges[i].tick - m.edges[i - 1].tick);
        if (m.edges[i - 1].low && !m.edges[i].low) lows.push_back(d), overshoot.push_back(d - 625);
        else if (!m.edges[i - 1].low && m.edges[i].low) {
            (d > 10000 ? closing : standbys).push_back(d);
            if (d <= 10000) overshoot.push_back(d - 625);
        }
        all_fifo = all_fifo && m.edges[i].policy == SCHED_FIFO;
    }
    std::printf("\n%s; real time %s\n", title, all_fifo ? "granted for every edge" : m.realtime.c_str());
    std::printf("%-8s %7s | %9s %9s %9s %9s %9s | %9s %9s %9s %9s %9s\n", "state", "count", "min", "median", "p99",
                "p99.9", "max", "min us", "median", "p99", "p99.9", "max");
    print_row("low", lows);
    print_row("standby", standbys);
    print_row("closing", closing);
    print_row("command", m.command_ticks);
    std::printf("overshoot of lows and standbys: p99.9 %.1f us, max %.1f us\n", at(overshoot, 0.999) * us_per_tick,
                at(overshoot, 1.0) * us_per_tick);
    std::printf("closing waits: %.1f ms CPU in %.0f ms (%.2f %%)\n", m.closing_cpu_s * 1e3, m.closing_wall_s * 1e3,
                100 * m.closing_cpu_s / m.closing_wall_s);
    return *std::min_element(lows.begin(), lows.end()) >= 625 &&
           *std::min_element(standbys.begin(), standbys.end()) >= 625;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    bool ok = true;  // a filter may leave a mode out
    if (!idle.edges.empty()) ok = report("Idle", idle);
    if (!loaded.edges.empty()) ok = report("Loaded: every core spinning at normal priority", loaded) && ok;
    std::printf("(ticks of 1/%llu s; every low and standby must be >= 625 ticks = 523.8 us)\n",
                static_cast<unsigned long long>(kestrix::ticks_per_second));
    std::printf("%s\n", ok ? "all states long enough" : "SOME STATES TOO SHORT");
    return ok ? 0 : 1;
}
