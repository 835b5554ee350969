#include "message_box.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace vantrel {

void QtMessageBox::show(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok, owner_);
    box.exec();
}

}  // namespace vantrel
