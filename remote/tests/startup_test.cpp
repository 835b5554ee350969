// Start-up without a usable transmitter library: a message naming what is
// missing and a non-zero exit, before any window, never a crash.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <string>
#include <vector>

namespace {

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("bin")));
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("lib")));
        program = dir.filePath(QStringLiteral("bin/vantrel"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(VANTREL_PROGRAM), program));
    }

    // Runs the copied program offscreen, or with no display at all; returns
    // its exit code.
    int run(const QStringList& arguments = {}, bool display = true) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        if (!display)
            for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        p.setProcessEnvironment(env);
        p.start(program, arguments);
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        errors = QString::fromLocal8Bit(p.readAllStandardError());
        output = QString::fromLocal8Bit(p.readAllStandardOutput());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    }

    QTemporaryDir dir;
    QString program;
    QString errors, output;
};

// A terminal with no desktop: questions are answered, and the window that
// cannot open is said so in one line, not with Qt's abort.
TEST_F(Startup, WithoutADisplayItAnswersHelpAndVersionAndSaysWhyItCannotStart) {
    EXPECT_EQ(run({QStringLiteral("--help")}, false), 0);
    EXPECT_TRUE(output.startsWith(QStringLiteral("Usage: vantrel"))) << output.toStdString();
    EXPECT_EQ(run({QStringLiteral("--version")}, false), 0);
    EXPECT_EQ(output, QStringLiteral("vantrel 1.0.0\n"));
    EXPECT_EQ(run({}, false), 1);
    EXPECT_EQ(errors.count(QLatin1Char('\n')), 1) << errors.toStdString();
    EXPECT_TRUE(errors.startsWith(QStringLiteral("vantrel: no display"))) << errors.toStdString();
}

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
        EXPECT_TRUE(errors.contains(QString::fromLatin1(text))) << text << "\n" << errors.toStdString();
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
