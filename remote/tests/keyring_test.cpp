// The bridge's password in a real Secret Service (gnome-keyring in a
// private session bus, see the Keyring test in CMakeLists.txt), and with
// no keyring at all.
#include "password_keeper.h"

#include <gtest/gtest.h>

#include <QTest>

namespace vantrel {
namespace {

const QString Account = QStringLiteral("hall@127.0.0.1:1883");

// What `keeper` gives back for the account, as the next run reads it.
std::pair<std::optional<QString>, QString> readBack() {
    std::optional<std::pair<std::optional<QString>, QString>> answer;
    KeyringKeeper().read(Account, [&](std::optional<QString> password, const QString& why) { answer.emplace(password, why); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 30000));
    return answer.value_or(std::pair{std::nullopt, QStringLiteral("no answer")});
}

TEST(Keyring, APasswordKeptIsWhatTheNextRunReads) {
    if (qEnvironmentVariableIsEmpty("VANTREL_TEST_KEYRING")) GTEST_SKIP() << "run by the Keyring test, in a session bus of its own";
    std::optional<QString> written;
    KeyringKeeper().write(Account, QStringLiteral("s3cret"), [&](const QString& why) { written = why; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return written.has_value(); }, 30000));
    EXPECT_EQ(*written, "");
    EXPECT_EQ(readBack().first, "s3cret");
}

TEST(Keyring, WithoutOneNothingIsKeptAndTheReasonIsSaid) {
    if (!qEnvironmentVariableIsEmpty("VANTREL_TEST_KEYRING")) GTEST_SKIP() << "this one has a keyring";
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("DISPLAY");  // no bus started for it either
    const auto [password, why] = readBack();
    EXPECT_FALSE(password);
    EXPECT_TRUE(why.startsWith(QLatin1String("no keyring answered"))) << why.toStdString();
    std::optional<QString> written;  // nor anywhere else, a plain file say
    KeyringKeeper().write(Account, QStringLiteral("s3cret"), [&](const QString& whyNot) { written = whyNot; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return written.has_value(); }, 30000));
    EXPECT_TRUE(written->startsWith(QLatin1String("no keyring answered"))) << written->toStdString();
}

}  // namespace
}  // namespace vantrel
