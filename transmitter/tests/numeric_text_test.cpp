#include "numeric_text.h"
#include "shown_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace kestrix::text {
namespace {

struct leading_case {
    const char* text;
    double value;
};

std::ostream& operator<<(std::ostream& os, const leading_case& c) { return os << '"' << c.text << '"'; }

class LeadingNumber : public ::testing::TestWithParam<leading_case> {};

TEST_P(LeadingNumber, ReadsTheNumberAtTheStart) {
    EXPECT_DOUBLE_EQ(leading_number(GetParam().text), GetParam().value) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(Texts, LeadingNumber,
                         ::testing::Values(leading_case{"12", 12}, leading_case{" 1 2", 12},
                                           leading_case{" 1 0", 10}, leading_case{"\t1\n5", 15},
                                           leading_case{"3x", 3}, leading_case{"12abc", 12},
                                           leading_case{"2.5", 2.5}, leading_case{"-1", -1},
                                           leading_case{"+7", 7}, leading_case{"1e3", 1000},
                                           leading_case{"1.5E-1", 0.15}, leading_case{"2e", 2},
                                           leading_case{"2e+", 2}, leading_case{"1.2.3", 1.2},
                                           leading_case{".5", 0.5}, leading_case{"5.", 5},
                                           leading_case{"&HA", 10}, leading_case{"&H10", 16},
                                           leading_case{"&hff", 255}, leading_case{"&O17", 15},
                                           leading_case{"&O8", 0}, leading_case{"&X1", 0},
                                           leading_case{"1,5", 1}, leading_case{"$5", 0},
                                           leading_case{"", 0}, leading_case{"abc", 0},
                                           leading_case{"-", 0}, leading_case{".", 0},
                                           leading_case{"1e-400", 0}, leading_case{"0x10", 0}));

TEST(LeadingNumber, HugeTextsReadAsInfinityNotGarbage) {
    EXPECT_TRUE(std::isinf(leading_number("1e400")));
    EXPECT_GT(leading_number("&HFFFFFFFFFFFFFFFFFFFF"), 1e20);
}

// Whether a number beyond a double's range is too large or too small
// depends on where its first digit stands, not on how its exponent reads.
TEST(LeadingNumber, BeyondRangeIsDecidedByTheValue) {
    const std::string zeros(400, '0');
    for (const std::string& tiny : {"0." + zeros + "1", "-0." + zeros + "1x", "0." + zeros + "1e10",
                                    "1" + zeros + "e-800", std::string("1e-99999999999999999999")}) {
        EXPECT_EQ(leading_number(tiny), 0) << tiny.substr(0, 10) << "..." << tiny.substr(tiny.size() - 10);
        ASSERT_TRUE(decimal_number(tiny.back() == 'x' ? tiny.substr(0, tiny.size() - 1) : tiny));
    }
    for (const std::string& huge : {"1" + zeros + "e-10", "0." + zeros + "1e800", std::string("-1e400"), std::string("9e99999999999999999999")})
        EXPECT_TRUE(std::isinf(leading_number(huge))) << huge.substr(0, 10) << "..." << huge.substr(huge.size() - 10);
    EXPECT_EQ(decimal_number("1" + zeros + "e-10")->where, decimal::range::overflow);
    EXPECT_EQ(decimal_number("1e-400")->where, decimal::range::underflow);
    EXPECT_EQ(decimal_number("12.5")->where, decimal::range::inside);
    EXPECT_FALSE(decimal_number("12 "));
    EXPECT_FALSE(decimal_number(""));
}

struct round_case {
    double value;
    std::optional<std::int16_t> result;
};

std::ostream& operator<<(std::ostream& os, const round_case& c) { return os << c.value; }

class ToInt16 : public ::testing::TestWithParam<round_case> {};

TEST_P(ToInt16, RoundsHalfToEvenWithinSixteenBits) { EXPECT_EQ(to_int16(GetParam().value), GetParam().result); }

INSTANTIATE_TEST_SUITE_P(Values, ToInt16,
                         ::testing::Values(round_case{2.5, 2}, round_case{3.5, 4}, round_case{-2.5, -2},
                                           round_case{-3.5, -4}, round_case{0.5, 0}, round_case{1.49, 1},
                                           round_case{1.51, 2}, round_case{32767, 32767},
                                           round_case{32767.5, std::nullopt}, round_case{-32768, -32768},
                                           round_case{-32768.5, -32768}, round_case{-32769, std::nullopt},
                                           round_case{40000, std::nullopt}, round_case{NAN, std::nullopt},
                                           round_case{INFINITY, std::nullopt}));

// Text from outside as a log line or a terminal shows it: what is no
// UTF-8, and what would change how the rest is shown, as \xNN.
struct shown_case {
    const char* name;
    std::string text;
    const char* shown;
    bool utf8;
};

std::ostream& operator<<(std::ostream& os, const shown_case& c) { return os << c.name; }

class Shown : public ::testing::TestWithParam<shown_case> {};

TEST_P(Shown, KeepsTextAndEscapesTheRest) {
    EXPECT_EQ(shown(GetParam().text), GetParam().shown);
    EXPECT_EQ(valid_utf8(GetParam().text), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Shown,
    ::testing::Values(shown_case{"plain", "Hall lamp \xc3\xa9\xe2\x82\xac\xf0\x9f\x92\xa1", "Hall lamp \xc3\xa9\xe2\x82\xac\xf0\x9f\x92\xa1", true},
                      shown_case{"escape_control", "a\x1b[2Jb\n", "a\\x1b[2Jb\\x0a", true},
                      shown_case{"c1_control", "\xc2\x9b", "\\xc2\\x9b", true},
                      shown_case{"right_to_left_override_control", "x\xe2\x80\xaey", "x\\xe2\\x80\\xaey", true},
                      shown_case{"isolate_control", "\xe2\x81\xa6", "\\xe2\\x81\\xa6", true},
                      shown_case{"line_separator_control", "\xe2\x80\xa8", "\\xe2\\x80\\xa8", true},
                      shown_case{"overlong_slash", "\xc0\xaf", "\\xc0\\xaf", false},
                      shown_case{"overlong_three_bytes", "\xe0\x80\xaf", "\\xe0\\x80\\xaf", false},
                      shown_case{"surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80", false},
                      shown_case{"beyond_u10ffff", "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80", false},
                      shown_case{"lead_byte_f5", "\xf5\x80\x80\x80", "\\xf5\\x80\\x80\\x80", false},
                      shown_case{"cut_short", "a\xe2\x82", "a\\xe2\\x82", false}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace kestrix::text
