#include "app_error.h"
#include "settings_store.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

namespace vantrel {
namespace {

const QString App = QStringLiteral("Vantrel");
const QString Section = QStringLiteral("Settings");

class Store : public ::testing::Test {
protected:
    Store() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path()); }
    QString file() const { return dir.filePath(QStringLiteral("Vantrel.conf")); }

    // The file parsed afresh, under a name this process has never cached.
    QString reread(const QString& key) const {
        const QString copy = dir.filePath(QStringLiteral("copy-%1.ini").arg(++copies_));
        QFile::copy(file(), copy);
        QSettings s(copy, QSettings::IniFormat);
        return s.value(Section + QLatin1Char('/') + key).toString();
    }

    QTemporaryDir dir;
    SettingsStore store;
    mutable int copies_ = 0;
};

TEST_F(Store, AbsentKeysGiveTheDefaultAsTextOrNothing) {
    EXPECT_EQ(store.GetSetting(App, Section, QStringLiteral("FormWidth"), 1215), "1215");
    EXPECT_EQ(store.GetSetting(App, Section, QStringLiteral("ComPort"), 1), "1");
    EXPECT_EQ(store.GetSetting(App, Section, QStringLiteral("HouseCode")), "");
    EXPECT_FALSE(QFile::exists(file()));  // reading creates nothing
}

TEST_F(Store, NothingReachesTheFileBeforeCommit) {
    store.SaveSetting(App, Section, QStringLiteral("HouseCode"), QStringLiteral("B"));
    EXPECT_FALSE(QFile::exists(file()));
    store.commit();
    EXPECT_EQ(reread(QStringLiteral("HouseCode")), "B");
}

TEST_F(Store, AllSixteenKeysAndOddTextsSurviveAFreshRead) {
    const QMap<QString, QString> values = {
        {"WindowPositionTop", "-150"}, {"WindowPositionLeft", "1e+07"}, {"BackroundColor", "4210752"},
        {"ForeGroundColor", "16777215"}, {"HouseCode", "a, b = c"}, {"BackroundImage", "/tmp/Bilder, alt/Hintergrund = 1.bmp"},
        {"FormWidth", "2370"}, {"OnButtonSkin", "/home/zoë/skins/ön [1].bmp"}, {"OffButtonSkin", "  spaced  "},
        {"FontName", "MS Sans Serif"}, {"FontBold", "True"}, {"FontItalic", "False"}, {"FontSize", "8.25"},
        {"FormHeight", "2500"}, {"ComPort", "5"}, {"TypeOfButtons", "@Variant(not really)"}};
    for (auto it = values.begin(); it != values.end(); ++it) store.SaveSetting(App, Section, it.key(), it.value());
    store.commit();
    for (auto it = values.begin(); it != values.end(); ++it) {
        EXPECT_EQ(reread(it.key()), it.value()) << it.key().toStdString();
        EXPECT_EQ(store.GetSetting(App, Section, it.key()), it.value()) << it.key().toStdString();
    }
}

TEST_F(Store, AHandEditedListStillReadsAsText) {
    QFile f(file());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Settings]\nFontName=Times, Bold\n");
    f.close();
    EXPECT_EQ(store.GetSetting(App, Section, QStringLiteral("FontName")), "Times,Bold");
}

TEST_F(Store, AFailedSaveNamesTheFileAndLeavesTheOldOneIntact) {
    store.SaveSetting(App, Section, QStringLiteral("HouseCode"), QStringLiteral("B"));
    store.commit();
    QFile f(file());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();

    // A folder under a regular file cannot exist, even for root.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, file() + QStringLiteral("/sub"));
    store.SaveSetting(App, Section, QStringLiteral("HouseCode"), QStringLiteral("C"));
    try {
        store.commit();
        FAIL() << "no error";
    } catch (const AppError& e) {
        EXPECT_EQ(e.number(), PathFileAccess);
        EXPECT_NE(QString::fromStdString(e.what()).indexOf(file() + QStringLiteral("/sub/Vantrel.conf")), -1)
            << e.what();
        EXPECT_NE(QString::fromStdString(e.what()).indexOf(QStringLiteral("not a folder")), -1) << e.what();
    }
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
}

}  // namespace
}  // namespace vantrel
