// Start-up without a usable transmitter library: a message naming what is
// missing and a non-zero exit, before any window, never a crash.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("bin")));
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("lib")));
        program = dir.filePath(QStringLiteral("bin/vantrel"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(VANTREL_PROGRAM), program));
    }

    // Runs the copied program offscreen; returns its exit code.
    int run() {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        p.setProcessEnvironment(env);
        p.start(program, {});
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        errors = QString::fromLocal8Bit(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    }

    QTemporaryDir dir;
    QString program;
    QString errors;
};

TEST_F(Startup, MissingLibraryIsNamedAndEndsTheProgram) {
    EXPECT_EQ(run(), 2);
    EXPECT_TRUE(errors.contains(QStringLiteral("libkestrix.so.1"))) << errors.toStdString();
    EXPECT_TRUE(errors.contains(QStringLiteral("not found"))) << errors.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("config/Vantrel.conf"))));  // nothing saved
}

TEST_F(Startup, ALibraryWithoutTheClassIsNamedAndEndsTheProgram) {
    ASSERT_TRUE(QFile::copy(QStringLiteral(REFUSING_KESTRIX), dir.filePath(QStringLiteral("lib/libkestrix.so.1"))));
    EXPECT_EQ(run(), 2);
    EXPECT_TRUE(errors.contains(QStringLiteral("does not provide the class Kestrix.controlcm")))
        << errors.toStdString();
}

TEST_F(Startup, ABrokenLibraryIsNamedAndEndsTheProgram) {
    QFile junk(dir.filePath(QStringLiteral("lib/libkestrix.so.1")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a library");
    junk.close();
    EXPECT_EQ(run(), 2);
    EXPECT_TRUE(errors.contains(QStringLiteral("could not be loaded"))) << errors.toStdString();
}

}  // namespace
