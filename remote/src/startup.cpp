// What Vantrel does before it has a window: the two questions it answers
// without one, and the one line it says when there is no display.
#include "application.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <string>

#include <unistd.h>

namespace vantrel {
namespace {

constexpr const char* Usage =
    "Usage: vantrel [--help | --version]\n"
    "A desktop remote control for X10 modules through a Firecracker (CM17A)\n"
    "transmitter on a serial port. Started without options it opens its window;\n"
    "its settings are kept in ~/.config/Vantrel.conf. See vantrel(1).\n";

// Qt's own complaints while it looks for a window system, kept until it is
// known whether one was found.
QList<std::pair<QtMsgType, QString>> held;
QtMessageHandler qtsOwn = nullptr;

void holdWhileOpening(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtFatalMsg) {
        held.append({type, message});
        return;
    }
    // No window system could be reached: say why in one line, not with
    // Qt's abort and its advice to reinstall.
    QString why = message;
    for (const auto& [kind, text] : held)
        if (text.contains(QLatin1String("connect to display"))) why = text;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        why = QStringLiteral("neither DISPLAY nor WAYLAND_DISPLAY is set; start it from a desktop session");
    std::fprintf(stderr, "vantrel: no display to open the window on (%s)\n", why.toLocal8Bit().constData());
    std::fflush(stderr);
    ::_exit(1);
}

}  // namespace

std::optional<int> answerCommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == "--version" || arg == "-v") {
            std::printf("vantrel %s\n", VANTREL_VERSION);
            return 0;
        }
    }
    return std::nullopt;
}

std::unique_ptr<QApplication> openDisplay(int& argc, char** argv) {
    qtsOwn = qInstallMessageHandler(holdWhileOpening);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(qtsOwn);
    if (qtsOwn)
        for (const auto& [type, message] : held) qtsOwn(type, QMessageLogContext(), message);
    held.clear();
    return app;
}

}  // namespace vantrel
