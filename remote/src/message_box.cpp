#include "message_box.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>

namespace vantrel {

bool canShowBoxes() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

// Without a display the message goes to standard error instead.
void QtMessageBox::show(const QString& text) {
    if (!canShowBoxes()) {
        std::fprintf(stderr, "vantrel: %s\n", text.toLocal8Bit().constData());
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok, owner_);
    box.exec();
}

}  // namespace vantrel
