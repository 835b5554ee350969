// Every control of both windows, driven the way a user drives it: mouse and
// keys through the window system's door of the real windows. A handler wired
// to the wrong control, a wrong button, a lost guard shows up here.
#include "support/remote_fixture.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QListView>

#include <functional>

namespace vantrel::testing {
namespace {

class Ui : public RemoteTest {
public:
    void SetUp() override {
        createForm();
        control->calls.clear();
    }
};

struct ui_case {
    const char* name;
    std::function<void(Ui&)> act;
    std::function<void(Ui&)> check;
};

std::ostream& operator<<(std::ostream& os, const ui_case& c) { return os << c.name; }

class EveryControl : public Ui, public ::testing::WithParamInterface<ui_case> {};

TEST_P(EveryControl, DoesWhatItSaysWhenTheUserUsesIt) {
    GetParam().act(*this);
    GetParam().check(*this);
}

using Sent = std::vector<std::string>;

// Unit controls: each sends its own unit and command, and arms the port's close.
ui_case unit(const char* name, std::function<QWidget*(Ui&)> which, bool standard, float width, const char* exec) {
    return {name,
            [=](Ui& t) {
                if (standard) t.standardButtons();
                t.form->setWidth(width);
                t.click(which(t));
            },
            [=](Ui& t) {
                EXPECT_EQ(t.sent(), Sent{exec});
                EXPECT_EQ(t.control->frames().size(), 2u);
                ASSERT_TRUE(t.form->Timer1->isActive());
                EXPECT_EQ(t.form->Timer1->interval(), 750);
                EXPECT_EQ(t.form->Timer1->timerType(), Qt::PreciseTimer);
                QMetaObject::invokeMethod(t.form->Timer1, "timeout");  // as if 750 ms had passed
                EXPECT_EQ(t.control->calls.back(), "ResetCom");
                EXPECT_FALSE(t.form->Timer1->isActive());
            }};
}

ui_case onSettings(const char* name, std::function<void(Ui&, FrmSettings&)> act,
                   std::function<void(Ui&, FrmSettings&)> check) {
    return {name, [=](Ui& t) { act(t, t.openSettings()); },
            [=](Ui& t) { check(t, *t.form->settingsWindow()); }};
}

const ui_case everyControl[] = {
    unit("Image1_1", [](Ui& t) { return t.form->Image1[1]; }, false, 1215, "Exec A 1 2"),
    unit("Image1_16", [](Ui& t) { return t.form->Image1[16]; }, false, 2370, "Exec A 16 2"),
    unit("Image2_3", [](Ui& t) { return t.form->Image2[3]; }, false, 1215, "Exec A 3 3"),
    unit("Image2_9", [](Ui& t) { return t.form->Image2[9]; }, false, 2370, "Exec A 9 3"),
    unit("Image1_0", [](Ui& t) { return t.form->Image1[0]; }, false, 9885, "Exec A 0 2"),
    unit("Image2_0", [](Ui& t) { return t.form->Image2[0]; }, false, 9885, "Exec A 0 3"),
    unit("cmdON_2", [](Ui& t) { return t.form->cmdON[2]; }, true, 1215, "Exec A 2 2"),
    unit("cmdON_12", [](Ui& t) { return t.form->cmdON[12]; }, true, 2370, "Exec A 12 2"),
    unit("cmdOFF_8", [](Ui& t) { return t.form->cmdOFF[8]; }, true, 1215, "Exec A 8 3"),
    unit("cmdOFF_16", [](Ui& t) { return t.form->cmdOFF[16]; }, true, 2370, "Exec A 16 3"),

    {"cmd9to16", [](Ui& t) { t.form->setWidth(9885), t.click(t.form->cmd9to16); },
     [](Ui& t) {
         EXPECT_EQ(t.form->Width(), 2370);
         EXPECT_EQ(t.form->lblClose->Left(), 2250);
         EXPECT_TRUE(t.form->cmd9to16->isHidden());
     }},
    {"cmd1to8", [](Ui& t) { t.form->setWidth(9885), t.click(t.form->cmd1to8); },
     [](Ui& t) {
         EXPECT_EQ(t.form->Width(), 1215);
         EXPECT_EQ(t.form->lblClose->Left(), 1080);
     }},
    {"lblWiden", [](Ui& t) { t.click(t.form->lblWiden); },
     [](Ui& t) {
         EXPECT_EQ(t.form->Width(), 2370);
         EXPECT_EQ(t.form->lblWiden->Caption(), "<");
     }},
    {"lblWiden_double", [](Ui& t) { t.doubleClick(t.form->lblWiden); },
     [](Ui& t) { EXPECT_EQ(t.form->Width(), 2370); }},  // one Click, not two
    {"lblTall", [](Ui& t) { t.click(t.form->lblTall); }, [](Ui& t) { EXPECT_EQ(t.form->Height(), 2500); }},
    {"lblTall_double", [](Ui& t) { t.doubleClick(t.form->lblTall); },
     [](Ui& t) {
         EXPECT_EQ(t.form->Height(), 2500);
         EXPECT_FALSE(t.form->isMinimized());  // the label's, not the window's
     }},
    {"lblTall_right", [](Ui& t) { t.click(t.form->lblTall, Qt::RightButton); },
     [](Ui& t) {
         EXPECT_EQ(t.form->Height(), 2100);
         EXPECT_EQ(t.form->settingsWindow(), nullptr);
     }},
    {"lblClose", [](Ui& t) { t.click(t.form->lblClose); },
     [](Ui& t) {
         EXPECT_FALSE(t.form->isVisible());
         EXPECT_EQ(t.storedValues().size(), 16);
     }},

    {"background_click", [](Ui& t) { t.click(t.form.get(), Qt::LeftButton, t.background()); },
     [](Ui& t) {
         EXPECT_FALSE(t.form->isMinimized());
         EXPECT_EQ(t.form->settingsWindow(), nullptr);
         EXPECT_TRUE(t.sent().empty());
     }},
    {"background_double", [](Ui& t) { t.doubleClick(t.form.get(), t.background()); },
     [](Ui& t) { EXPECT_TRUE(t.form->isMinimized()); }},
    {"background_right", [](Ui& t) { t.click(t.form.get(), Qt::RightButton, t.background()); },
     [](Ui& t) {
         ASSERT_NE(t.form->settingsWindow(), nullptr);
         EXPECT_TRUE(t.form->settingsWindow()->isVisible());
         EXPECT_FALSE(t.form->settingsWindow()->isModal());
     }},
    {"background_middle", [](Ui& t) { t.click(t.form.get(), Qt::MiddleButton, t.background()); },
     [](Ui& t) { EXPECT_EQ(t.form->settingsWindow(), nullptr); }},
    {"background_drag",
     [](Ui& t) {
         const QPoint from = t.form->pos(), at = t.background();
         t.press(t.form.get(), Qt::LeftButton, at);
         t.moveTo(t.form.get(), at + QPoint(2, 1));  // within the drag distance: a click yet
         EXPECT_EQ(t.form->pos(), from);
         t.moveTo(t.form.get(), at + QPoint(30, 45));
         EXPECT_EQ(t.form->pos(), from + QPoint(30, 45));
         t.release(t.form.get(), Qt::LeftButton, at);
         t.moveTo(t.form.get(), at + QPoint(5, 5));  // released: no longer follows
         EXPECT_EQ(t.form->pos(), from + QPoint(30, 45));
         t.click(t.form->lblClose);
     },
     [](Ui& t) {
         EXPECT_FALSE(t.form->isMinimized());
         EXPECT_EQ(t.storedValues().value("WindowPositionLeft").toFloat(), t.form->Left());
     }},
    {"tap_then_tall", [](Ui& t) { t.click(t.form.get(), Qt::LeftButton, t.background()), t.click(t.form->lblTall); },
     [](Ui& t) { EXPECT_EQ(t.form->Height(), 2500); }},
    {"tap_then_double", [](Ui& t) {
         t.click(t.form.get(), Qt::LeftButton, t.background());
         t.doubleClick(t.form.get(), t.background());
     },
     [](Ui& t) { EXPECT_TRUE(t.form->isMinimized()); }},
    {"tap_then_right", [](Ui& t) {
         t.click(t.form.get(), Qt::LeftButton, t.background());
         t.click(t.form.get(), Qt::RightButton, t.background());
     },
     [](Ui& t) { EXPECT_NE(t.form->settingsWindow(), nullptr); }},

    {"house_typed_return", [](Ui& t) {
         t.form->setHeight(2500);
         t.click(t.form->cmbHouseCode->lineEdit());
         t.retype(t.form.get(), QStringLiteral("c"));
         t.key(t.form.get(), Qt::Key_Return);
     },
     [](Ui& t) {
         EXPECT_EQ(t.form->cmbHouseCode->Text(), "c");
         EXPECT_EQ(t.settings.HouseCode, "c");
     }},
    {"house_typed_then_press", [](Ui& t) {
         t.standardButtons();
         t.form->setHeight(2500);
         t.click(t.form->cmbHouseCode->lineEdit());
         t.retype(t.form.get(), QStringLiteral("c"));
         t.click(t.form->cmdON[1]);  // takes the focus from the box
     },
     [](Ui& t) {
         EXPECT_EQ(t.sent(), Sent{"Exec c 1 2"});
         EXPECT_EQ(t.form->cmbHouseCode->Text(), "c");
         EXPECT_EQ(t.settings.HouseCode, "C");  // upper-cased by the command that went out
     }},
    // What the box shows is what is used: its text from the start, once the
    // user is done typing.
    {"house_typed_then_tab", [](Ui& t) {
         t.form->setHeight(2500);
         t.click(t.form->cmbHouseCode->lineEdit());
         t.retype(t.form.get(), QStringLiteral("  b"));
         t.key(t.form.get(), Qt::Key_Tab);
     },
     [](Ui& t) {
         EXPECT_EQ(t.settings.HouseCode, "  b");
         EXPECT_EQ(t.form->cmbHouseCode->lineEdit()->cursorPosition(), 0);
     }},
    {"house_picked", [](Ui& t) {
         t.form->setHeight(2500);
         t.form->cmbHouseCode->showPopup();
         auto* list = t.form->cmbHouseCode->view();
         t.click(list->viewport(), Qt::LeftButton, list->visualRect(list->model()->index(3, 0)).center());
     },
     [](Ui& t) {
         EXPECT_EQ(t.form->cmbHouseCode->Text(), "D");
         EXPECT_EQ(t.settings.HouseCode, "D");
     }},

    onSettings("cmdSetBackColor", [](Ui& t, FrmSettings& w) { t.dialog->colors = {0x0000FF}, t.click(w.cmdSetBackColor); },
               [](Ui& t, FrmSettings&) {
                   EXPECT_EQ(t.form->BackColor(), 0x0000FF);
                   EXPECT_EQ(t.form->cmbHouseCode->BackColor(), 0x0000FF);
                   EXPECT_EQ(t.settings.BackroundColor, "255");
               }),
    onSettings("cmdSetForegroundColor",
               [](Ui& t, FrmSettings& w) { t.dialog->colors = {0x00FF00}, t.click(w.cmdSetForegroundColor); },
               [](Ui& t, FrmSettings&) {
                   EXPECT_EQ(t.form->lbl1[16]->ForeColor(), 0x00FF00);
                   EXPECT_EQ(t.form->lblTall->ForeColor(), 0x00FF00);
                   EXPECT_EQ(t.form->BackColor(), 0x404040);
               }),
    onSettings("cmdFont",
               [](Ui& t, FrmSettings& w) {
                   t.dialog->fonts = {ScriptedDialog::FontChoice{"DejaVu Serif", 14, false, true}};
                   t.click(w.cmdFont);
               },
               [](Ui& t, FrmSettings&) {
                   EXPECT_EQ(t.form->lblClose->FontName(), "DejaVu Serif");
                   EXPECT_TRUE(t.form->lbl1[1]->FontItalic());
               }),
    onSettings("cmdSetBackroundImage",
               [](Ui& t, FrmSettings& w) { t.dialog->files = {t.bitmap("b.bmp", 40, 30)}, t.click(w.cmdSetBackroundImage); },
               [](Ui& t, FrmSettings&) {
                   EXPECT_EQ(t.form->Picture().size(), QSize(40, 30));
                   EXPECT_EQ(t.dialog->filtersOffered, std::vector<QString>{"Bitmaps (*.BMP)|*.BMP"});
               }),
    onSettings("cmdButtonOnSkin",
               [](Ui& t, FrmSettings& w) { t.dialog->files = {t.bitmap("s.bmp", 30, 20)}, t.click(w.cmdButtonOnSkin); },
               [](Ui& t, FrmSettings&) {
                   EXPECT_EQ(t.form->Image1[16]->Picture().size(), QSize(30, 20));
                   EXPECT_EQ(t.form->Image2[16]->Picture().size(), QSize(21, 14));
               }),
    onSettings("cmdButtonOFFskin",
               [](Ui& t, FrmSettings& w) { t.dialog->files = {t.bitmap("s.bmp", 30, 20)}, t.click(w.cmdButtonOFFskin); },
               [](Ui& t, FrmSettings&) {
                   EXPECT_EQ(t.form->Image2[1]->Picture().size(), QSize(30, 20));
                   EXPECT_EQ(t.form->Image1[1]->Picture().size(), QSize(21, 14));
               }),
    onSettings("cmdResetAll", [](Ui& t, FrmSettings& w) { t.click(w.cmdResetAll); },
               [](Ui& t, FrmSettings&) {
                   EXPECT_EQ(t.messages->shown,
                             std::vector<QString>{"Defaults will be restored the next time you restart the controller"});
               }),
    onSettings("cmdUnloadBackround", [](Ui& t, FrmSettings& w) { t.click(w.cmdUnloadBackround); },
               [](Ui& t, FrmSettings&) {
                   EXPECT_TRUE(t.form->Picture().isNull());
                   EXPECT_EQ(t.settings.BackroundImage, "OFF");
               }),
    onSettings("cmbButtons", [](Ui& t, FrmSettings& w) { t.click(w.cmbButtons); },
               [](Ui& t, FrmSettings& w) {
                   EXPECT_EQ(w.cmbButtons->Caption(), "use skinned buttons.");
                   EXPECT_EQ(t.form->cmdON[1]->Left(), 360);
                   EXPECT_TRUE(t.settings.TypeOfButtons);
               }),
    onSettings("Command1", [](Ui& t, FrmSettings& w) { t.click(w.Command1); },
               [](Ui&, FrmSettings& w) {
                   EXPECT_EQ(w.Command1->Caption(), "go there now!");
                   EXPECT_TRUE(w.Timer1->isActive());
               }),
    onSettings("Combo1_typed", [](Ui& t, FrmSettings& w) { t.click(w.Combo1->lineEdit()), t.retype(&w, QStringLiteral("12")); },
               [](Ui& t, FrmSettings&) { EXPECT_EQ(t.settings.ComPort, 12); }),
    onSettings("Combo1_beyond_16_bits", [](Ui& t, FrmSettings& w) { t.click(w.Combo1->lineEdit()), t.retype(&w, QStringLiteral("99999")); },
               [](Ui& t, FrmSettings& w) {
                   EXPECT_EQ(w.Combo1->Text(), "9999");  // the last 9 was refused
                   EXPECT_EQ(t.settings.ComPort, 9999);
               }),
    onSettings("Combo1_pasted_beyond_16_bits",
               [](Ui& t, FrmSettings& w) {
                   QApplication::clipboard()->setText(QStringLiteral("40000"));
                   t.click(w.Combo1->lineEdit());
                   t.key(&w, Qt::Key_A, Qt::ControlModifier);
                   t.key(&w, Qt::Key_V, Qt::ControlModifier);
               },
               [](Ui& t, FrmSettings& w) {
                   EXPECT_EQ(w.Combo1->Text(), "1");
                   EXPECT_EQ(t.settings.ComPort, 1);
               }),
    onSettings("Combo1_typed_then_left",
               [](Ui& t, FrmSettings& w) {
                   t.click(w.Combo1->lineEdit());
                   t.retype(&w, QStringLiteral("4000"));
                   t.click(w.cmbButtons);
               },
               [](Ui& t, FrmSettings& w) {
                   EXPECT_EQ(t.settings.ComPort, 4000);
                   EXPECT_EQ(w.Combo1->lineEdit()->cursorPosition(), 0);
               }),
    onSettings("Combo1_picked",
               [](Ui& t, FrmSettings& w) {
                   w.Combo1->showPopup();
                   auto* list = w.Combo1->view();
                   t.click(list->viewport(), Qt::LeftButton, list->visualRect(list->model()->index(6, 0)).center());
               },
               [](Ui& t, FrmSettings& w) {
                   EXPECT_EQ(w.Combo1->Text(), "6");
                   EXPECT_EQ(t.settings.ComPort, 6);
               }),
};

INSTANTIATE_TEST_SUITE_P(Controls, EveryControl, ::testing::ValuesIn(everyControl),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace vantrel::testing
