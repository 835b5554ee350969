// Runs the remote's tests inside a QApplication, offscreen unless told
// otherwise: test discovery runs this binary at build time too.
#include "application.h"
#include "key_accessible.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>

#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || qgetenv("QT_QPA_PLATFORM") == "offscreen")
        qputenv("QT_QPA_PLATFORM", VANTREL_TEST_PLATFORM);
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        char dir[] = "/tmp/vantrel-tests-XXXXXX";
        if (::mkdtemp(dir)) qputenv("XDG_RUNTIME_DIR", dir);  // mkdtemp makes it 0700
    }
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vantrel"));
    vantrel::installFontSubstitutes();
    vantrel::installAccessibility();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
