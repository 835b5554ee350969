#include "application.h"

#include "design.h"
#include "form1.h"
#include "key_accessible.h"
#include "shutdown_signals.h"
#include "single_instance.h"
#include "transmitter_library.h"

#include <QApplication>
#include <QFont>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

#include <pwd.h>
#include <unistd.h>

namespace vantrel {

// The design's faces are not on Linux desktops; draw them with the closest
// shapes (Liberation has their narrow metrics, DejaVu is everywhere) while
// the requested names stay what is saved.
void installFontSubstitutes() {
    QFont::insertSubstitutions(design::SansSerif,
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(design::Serif,
                               {QStringLiteral("Liberation Serif"), QStringLiteral("DejaVu Serif")});
}

namespace {

// A log-off or a service manager's stop while the box waits for OK ends
// the program at once: the signal closes the box.
void reportStartupFailure(const QString& message, ShutdownSignals& shutdown) {
    std::fprintf(stderr, "vantrel: %s\n", message.toLocal8Bit().constData());
    if (!canShowBoxes()) return;
    QMessageBox box(QMessageBox::Critical, AppTitle, message, QMessageBox::Ok);
    shutdown.closes(&box);
    box.exec();
}

}  // namespace

// Started without HOME (from a cron job, a service, `env -i`), Qt would put
// the settings under /.config; the home of the user's password entry is
// where a Linux user expects them.
void useHomeOfPasswordEntry() {
    if (!qEnvironmentVariableIsEmpty("HOME")) return;
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir && *user->pw_dir)
        ::setenv("HOME", user->pw_dir, 1);
}

int runApplication() {
    QCoreApplication::setApplicationName(AppTitle);
    installFontSubstitutes();
    installAccessibility();
    ShutdownSignals shutdown;
    SingleInstance instance;
    if (!instance.first()) {
        QString why;
        if (!instance.wakeFirst(why)) {
            std::fprintf(stderr, "vantrel: %s\n", why.toLocal8Bit().constData());
            return 1;
        }
        std::fprintf(stderr, "vantrel: a remote is running already on this display; it was brought to the front\n");
        return 0;
    }

    ControllerSettings settings;
    SettingsStore store;
    std::unique_ptr<Form1> form;
    try {
        form = std::make_unique<Form1>(settings, store, transmitterFromLibrary(QCoreApplication::applicationDirPath()));
    } catch (const StartupError& e) {
        reportStartupFailure(QString::fromStdString(e.what()), shutdown);
        return 2;
    }
    shutdown.closes(form.get());
    form->Show();
    instance.raises(form.get());
    return QApplication::exec();
}

}  // namespace vantrel
