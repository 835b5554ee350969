#include "app_error.h"
#include "text_forms.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <functional>

namespace vantrel::text {
namespace {

// A read's outcome: the value, or the error number it failed with.
struct read_case {
    const char* text;
    double value;
    int error = 0;
};

std::ostream& operator<<(std::ostream& os, const read_case& c) { return os << '"' << c.text << '"'; }

void expectRead(const read_case& c, const std::function<double(const QString&)>& read) {
    try {
        const double value = read(QString::fromUtf8(c.text));
        EXPECT_EQ(c.error, 0) << "read as " << value;
        EXPECT_DOUBLE_EQ(value, c.value);
    } catch (const AppError& e) {
        EXPECT_EQ(e.number(), c.error) << e.what();
    }
}

class SingleRead : public ::testing::TestWithParam<read_case> {};
TEST_P(SingleRead, ParsesOrFails) { expectRead(GetParam(), [](const QString& t) { return toSingle(t); }); }
INSTANTIATE_TEST_SUITE_P(Texts, SingleRead,
                         ::testing::Values(read_case{"1215", 1215}, read_case{" 2370 ", 2370},
                                           read_case{"8.25", 8.25}, read_case{"-150", -150},
                                           read_case{"1e3", 1000}, read_case{"", 0, TypeMismatch},
                                           read_case{"abc", 0, TypeMismatch}, read_case{"12abc", 0, TypeMismatch},
                                           read_case{"1e39", 0, Overflow}, read_case{"1e999", 0, Overflow},
                                           read_case{"1e-400", 0}, read_case{"-1e-400", 0}));

TEST(SingleRead, BeyondRangeIsDecidedByTheValue) {
    const QString zeros(400, QLatin1Char('0'));
    EXPECT_EQ(toSingle(QStringLiteral("0.") + zeros + QStringLiteral("1")), 0);
    EXPECT_EQ(toSingle(QStringLiteral("0.") + zeros + QStringLiteral("1e10")), 0);
    try {
        toSingle(QStringLiteral("1") + zeros + QStringLiteral("e-10"));
        ADD_FAILURE() << "read as a number";
    } catch (const AppError& e) {
        EXPECT_EQ(e.number(), Overflow);
    }
}

class IntegerRead : public ::testing::TestWithParam<read_case> {};
TEST_P(IntegerRead, RoundsHalfToEvenWithinSixteenBits) {
    expectRead(GetParam(), [](const QString& t) { return toInteger(t); });
}
INSTANTIATE_TEST_SUITE_P(Texts, IntegerRead,
                         ::testing::Values(read_case{"1", 1}, read_case{"2.5", 2}, read_case{"3.5", 4},
                                           read_case{"-2.5", -2}, read_case{"32767", 32767},
                                           read_case{"-32768", -32768}, read_case{"99999", 0, Overflow},
                                           read_case{"32767.5", 0, Overflow}, read_case{"", 0, TypeMismatch},
                                           read_case{"COM1", 0, TypeMismatch}));

class ColourRead : public ::testing::TestWithParam<read_case> {};
TEST_P(ColourRead, ParsesThirtyTwoBitNumbers) {
    expectRead(GetParam(), [](const QString& t) { return toColour(t); });
}
INSTANTIATE_TEST_SUITE_P(Texts, ColourRead,
                         ::testing::Values(read_case{"4210752", 0x404040}, read_case{"16777215", 0xFFFFFF},
                                           read_case{"-1", -1}, read_case{"2147483647", 2147483647},
                                           read_case{"2147483648", 0, Overflow}, read_case{"", 0, TypeMismatch},
                                           read_case{"white", 0, TypeMismatch}));

class BooleanRead : public ::testing::TestWithParam<read_case> {};
TEST_P(BooleanRead, TakesWordsInAnyCaseOrNumbers) {
    expectRead(GetParam(), [](const QString& t) { return toBoolean(t) ? 1.0 : 0.0; });
}
INSTANTIATE_TEST_SUITE_P(Texts, BooleanRead,
                         ::testing::Values(read_case{"True", 1}, read_case{"true", 1}, read_case{"TRUE", 1},
                                           read_case{"False", 0}, read_case{"fAlSe", 0}, read_case{"-1", 1},
                                           read_case{"1", 1}, read_case{"0", 0}, read_case{"0.0", 0},
                                           read_case{"maybe", 0, TypeMismatch}, read_case{"", 0, TypeMismatch},
                                           read_case{"yes", 0, TypeMismatch}));

TEST(LeadingNumber, NonAsciiTextEndsTheNumber) {
    EXPECT_EQ(leadingNumber(QStringLiteral("\u00e912")), 0);
    EXPECT_EQ(leadingNumber(QStringLiteral("4\u00a02")), 4);
    EXPECT_EQ(leadingNumber(QStringLiteral(" 1 0")), 10);
}

TEST(WriteForms, WholeValuesHaveNoPointAndSevenDigitsAtMost) {
    EXPECT_EQ(fromSingle(1215), "1215");
    EXPECT_EQ(fromSingle(8.25f), "8.25");
    EXPECT_EQ(fromSingle(-150.5f), "-150.5");
    EXPECT_EQ(fromSingle(0.1f), "0.1");
    EXPECT_EQ(fromSingle(1234567), "1234567");
    EXPECT_EQ(fromSingle(9.75f), "9.75");
    EXPECT_EQ(fromInteger(-32768), "-32768");
    EXPECT_EQ(fromColour(0x404040), "4210752");
    EXPECT_EQ(fromBoolean(true), "True");
    EXPECT_EQ(fromBoolean(false), "False");
}

TEST(WriteForms, SinglesFollowTheUsersDecimalSeparatorBothWays) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(fromSingle(8.25f), "8,25");
    EXPECT_FLOAT_EQ(toSingle(QStringLiteral("8,25")), 8.25f);
    EXPECT_FLOAT_EQ(toSingle(QStringLiteral("8.25")), 8.25f);  // a file written elsewhere still reads
    EXPECT_THROW(toSingle(QStringLiteral("1.215,5")), AppError);  // never a silent 1215.5 or 1.2155
    QLocale::setDefault(saved);
}

TEST(Colours, LowByteIsRedAndAHighByteIsNoColour) {
    EXPECT_EQ(colourFromNumber(0x0080FF), QColor(255, 128, 0));
    EXPECT_EQ(numberFromColour(QColor(255, 128, 0)), 0x0080FF);
    EXPECT_EQ(numberFromColour(colourFromNumber(0x123456)), 0x123456);
    EXPECT_THROW(colourFromNumber(-1), AppError);
    EXPECT_THROW(colourFromNumber(0x01000000), AppError);
}

}  // namespace
}  // namespace vantrel::text
