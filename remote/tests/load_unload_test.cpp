// Start-up from the store and shut-down back into it.
#include "frm_settings.h"
#include "support/remote_fixture.h"

#include <QFile>
#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QSettings>
#include <QtEndian>

#include <csignal>
#include <sys/stat.h>
#include <sys/resource.h>

namespace vantrel::testing {
namespace {

class LoadUnload : public RemoteTest {
protected:
    bool showsBuiltInSkins() const {
        const QImage on(QStringLiteral(":/vantrel/on.bmp")), off(QStringLiteral(":/vantrel/off.bmp"));
        for (int i = 1; i <= 16; ++i)
            if (form->Image1[i]->Picture().toImage() != on.convertToFormat(form->Image1[i]->Picture().toImage().format()) ||
                form->Image2[i]->Picture().toImage() != off.convertToFormat(form->Image2[i]->Picture().toImage().format()))
                return false;
        return true;
    }
};

TEST_F(LoadUnload, EmptyStoreGivesTheDesignedNarrowWindow) {
    createForm();
    EXPECT_EQ(form->Width(), 1215);
    EXPECT_EQ(form->Height(), 2100);
    EXPECT_EQ(settings.ComPort, 1);
    EXPECT_FALSE(settings.TypeOfButtons);
    EXPECT_FALSE(settings.SkinnedButtons);
    EXPECT_EQ(settings.HouseCode, "A");
    EXPECT_EQ(form->cmbHouseCode->Text(), "A");
    EXPECT_EQ(form->lblWiden->Caption(), ">");
    EXPECT_EQ(form->lblClose->Left(), 1080);
    EXPECT_EQ(form->BackColor(), 0x404040);
    EXPECT_EQ(form->lbl1[7]->ForeColor(), 0xFFFFFF);
    EXPECT_EQ(form->lbl1[7]->FontName(), "MS Sans Serif");
    EXPECT_EQ(form->Picture().size(), QSize(170, 170));
    EXPECT_TRUE(showsBuiltInSkins());
    EXPECT_EQ(form->Image1[1]->Left(), 360);  // skinned layout

    closeForm();
    const auto saved = storedValues();
    EXPECT_EQ(saved.size(), 16);
    const QMap<QString, QString> expected = {
        {"ForeGroundColor", "16777215"}, {"BackroundColor", "4210752"}, {"HouseCode", "A"}, {"BackroundImage", ""},
        {"FormWidth", "1215"}, {"OnButtonSkin", ""}, {"OffButtonSkin", ""}, {"FontName", "MS Sans Serif"},
        {"FontBold", "True"}, {"FontItalic", "False"}, {"FontSize", "8.25"}, {"FormHeight", "2100"},
        {"ComPort", "1"}, {"TypeOfButtons", "False"}};
    for (auto it = expected.begin(); it != expected.end(); ++it)
        EXPECT_EQ(saved.value(it.key()), it.value()) << it.key().toStdString();
}

TEST_F(LoadUnload, AFullStoreIsAppliedAndSavedBackUnchanged) {
    const QMap<QString, QString> full = {
        {"WindowPositionTop", "3000"}, {"WindowPositionLeft", "-1500"}, {"BackroundColor", "255"},
        {"ForeGroundColor", "65280"}, {"HouseCode", "B"}, {"BackroundImage", bitmap("back.bmp", 50, 40)},
        {"FormWidth", "2370"}, {"OnButtonSkin", bitmap("on skin.bmp", 30, 20)},
        {"OffButtonSkin", bitmap("off,skin.bmp", 25, 20)}, {"FormHeight", "2500"}, {"ComPort", "5"},
        {"TypeOfButtons", "True"}, {"FontName", "DejaVu Serif"}, {"FontSize", "12"}, {"FontBold", "False"},
        {"FontItalic", "True"}};
    store(full);
    createForm();

    EXPECT_EQ(form->Top(), 3000);
    EXPECT_EQ(form->Left(), -1500);  // partly off the screen, but on it
    EXPECT_EQ(form->Width(), 2370);
    EXPECT_EQ(form->Height(), 2500);
    EXPECT_EQ(form->lblTall->Left(), 2250);
    EXPECT_EQ(form->lblWiden->Caption(), "<");
    EXPECT_EQ(form->BackColor(), 255);
    EXPECT_EQ(form->cmbHouseCode->BackColor(), 255);
    EXPECT_EQ(form->cmbHouseCode->ForeColor(), 65280);
    EXPECT_EQ(form->lblTall->ForeColor(), 65280);
    for (int i = 1; i <= 16; ++i) EXPECT_EQ(form->lbl1[i]->ForeColor(), 65280) << i;
    EXPECT_EQ(form->Picture().size(), QSize(50, 40));
    for (int i = 1; i <= 16; ++i) {
        EXPECT_EQ(form->Image1[i]->Width(), 450);
        EXPECT_EQ(form->Image2[i]->Width(), 375);
    }
    EXPECT_EQ(form->Image1[0]->Width(), 315);  // element 0 keeps the built-in skin
    EXPECT_EQ(settings.ComPort, 5);
    EXPECT_TRUE(settings.TypeOfButtons);
    EXPECT_EQ(form->cmdON[1]->Left(), 360);  // standard buttons in the rows
    EXPECT_EQ(form->Image1[1]->Left(), 6360);
    for (Label* l : {form->lbl1[1], form->lbl1[16], form->lblWiden, form->lblClose, form->lblTall}) {
        EXPECT_EQ(l->FontName(), "DejaVu Serif");
        EXPECT_FLOAT_EQ(l->FontSize(), 12);
        EXPECT_FALSE(l->FontBold());
        EXPECT_TRUE(l->FontItalic());
    }
    EXPECT_EQ(form->cmbHouseCode->font().family(), "MS Sans Serif");  // not given the label font
    EXPECT_EQ(form->cmbHouseCode->Text(), "B");

    closeForm();
    EXPECT_EQ(storedValues(), full);
}

struct bad_value {
    const char* key;
    const char* stored;
    const char* savedKey;
    const char* saved;
};

std::ostream& operator<<(std::ostream& os, const bad_value& b) { return os << b.key << "=\"" << b.stored << '"'; }

class BadStoredValue : public LoadUnload, public ::testing::WithParamInterface<bad_value> {};

TEST_P(BadStoredValue, KeepsWhatTheWindowHadAndSavesTheRealState) {
    store({{QString::fromLatin1(GetParam().key), QString::fromUtf8(GetParam().stored)}});
    createForm();
    EXPECT_FALSE(form->bridge);  // no address there: the presses stay on the COM port
    closeForm();
    EXPECT_EQ(storedValues().value(QString::fromLatin1(GetParam().savedKey)), QString::fromUtf8(GetParam().saved));
}

INSTANTIATE_TEST_SUITE_P(
    Values, BadStoredValue,
    ::testing::Values(bad_value{"FormWidth", "abc", "FormWidth", "1215"},
                      bad_value{"FormHeight", "1e999", "FormHeight", "2505"},
                      bad_value{"ComPort", "99999", "ComPort", "0"}, bad_value{"ComPort", "2.5", "ComPort", "2"},
                      bad_value{"TypeOfButtons", "maybe", "TypeOfButtons", "False"},
                      bad_value{"TypeOfButtons", "-1", "TypeOfButtons", "True"},
                      bad_value{"ForeGroundColor", "white", "ForeGroundColor", "16777215"},
                      bad_value{"BackroundColor", "-5", "BackroundColor", "4210752"},
                      bad_value{"FontSize", "0", "FontSize", "8.25"},
                      bad_value{"FontName", "No Such Face 123", "FontName", "MS Sans Serif"},
                      bad_value{"FontBold", "perhaps", "FontBold", "True"},
                      bad_value{"HouseCode", "", "HouseCode", "A"}, bad_value{"HouseCode", "q", "HouseCode", "q"},
                      bad_value{"OnButtonSkin", "/no/such.bmp", "OnButtonSkin", "/no/such.bmp"},
                      bad_value{"BackroundImage", "OFF", "BackroundImage", "OFF"},
                      bad_value{"WindowPositionTop", "up", "FormWidth", "1215"},
                      bad_value{"Bridge", "hub.local:1883", "Bridge", "hub.local:1883"},
                      bad_value{"Bridge", "http://hub.local", "Bridge", "http://hub.local"},
                      bad_value{"Bridge", "mqtt://hub.local:99999", "Bridge", "mqtt://hub.local:99999"},
                      bad_value{"BridgeTopic", "house2", "BridgeTopic", "house2"}));

TEST_F(LoadUnload, PicturesThatDoNotLoadLeaveTheBuiltInOnes) {
    const QString pipe = dir.filePath(QStringLiteral("pipe.bmp"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);  // opening it would wait forever
    // A bitmap whose header claims 20000 x 20000 pixels.
    const QString liar = bitmap("liar.bmp", 2, 2);
    QFile file(liar);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    for (int at : {18, 22}) qToLittleEndian<qint32>(20000, bytes.data() + at);
    file.seek(0);
    file.write(bytes);
    file.close();
    for (const QString& background : {QStringLiteral("/no/such/back.bmp"), dir.path()}) {
        store({{"BackroundImage", background}, {"OnButtonSkin", liar}, {"OffButtonSkin", pipe}});
        createForm();
        EXPECT_EQ(form->Picture().size(), QSize(170, 170));
        EXPECT_TRUE(showsBuiltInSkins());
        EXPECT_EQ(settings.OnButtonSkin, liar.toStdString());
    }
}

TEST_F(LoadUnload, WidthsFromTheStorePlaceTheWindowLabels) {
    for (auto [width, left, caption] : {std::tuple{"1499", 1080, ">"}, std::tuple{"1500", 2250, "<"}}) {
        store({{"FormWidth", width}});
        createForm();
        EXPECT_EQ(form->lblClose->Left(), left) << width;
        EXPECT_EQ(form->lblWiden->Caption(), caption) << width;
    }
}

TEST_F(LoadUnload, TheWindowShowsOnlyAfterLoading) {
    createForm(false);
    struct Watch : QObject {
        Form1* form;
        float widthAtShow = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Show) widthAtShow = form->Width();
            return false;
        }
    } watch;
    watch.form = form.get();
    form->installEventFilter(&watch);
    form->Show();
    EXPECT_EQ(watch.widthAtShow, 1215);
    form->removeEventFilter(&watch);
}

TEST_F(LoadUnload, UnloadClosesTheSettingsWindow) {
    createForm();
    QPointer<FrmSettings> window = &openSettings();
    ASSERT_TRUE(window);
    closeForm();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

TEST_F(LoadUnload, SavingIntoAPlaceThatCannotHoldTheFileReportsIt) {
    createForm();
    QFile blocker(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, blocker.fileName() + QStringLiteral("/config"));
    closeForm();
    ASSERT_EQ(messages->shown.size(), 1u);
    EXPECT_TRUE(messages->shown[0].startsWith(QStringLiteral("Error 75: Could not save the settings to ") +
                                              blocker.fileName() + QStringLiteral("/config/Vantrel.conf")))
        << messages->shown[0].toStdString();
    EXPECT_TRUE(messages->shown[0].contains(QStringLiteral("not a folder")));
}

TEST_F(LoadUnload, AFailedSaveLeavesTheEarlierFileByteForByte) {
    createForm();
    closeForm();
    QFile file(storeFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    createForm();
    form->cmbHouseCode->setText(QStringLiteral("P"));
    // No file may grow past 200 bytes (the store needs more): root cannot either.
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = saved;
    tiny.rlim_cur = 200;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    closeForm();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(messages->shown.size(), 1u);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}

}  // namespace
}  // namespace vantrel::testing
