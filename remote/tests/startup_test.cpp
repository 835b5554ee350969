// Start-up without a usable transmitter library: a message naming what is
// missing and a non-zero exit, before any window, never a crash.
#include "testkit/child.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include <signal.h>
#include <unistd.h>

namespace {

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("bin")));
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("lib")));
        program = dir.filePath(QStringLiteral("bin/vantrel"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(VANTREL_PROGRAM), program));
        // A runtime folder of its own: the remote another test starts side
        // by side holds the one-remote-per-display lock in the shared one.
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("runtime")));
        QFile::setPermissions(dir.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // What every start of the copied program gets: its own settings and runtime folders.
    std::vector<std::pair<std::string, std::string>> own(std::vector<std::pair<std::string, std::string>> more) const {
        more.emplace_back("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toStdString());
        more.emplace_back("XDG_RUNTIME_DIR", dir.filePath(QStringLiteral("runtime")).toStdString());
        return more;
    }

    // Runs the copied program offscreen, or with no display at all; returns
    // its exit status.
    int run(const std::vector<std::string>& arguments = {}, bool display = true) {
        kestrix::testing::launch how{{program.toStdString()}, own({{"QT_QPA_PLATFORM", "offscreen"}})};
        how.argv.insert(how.argv.end(), arguments.begin(), arguments.end());
        if (!display) how.unset = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
        const kestrix::testing::ending end = kestrix::testing::run(how, 30);
        output = QString::fromStdString(end.output);
        return end.exited ? end.status : -1;
    }

    QTemporaryDir dir;
    QString program;
    QString output;  // standard output and error
};

// A terminal with no desktop: questions are answered, and the window that
// cannot open is said so in one line, not with Qt's abort.
TEST_F(Startup, WithoutADisplayItAnswersHelpAndVersionAndSaysWhyItCannotStart) {
    EXPECT_EQ(run({"--help"}, false), 0);
    EXPECT_TRUE(output.startsWith(QStringLiteral("Usage: vantrel"))) << output.toStdString();
    EXPECT_EQ(run({"--version"}, false), 0);
    EXPECT_EQ(output, QStringLiteral("vantrel 1.0.0\n"));
    EXPECT_EQ(run({}, false), 1);
    EXPECT_EQ(output.count(QLatin1Char('\n')), 1) << output.toStdString();
    EXPECT_TRUE(output.startsWith(QStringLiteral("vantrel: no display"))) << output.toStdString();
}

// A log-off or a service manager's stop while the start-up error waits for
// its OK: the program ends at once, without a word saved.
class SignalDuringTheStartUpError : public Startup, public ::testing::WithParamInterface<int> {};

TEST_P(SignalDuringTheStartUpError, EndsTheProgramWithinASecond) {
    if (::access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "Xvfb is not installed (apt install xvfb): no display to show the box on";
    // An X server of the test's own; it says which display it took once it listens.
    // Its complaints about displays others hold (tests run side by side) would
    // read as the answer, so only the number is kept.
    kestrix::testing::child x(kestrix::testing::launch(
        {"/bin/sh", "-c", "exec /usr/bin/Xvfb -displayfd 1 -nolisten tcp -screen 0 800x600x24 2>/dev/null"}));
    ASSERT_TRUE(x.says("\n")) << x.output();
    const std::string display = ":" + x.output().substr(0, x.output().find('\n'));
    kestrix::testing::launch how({program.toStdString()}, own({{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", display}}));
    kestrix::testing::child vantrel(how);  // no library beside it: the box says so
    ASSERT_TRUE(vantrel.says("was not found", 20)) << vantrel.output();
    const double asked = kestrix::testing::monotonic_seconds();
    ::kill(vantrel.pid(), GetParam());
    const kestrix::testing::ending end = vantrel.finish(0, 10);
    EXPECT_LT(kestrix::testing::monotonic_seconds() - asked, 1.0);
    EXPECT_TRUE(end.exited && end.status != 0) << end.status << "\n" << end.output;
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("config/Vantrel.conf"))));
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalDuringTheStartUpError, ::testing::Values(SIGTERM, SIGHUP),
                         [](const auto& row) { return std::string(sigabbrev_np(row.param)); });

struct library_case {
    const char* name;
    const char* library;  // what lies where the library belongs: a file to copy, "junk" bytes, or nothing
    std::vector<const char*> says;
};

std::ostream& operator<<(std::ostream& os, const library_case& c) { return os << c.name; }

class UnusableLibrary : public Startup, public ::testing::WithParamInterface<library_case> {};

TEST_P(UnusableLibrary, IsNamedAndEndsTheProgramBeforeAnyWindow) {
    const QString installed = dir.filePath(QStringLiteral("lib/libkestrix.so.1"));
    const std::string library = GetParam().library;
    if (library == "junk") {
        QFile junk(installed);
        ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
        junk.write("not a library");
    } else if (!library.empty()) {
        ASSERT_TRUE(QFile::copy(QString::fromStdString(library), installed));
    }
    EXPECT_EQ(run(), 2);
    for (const char* text : GetParam().says)
        EXPECT_TRUE(output.contains(QString::fromLatin1(text))) << text << "\n" << output.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("config/Vantrel.conf"))));  // nothing saved
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, UnusableLibrary,
    ::testing::Values(library_case{"missing", "", {"libkestrix.so.1", "not found"}},
                      library_case{"without_the_class", REFUSING_KESTRIX, {"does not provide the class Kestrix.controlcm"}},
                      library_case{"without_the_creation_function", NAMELESS_KESTRIX,
                                   {"does not provide the class Kestrix.controlcm"}},
                      library_case{"not_a_library", "junk", {"could not be loaded"}}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
