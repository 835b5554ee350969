// The settings window's commands, through a scripted common dialog: what
// each does to the main window and the record, and what the next start shows.
#include "frm_settings.h"
#include "support/remote_fixture.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTimer>

namespace vantrel::testing {
namespace {

class SettingsWindow : public RemoteTest {
protected:
    void SetUp() override { open(); }

    void open() {
        if (!form) createForm();
        window = &openSettings();
    }
    // Saves at the main window's close and starts a new one from the store.
    void restart() {
        closeForm();
        form.reset();
        settings = ControllerSettings{};
        createForm();
    }
    QString notAPicture() {
        QFile f(dir.filePath(QStringLiteral("notes.bmp")));
        f.open(QIODevice::WriteOnly);
        f.write("just some text");
        return f.fileName();
    }
    // The labels that take the label font, in order.
    std::vector<Label*> fontLabels() const {
        std::vector<Label*> labels(form->lbl1.begin() + 1, form->lbl1.end());
        labels.insert(labels.end(), {form->lblWiden, form->lblClose, form->lblTall});
        return labels;
    }

    FrmSettings* window = nullptr;
};

TEST_F(SettingsWindow, LoadShowsStyleAndPortAndStopsTheBlink) {
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    settings.TypeOfButtons = true;
    settings.ComPort = 4000;
    open();
    EXPECT_EQ(window->cmbButtons->Caption(), "use skinned buttons.");
    EXPECT_EQ(window->Combo1->Text(), "4000");
    EXPECT_EQ(window->Combo1->lineEdit()->cursorPosition(), 0);  // shown from its start
    EXPECT_FALSE(window->Timer1->isActive());
    EXPECT_FLOAT_EQ(window->Height(), 3720);
}

TEST_F(SettingsWindow, ACancelledColourDialogAppliesTheLastConfirmedColour) {
    dialog->colors = {0x00FF00, std::nullopt};
    click(window->cmdSetBackColor);
    click(window->cmdSetForegroundColor);  // cancelled
    EXPECT_EQ(settings.ForeGroundColor, "65280");
    for (Label* l : fontLabels()) EXPECT_EQ(l->ForeColor(), 0x00FF00);
    EXPECT_EQ(form->cmbHouseCode->ForeColor(), 0x00FF00);
}

TEST_F(SettingsWindow, LabelFontReachesAllNineteenLabelsAndTheNextStart) {
    dialog->fonts = {ScriptedDialog::FontChoice{"DejaVu Serif", 14, false, true}};
    click(window->cmdFont);
    EXPECT_EQ(dialog->Flags, 259);
    for (Label* l : fontLabels()) {
        EXPECT_EQ(l->FontName(), "DejaVu Serif");
        EXPECT_FLOAT_EQ(l->FontSize(), 14);
        EXPECT_FALSE(l->FontBold());
        EXPECT_TRUE(l->FontItalic());
    }
    EXPECT_EQ(form->cmbHouseCode->font().family(), "MS Sans Serif");
    restart();
    for (Label* l : fontLabels()) {
        EXPECT_EQ(l->FontName(), "DejaVu Serif");
        EXPECT_FLOAT_EQ(l->FontSize(), 14);
        EXPECT_TRUE(l->FontItalic());
    }
}

// The real font dialog starts where the labels are: their face as drawn,
// bold, 8.25 points; after a choice, on that face and style again, so that
// OK without looking changes nothing.
TEST_F(SettingsWindow, TheFontDialogStartsFromTheLabelsFont) {
    form->CommonDialog1 = std::make_unique<QtCommonDialog>(form.get(), [this] { return form->lbl1[1]->font(); });
    QFont seen, choice;
    const auto answer = [&](bool take) {
        QTimer::singleShot(0, [&] {
            auto* fonts = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
            if (!fonts) return;
            seen = fonts->currentFont();
            if (take) fonts->setCurrentFont(choice);
            take ? fonts->accept() : fonts->reject();
        });
        click(window->cmdFont);
    };
    answer(false);
    EXPECT_EQ(seen.family(), QFontInfo(form->lbl1[1]->font()).family());  // MS Sans Serif as drawn
    EXPECT_TRUE(seen.bold());
    EXPECT_EQ(seen.pointSize(), 8);  // 8.25 as near as the dialog's whole points come
    choice = QFontDatabase::font(QStringLiteral("DejaVu Serif"), QStringLiteral("Condensed"), 24);
    answer(true);
    ASSERT_FLOAT_EQ(form->lbl1[1]->FontSize(), 24);
    answer(true);  // OK without looking
    EXPECT_EQ(QFontInfo(seen).styleName(), QFontInfo(choice).styleName());
    EXPECT_FALSE(seen.italic());
    EXPECT_FALSE(form->lbl1[1]->FontItalic());
}

TEST_F(SettingsWindow, ARefusedFaceOrSizeLeavesThatPropertyAndAppliesTheRest) {
    dialog->fonts = {ScriptedDialog::FontChoice{"No Such Face 123", 0, false, true}};
    click(window->cmdFont);
    for (Label* l : fontLabels()) {
        EXPECT_EQ(l->FontName(), "MS Sans Serif");
        EXPECT_FALSE(l->FontBold());
        EXPECT_TRUE(l->FontItalic());
    }
    EXPECT_FLOAT_EQ(form->lbl1[1]->FontSize(), 8.25f);
    EXPECT_FLOAT_EQ(form->lblTall->FontSize(), 9.75f);
}

TEST_F(SettingsWindow, BackgroundPictureIsLoadedThenRecorded) {
    const QString path = bitmap("back.bmp", 40, 30);
    dialog->files = {path};
    click(window->cmdSetBackroundImage);
    EXPECT_EQ(form->Picture().size(), QSize(40, 30));
    EXPECT_EQ(settings.BackroundImage, path.toStdString());

    dialog->files = {notAPicture()};
    click(window->cmdSetBackroundImage);
    EXPECT_EQ(form->Picture().size(), QSize(40, 30));
    EXPECT_EQ(settings.BackroundImage, path.toStdString());
}

TEST_F(SettingsWindow, CancellingTheFirstBackgroundDialogRemovesThePicture) {
    click(window->cmdSetBackroundImage);
    EXPECT_TRUE(form->Picture().isNull());
    EXPECT_EQ(settings.BackroundImage, "");
    restart();
    EXPECT_EQ(form->Picture().size(), QSize(170, 170));  // empty: the built-in one
}

TEST_F(SettingsWindow, SkinsRecordTheirPathEvenWhenItIsNotAPicture) {
    const QString junk = notAPicture();
    dialog->files = {junk};
    click(window->cmdButtonOFFskin);
    EXPECT_EQ(settings.OffButtonSkin, junk.toStdString());
    EXPECT_EQ(form->Image2[4]->Width(), 315);
    EXPECT_FALSE(form->Image2[4]->Picture().isNull());
}

TEST_F(SettingsWindow, ACancelledSkinDialogTakesTheLastChosenFile) {
    const QString path = bitmap("back.bmp", 24, 16);
    dialog->files = {path, std::nullopt};
    click(window->cmdSetBackroundImage);
    click(window->cmdButtonOnSkin);
    EXPECT_EQ(settings.OnButtonSkin, path.toStdString());
    for (int i = 1; i <= 16; ++i) EXPECT_EQ(form->Image1[i]->Picture().size(), QSize(24, 16));
    EXPECT_EQ(form->Image1[0]->Picture().size(), QSize(21, 14));
}

TEST_F(SettingsWindow, SkinDialogsOfferTheBitmapFilterOnlyAfterTheBackgroundCommand) {
    click(window->cmdButtonOnSkin);
    click(window->cmdSetBackroundImage);
    click(window->cmdButtonOFFskin);
    ASSERT_EQ(dialog->filtersOffered.size(), 3u);
    EXPECT_EQ(dialog->filtersOffered[0], "");
    EXPECT_EQ(dialog->filtersOffered[2], "Bitmaps (*.BMP)|*.BMP");
}

TEST(CommonDialogFilter, ShowsTheDescriptionAndMatchesAnyCase) {
    const QStringList filters = CommonDialog::nameFilters(QStringLiteral("Bitmaps (*.BMP)|*.BMP"));
    ASSERT_EQ(filters.size(), 1);
    EXPECT_TRUE(filters[0].startsWith(QStringLiteral("Bitmaps (*.BMP) (")));
    const QString pattern = filters[0].section(QLatin1Char('('), -1).chopped(1);
    const QRegularExpression match = QRegularExpression::fromWildcard(pattern, Qt::CaseSensitive);
    for (const char* name : {"a.bmp", "B.BMP", "c.Bmp"}) EXPECT_TRUE(match.match(QString::fromLatin1(name)).hasMatch()) << name;
    for (const char* name : {"a.png", "bmp", "a.bmpx"}) EXPECT_FALSE(match.match(QString::fromLatin1(name)).hasMatch()) << name;
    EXPECT_EQ(CommonDialog::nameFilters(QStringLiteral("Pictures|*.bmp;*.png|All|*.*")).size(), 2);
    EXPECT_TRUE(CommonDialog::nameFilters(QString()).isEmpty());
}

TEST_F(SettingsWindow, ResetBringsBuiltInPicturesBackAtTheNextStartAndKeepsTheRest) {
    dialog->files = {bitmap("back.bmp", 40, 30), bitmap("skin.bmp", 30, 20), std::nullopt};
    dialog->colors = {0x112233};
    click(window->cmdSetBackroundImage);
    click(window->cmdButtonOnSkin);
    click(window->cmdButtonOFFskin);
    click(window->cmdSetBackColor);
    click(window->Combo1->lineEdit());
    retype(window, QStringLiteral("4"));
    click(window->cmbButtons);

    click(window->cmdResetAll);
    ASSERT_EQ(messages->shown.size(), 1u);
    EXPECT_EQ(messages->shown[0], "Defaults will be restored the next time you restart the controller");
    EXPECT_EQ(form->Picture().size(), QSize(40, 30));  // nothing visible changes now

    restart();
    EXPECT_EQ(form->Picture().size(), QSize(170, 170));
    EXPECT_EQ(form->Image1[1]->Picture().size(), QSize(21, 14));
    EXPECT_EQ(form->Image2[1]->Picture().size(), QSize(21, 14));
    EXPECT_EQ(form->BackColor(), 0x112233);
    EXPECT_EQ(settings.ComPort, 4);
    EXPECT_TRUE(settings.TypeOfButtons);
}

TEST_F(SettingsWindow, UnloadedBackgroundStaysOffAfterARestart) {
    click(window->cmdUnloadBackround);
    EXPECT_TRUE(form->Picture().isNull());
    EXPECT_EQ(settings.BackroundImage, "OFF");
    restart();
    EXPECT_TRUE(form->Picture().isNull());
}

TEST_F(SettingsWindow, StyleButtonCaptionOffersTheOtherStyle) {
    click(window->cmbButtons);
    EXPECT_EQ(window->cmbButtons->Caption(), "use skinned buttons.");
    EXPECT_EQ(form->cmdON[1]->Left(), 360);
    click(window->cmbButtons);
    EXPECT_EQ(window->cmbButtons->Caption(), "use standard buttons.");
    EXPECT_EQ(form->Image1[1]->Left(), 360);
}

struct port_case {
    const char* text;
    std::int16_t port;
};

std::ostream& operator<<(std::ostream& os, const port_case& c) { return os << '"' << c.text << '"'; }

class PortBox : public SettingsWindow, public ::testing::WithParamInterface<port_case> {};

TEST_P(PortBox, TakesTheLeadingNumberRoundedHalfToEven) {
    settings.ComPort = 7;
    click(window->Combo1->lineEdit());
    retype(window, QString::fromLatin1(GetParam().text));
    EXPECT_EQ(window->Combo1->Text(), QString::fromLatin1(GetParam().text));
    EXPECT_EQ(settings.ComPort, GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(Texts, PortBox,
                         ::testing::Values(port_case{"3", 3}, port_case{"", 0}, port_case{"12ab", 12},
                                           port_case{" 1 0", 10}, port_case{"&H10", 16}, port_case{"2.5", 2},
                                           port_case{"3.5", 4}, port_case{"-1", -1}, port_case{"5abc", 5},
                                           port_case{"-3", -3}, port_case{"32767", 32767}));

TEST_F(SettingsWindow, HelpBlinksUntilClosedAndANewWindowStartsStill) {
    click(window->Command1);
    click(window->Command1);
    EXPECT_EQ(window->Command1->Caption(), "go there now!");
    EXPECT_TRUE(window->Timer1->isActive());
    QMetaObject::invokeMethod(window->Timer1, "timeout");
    EXPECT_TRUE(window->Label6->isHidden());
    QMetaObject::invokeMethod(window->Timer1, "timeout");
    EXPECT_FALSE(window->Label6->isHidden());
    QMetaObject::invokeMethod(window->Timer1, "timeout");

    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(form->settingsWindow(), nullptr);
    open();
    EXPECT_EQ(window->Command1->Caption(), "help.");
    EXPECT_FALSE(window->Timer1->isActive());
    EXPECT_FALSE(window->Label6->isHidden());
}

TEST_F(SettingsWindow, ClosingSetsItsHeightAndKeepsWhatItRecorded) {
    click(window->Combo1->lineEdit());
    retype(window, QStringLiteral("5"));
    window->close();  // as its caption bar's close button does
    EXPECT_FLOAT_EQ(window->Height(), 3795);
    EXPECT_EQ(settings.ComPort, 5);
    restart();
    EXPECT_EQ(settings.ComPort, 5);
}

}  // namespace
}  // namespace vantrel::testing
