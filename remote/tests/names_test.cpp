// What screen readers and hovering tell of each control.
#include "support/remote_fixture.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QHelpEvent>
#include <QLineEdit>
#include <QTest>
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

// Every accessible object the window offers as showing, depth first.
void showing(QAccessibleInterface* node, std::vector<QAccessibleInterface*>& out) {
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface* child = node->child(i);
        if (!child || child->state().invisible) continue;
        out.push_back(child);
        showing(child, out);
    }
}

// In either style and size, a screen reader is offered what the window
// shows, and every key there can be pressed through its action, which
// sends as a click does; Tab reaches unit 3's key and Space presses it.
TEST_F(Names, ScreenReadersGetWhatTheWindowShowsAndPressKeysLikeAClick) {
    for (const bool standard : {false, true}) {
        if (standard) standardButtons();
        for (const bool big : {false, true}) {
            SCOPED_TRACE(std::string(standard ? "standard" : "skinned") + (big ? ", wide and tall" : ", narrow"));
            form->setWidth(big ? 2370 : 1215);
            form->setHeight(big ? 2500 : 2100);
            std::vector<QAccessibleInterface*> offered;
            showing(QAccessible::queryAccessibleInterface(form.get()), offered);
            const QRect window(form->mapToGlobal(QPoint(0, 0)), form->size());
            int keys = 0;
            for (QAccessibleInterface* a : offered) {
                EXPECT_TRUE(window.intersects(a->rect())) << a->text(QAccessible::Name).toStdString() << " lies outside";
                const bool key = a->role() == QAccessible::Button;
                keys += key;
                const QAccessibleActionInterface* actions = a->actionInterface();
                EXPECT_TRUE(!key || (actions && actions->actionNames().contains(QAccessibleActionInterface::pressAction())))
                    << a->text(QAccessible::Name).toStdString();
            }
            EXPECT_EQ(keys, (big ? 32 : 16) + 3) << "unit keys and x > *";
        }
        SCOPED_TRACE(standard ? "standard" : "skinned");
        form->setWidth(1215);
        QWidget* on3 = standard ? static_cast<QWidget*>(form->cmdON[3]) : form->Image1[3];
        control->calls.clear();
        QAccessible::queryAccessibleInterface(on3)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        // A standard button's press action is Qt's animated click: it comes with the event loop.
        EXPECT_TRUE(QTest::qWaitFor([&] { return control->calls.size() == 3; }, 2000));
        for (int tab = 0; tab < 40 && QApplication::focusWidget() != on3; ++tab) key(form.get(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), on3);
        key(form.get(), Qt::Key_Space);
        EXPECT_EQ(control->calls, (std::vector<std::string>{"comport 1", "Init 0", "Exec A 3 2", "comport 1", "Init 0", "Exec A 3 2"}));
    }
    EXPECT_EQ(control->frames(), std::vector<std::string>(8, "D5 AA 60 08 AD"));  // four presses
}

// The frame the keyboard follows: none for a user of the mouse alone,
// there once Tab or an arrow moved the focus, gone at the next click.
TEST_F(Names, OnlyTheKeyboardShowsWhereTheFocusIs) {
    const auto framed = [&] {
        std::vector<QString> out;
        for (Clickable* k : form->findChildren<Clickable*>())
            if (k->showsFocusFrame()) out.push_back(k->accessibleName());
        return out;
    };
    EXPECT_TRUE(framed().empty());  // the window gave a key the focus, not the keyboard
    click(form->Image1[2]);
    EXPECT_TRUE(framed().empty());
    key(form.get(), Qt::Key_Tab);
    ASSERT_EQ(framed().size(), 1u);
    click(form->Image2[5]);
    EXPECT_TRUE(framed().empty());
    key(form.get(), Qt::Key_Backtab);
    EXPECT_EQ(framed().size(), 1u);
    click(form.get(), Qt::LeftButton, background());
    EXPECT_TRUE(framed().empty());
}

// The arrows go by place on the screen: left and right between a unit's ON
// and OFF, up and down between units, and nowhere where nothing is.
TEST_F(Names, ArrowsMoveTheFocusByPlace) {
    struct step {
        QWidget* from;
        Qt::Key arrow;
        QWidget* to;
    };
    const auto walk = [&](const std::vector<step>& steps) {
        for (const step& s : steps) {
            s.from->setFocus(Qt::TabFocusReason);
            key(form.get(), s.arrow);
            EXPECT_EQ(QApplication::focusWidget(), s.to)
                << s.from->accessibleName().toStdString() << " then arrow " << s.arrow << " went to "
                << (QApplication::focusWidget() ? QApplication::focusWidget()->accessibleName().toStdString() : "nothing");
            auto* key = qobject_cast<Clickable*>(QApplication::focusWidget());
            EXPECT_TRUE(!key || key->showsFocusFrame());
        }
    };
    walk({{form->Image1[4], Qt::Key_Right, form->Image2[4]}, {form->Image2[4], Qt::Key_Left, form->Image1[4]},
          {form->Image1[4], Qt::Key_Down, form->Image1[5]}, {form->Image2[5], Qt::Key_Up, form->Image2[4]},
          {form->Image2[4], Qt::Key_Right, form->Image2[4]}});  // the narrow window ends there
    click(form->lblWiden);
    walk({{form->Image2[4], Qt::Key_Right, form->Image1[12]}, {form->Image1[12], Qt::Key_Left, form->Image2[4]}});
    standardButtons();
    walk({{form->cmdON[7], Qt::Key_Right, form->cmdOFF[7]}, {form->cmdOFF[7], Qt::Key_Down, form->cmdOFF[8]}});
}

// Boxes are labelled as their captions say, buttons spoken as they read.
TEST_F(Names, BoxesHaveTheirLabelAndButtonsSayTheirCaption) {
    form->setHeight(2500);  // the house box shows
    FrmSettings& window = openSettings();
    for (auto [box, label] : {std::pair<QWidget*, const char*>{form->cmbHouseCode, "House code"}, {window.Combo1, "Use COM:"}}) {
        const auto labels = QAccessible::queryAccessibleInterface(box)->relations(QAccessible::Label);
        ASSERT_EQ(labels.size(), 1) << label;
        EXPECT_EQ(labels[0].first->text(QAccessible::Name), QString::fromLatin1(label));
    }
    click(window.cmbButtons);  // its caption changes
    for (QPushButton* b : window.findChildren<QPushButton*>())
        EXPECT_TRUE(QAccessible::queryAccessibleInterface(b)->text(QAccessible::Name).contains(b->text())) << b->text().toStdString();
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
