// What screen readers and hovering tell of each control.
#include "support/remote_fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QHelpEvent>
#include <QLineEdit>
#include <QToolTip>

#include <set>

namespace vantrel::testing {
namespace {

class Names : public RemoteTest {
protected:
    void SetUp() override { createForm(); }
};

// Every control of both windows, as a screen reader meets them.
TEST_F(Names, EveryControlHasItsOwnNameAndATip) {
    std::vector<QWidget*> controls;
    for (QWidget* window : {static_cast<QWidget*>(form.get()), static_cast<QWidget*>(&openSettings())})
        for (QWidget* w : window->findChildren<QWidget*>())
            if (w->window() == window &&
                (qobject_cast<Clickable*>(w) || qobject_cast<QPushButton*>(w) || qobject_cast<QComboBox*>(w)))
                controls.push_back(w);
    ASSERT_FALSE(controls.empty());
    std::set<QString> names;
    for (QWidget* w : controls) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(accessible, nullptr);
        const QString name = accessible->text(QAccessible::Name);
        EXPECT_FALSE(name.isEmpty()) << w->metaObject()->className();
        EXPECT_TRUE(names.insert(name).second) << "two controls are called " << name.toStdString();
        EXPECT_FALSE(w->toolTip().isEmpty()) << name.toStdString();
    }
    // The size labels say what a click does now.
    EXPECT_EQ(form->lblWiden->toolTip(), "Show units 9 to 16");
    click(form->lblWiden);
    EXPECT_EQ(form->lblWiden->toolTip(), "Show only units 1 to 8");
}

TEST_F(Names, ThePortBoxSaysWhichDeviceItsNumberIsOnlyWhenHovered) {
    std::vector<std::int16_t> asked;
    form->describePort = [&](std::int16_t port) {
        asked.push_back(port);
        return QStringLiteral("COM%1 = /dev/ttyUSB0, FTDI FT232R USB UART").arg(port);
    };
    FrmSettings& window = openSettings();
    EXPECT_TRUE(asked.empty());  // not at start-up
    click(window.Combo1->lineEdit());
    retype(&window, QStringLiteral("5"));
    QLineEdit* box = window.Combo1->lineEdit();
    QHelpEvent hover(QEvent::ToolTip, box->rect().center(), box->mapToGlobal(box->rect().center()));
    QApplication::sendEvent(box, &hover);
    EXPECT_EQ(asked, std::vector<std::int16_t>{5});
    EXPECT_EQ(QToolTip::text(), "The COM port of the transmitter: COM5 = /dev/ttyUSB0, FTDI FT232R USB UART");
    QToolTip::hideText();
}

}  // namespace
}  // namespace vantrel::testing
