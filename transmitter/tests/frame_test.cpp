// What Exec puts on the air, read back by the receiver from the recorded
// line changes, so the encoder is checked against an independent decoder.
#include "testkit/fakes.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace kestrix {
namespace {

using testing::rig;

struct exec_case {
    std::string house;
    std::string unit;
    std::int16_t command;
    std::int16_t brightness;
    std::vector<std::string> frames;
    std::string house_after = "";  // upper-cased house text, when it differs
};

std::ostream& operator<<(std::ostream& os, const exec_case& c) {
    return os << "house \"" << c.house << "\" unit \"" << c.unit << "\" command " << c.command
              << " brightness " << c.brightness;
}

std::vector<std::string> sent_frames(const exec_case& c, std::string& house) {
    rig r(0, 1);
    EXPECT_EQ(r.control->Init(), 0);
    r.control->Exec(house, c.unit, c.command, c.brightness);
    auto rx = testing::decode(r.log->events, r.clock->current() + 1);
    EXPECT_TRUE(rx.violations().empty()) << rx.violations().front().what;
    return testing::frames_of(rx);
}

// SendToCM17 sends every frame twice.
std::vector<std::string> twice(const std::vector<std::string>& frames) {
    std::vector<std::string> out;
    for (const auto& f : frames) out.insert(out.end(), {f, f});
    return out;
}

class ExecFrames : public ::testing::TestWithParam<exec_case> {};

TEST_P(ExecFrames, SendsTheseFrames) {
    const exec_case& c = GetParam();
    std::string house = c.house;
    EXPECT_EQ(sent_frames(c, house), twice(c.frames));
    EXPECT_EQ(house, c.house_after.empty() ? c.house : c.house_after);
}

// Every house letter with the first and last unit of each half, ON and OFF.
std::vector<exec_case> all_houses() {
    const std::pair<const char*, int> houses[] = {
        {"A", 0x60}, {"B", 0x70}, {"C", 0x40}, {"D", 0x50}, {"E", 0x80}, {"F", 0x90},
        {"G", 0xA0}, {"H", 0xB0}, {"I", 0xE0}, {"J", 0xF0}, {"K", 0xC0}, {"L", 0xD0},
        {"M", 0x00}, {"N", 0x10}, {"O", 0x20}, {"P", 0x30}};
    struct unit { const char* text; int house_bit; int command; };
    const unit units[] = {{"1", 0, 0x00}, {"8", 0, 0x58}, {"9", 4, 0x00}, {"16", 4, 0x58}};
    std::vector<exec_case> cases;
    for (auto [letter, house] : houses)
        for (unit u : units)
            for (std::int16_t cmd : {cmd_on, cmd_off}) {
                char f[20];
                std::snprintf(f, sizeof f, "D5 AA %02X %02X AD", house + u.house_bit,
                              u.command + (cmd == cmd_off ? 0x20 : 0));
                cases.push_back({letter, u.text, cmd, 0, {f}});
            }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(AllHouses, ExecFrames, ::testing::ValuesIn(all_houses()));

const std::string dim_a = "D5 AA 60 98 AD";
const std::string bright_c = "D5 AA 40 88 AD";

INSTANTIATE_TEST_SUITE_P(
    DimAndBright, ExecFrames,
    ::testing::Values(
        exec_case{"A", "9", cmd_dim, 50, {"D5 AA 64 00 AD", dim_a, dim_a, dim_a, dim_a}},
        exec_case{"C", "", cmd_bright, 100, std::vector<std::string>(8, bright_c)},
        exec_case{"C", "3", cmd_bright, 19, {"D5 AA 40 08 AD", bright_c, bright_c}},
        exec_case{"A", "", cmd_dim, 18, {dim_a}},
        exec_case{"A", "5", cmd_dim, 0, {"D5 AA 60 40 AD"}},
        exec_case{"A", "5", cmd_dim, 101, {"D5 AA 60 40 AD"}},
        exec_case{"A", "", cmd_dim, -5, {}},
        exec_case{"A", "", cmd_dim, 6, {dim_a}},
        exec_case{"A", "", cmd_dim, 7, {dim_a}},
        exec_case{"A", "1", cmd_on, 100, {"D5 AA 60 00 AD"}},
        exec_case{"A", "1", 1, 0, {}}, exec_case{"A", "1", 6, 0, {}}, exec_case{"A", "1", 0, 0, {}}));

INSTANTIATE_TEST_SUITE_P(
    UnitTexts, ExecFrames,
    ::testing::Values(exec_case{"A", " 1 2", cmd_on, 0, {"D5 AA 64 18 AD"}},
                      exec_case{"A", "3x", cmd_on, 0, {"D5 AA 60 08 AD"}},
                      exec_case{"A", "2.5", cmd_on, 0, {"D5 AA 60 10 AD"}},
                      exec_case{"A", "3.5", cmd_on, 0, {"D5 AA 60 18 AD"}},
                      exec_case{"A", "&HA", cmd_on, 0, {"D5 AA 64 10 AD"}},
                      exec_case{"A", "0", cmd_on, 0, {"D5 AA 64 58 AD"}},
                      exec_case{"A", "", cmd_on, 0, {"D5 AA 64 58 AD"}},
                      exec_case{"A", "17", cmd_on, 0, {"D5 AA 60 00 AD"}},
                      exec_case{"A", "-1", cmd_on, 0, {"D5 AA 64 48 AD"}},
                      exec_case{"A", "32767", cmd_on, 0, {"D5 AA 64 48 AD"}}));

INSTANTIATE_TEST_SUITE_P(
    HouseTexts, ExecFrames,
    ::testing::Values(exec_case{"a", "1", cmd_off, 0, {"D5 AA 60 20 AD"}, "A"},
                      exec_case{"p", "16", cmd_off, 0, {"D5 AA 34 78 AD"}, "P"},
                      exec_case{"Q", "1", cmd_on, 0, {"D5 AA 10 00 AD"}},
                      exec_case{"", "1", cmd_on, 0, {"D5 AA 10 00 AD"}},
                      exec_case{"AB", "1", cmd_on, 0, {"D5 AA 10 00 AD"}},
                      exec_case{"ab", "1", cmd_on, 0, {"D5 AA 10 00 AD"}, "AB"},
                      exec_case{"b", "12", cmd_on, 0, {"D5 AA 74 18 AD"}, "B"}));

class ExecOverflow : public ::testing::TestWithParam<const char*> {};

TEST_P(ExecOverflow, FailsBeforeSendingAnything) {
    rig r;
    ASSERT_EQ(r.control->Init(), 0);
    std::string house = "a";
    try {
        r.control->Exec(house, GetParam(), cmd_on);
        FAIL() << "no error";
    } catch (const error& e) {
        EXPECT_EQ(e.number(), errc::overflow);
        EXPECT_EQ(e.description(), "Overflow");
    }
    EXPECT_TRUE(r.log->events.empty());
    EXPECT_EQ(house, "A");  // the house text was already upper-cased
}

INSTANTIATE_TEST_SUITE_P(UnitTexts, ExecOverflow, ::testing::Values("40000", "-32768", "32767.5", "1e9", "&H8000"));

}  // namespace
}  // namespace kestrix
