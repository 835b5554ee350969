#include "application.h"

#include "design.h"
#include "form1.h"
#include "key_accessible.h"
#include "shutdown_signals.h"
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

void reportStartupFailure(const QString& message) {
    std::fprintf(stderr, "vantrel: %s\n", message.toLocal8Bit().constData());
    if (canShowBoxes())
        QMessageBox(QMessageBox::Critical, AppTitle, message, QMessageBox::Ok).exec();
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

    ControllerSettings settings;
    SettingsStore store;
    std::unique_ptr<Form1> form;
    try {
        form = std::make_unique<Form1>(settings, store, transmitterFromLibrary(QCoreApplication::applicationDirPath()));
    } catch (const StartupError& e) {
        reportStartupFailure(QString::fromStdString(e.what()));
        return 2;
    }
    shutdown.closes(form.get());
    form->Show();
    return QApplication::exec();
}

}  // namespace vantrel
