// The bridge's words: MQTT topics and text-port lines into commands.
#include "command_words.h"

#include <gtest/gtest.h>

namespace kestrix::bridge {
namespace {

// What a message or line became: its command, "all <command>", "status A1",
// or "error: ..." with the error's text.
std::string outcome(const topic_message& m) {
    if (!m.cmd) return "error: " + m.error;
    return (m.whole_house ? "all " : "") + m.cmd->describe();
}

std::string outcome(const text_line& t) {
    if (t.status_of) return "status " + t.status_of->text();
    return t.cmd ? t.cmd->describe() : "error: " + t.error;
}

struct word_case {
    const char* topic;  // empty: `words` is a text-port line
    std::string words;
    const char* becomes;  // the outcome, or the start of its error
};

std::ostream& operator<<(std::ostream& os, const word_case& c) { return os << c.topic << " '" << c.words << "'"; }

class Words : public ::testing::TestWithParam<word_case> {};

TEST_P(Words, BecomeTheirCommandOrSayWhatIsWrong) {
    const word_case& c = GetParam();
    const std::string got = *c.topic ? outcome(from_topic("kestrix", c.topic, c.words)) : outcome(from_text(c.words));
    EXPECT_EQ(got.substr(0, std::string(c.becomes).size()), c.becomes) << got;
}

INSTANTIATE_TEST_SUITE_P(
    TopicsAndLines, Words,
    ::testing::Values(
        word_case{"kestrix/a/1/set", "ON", "A1 ON"}, word_case{"kestrix/A/1/set", "off", "A1 OFF"},
        word_case{"kestrix/p/16/set", "On", "P16 ON"}, word_case{"kestrix/a/1/dim", "", "A1 DIM 12%"},
        word_case{"kestrix/a/1/bright", "40%", "A1 BRIGHT 40%"}, word_case{"kestrix/c/all/set", "OFF", "all C0 OFF"},
        word_case{"kestrix/q/1/set", "ON", "error: no such unit"}, word_case{"kestrix/a/17/set", "ON", "error: no such"},
        word_case{"kestrix/a/01/set", "ON", "error: no such"}, word_case{"kestrix/a/1/set", "toggle", "error: unknown word"},
        word_case{"kestrix/a/1/set", "\xff\xfe", "error: the payload '\\xff\\xfe' is not UTF-8"},
        word_case{"kestrix/a/1/set", std::string(1 << 20, 'O'), "error: a payload of 1048576 bytes"},
        word_case{"kestrix/a/1/dim", "0", "error: '0' is not a percentage"},
        word_case{"kestrix/a/1/dim", "101", "error: '101' is not"}, word_case{"kestrix/a/all/dim", "", "error: unknown command topic"},
        word_case{"kestrix/a/1/x/set", "ON", "error: not a command topic"},
        word_case{"other/a/1/set", "ON", "error: not a command topic"},
        word_case{"", "rf a1 on", "A1 ON"}, word_case{"", "RF A1 OFF", "A1 OFF"},
        word_case{"", "pl b12 on", "B12 ON"}, word_case{"", "rf a1 dim 15", "A1 DIM 48%"},
        word_case{"", "rf a1 bright", "A1 BRIGHT 12%"}, word_case{"", "rf a1 dim 31", "A1 DIM 100%"},
        word_case{"", "  getstatus  A1 ", "status A1"}, word_case{"", "rf a1 dim 32", "error: unknown command 'rf a1 dim 32'"},
        word_case{"", "rf q1 on", "error: unknown"}, word_case{"", "rf a1", "error: unknown"},
        word_case{"", "", "error: unknown"}, word_case{"", "rf a1 on now", "error: unknown"},
        word_case{"", "hello\x1b[2J", "error: unknown command 'hello\\x1b[2J'"}));

TEST(Words, ATextLineAndATopicEndInTheSameCommand) {
    EXPECT_EQ(from_text("rf a1 dim 15").cmd, from_topic("kestrix", "kestrix/a/1/dim", "48").cmd);
    EXPECT_EQ(announcement(*from_text("rf b12 bright 3").cmd), "Tx RF HouseUnit: B12 Func: Bright");
}

}  // namespace
}  // namespace kestrix::bridge
