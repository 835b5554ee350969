#include "app_error.h"
#include "settings_store.h"
#include "support/log_capture.h"
#include "testkit/child.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A file its owner keeps private stays private: the new file is written
// with the old one's permissions.
TEST_F(Store, ASaveKeepsTheFilesPermissions) {
    store.SaveSetting(App, Section, QStringLiteral("HouseCode"), QStringLiteral("B"));
    store.commit();
    ASSERT_EQ(::chmod(QFile::encodeName(file()).constData(), 0600), 0);
    store.SaveSetting(App, Section, QStringLiteral("HouseCode"), QStringLiteral("C"));
    store.commit();
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(file()).constData(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0600u);
    EXPECT_EQ(reread(QStringLiteral("HouseCode")), "C");
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

// A value with no UTF-8 form, or a leading byte-order mark, cannot come
// back as it went: it is saved as the next start will read it, never refused.
TEST_F(Store, TextsItCannotKeepAreSavedAsTheyWillReadBack) {
    store.SaveSetting(App, Section, QStringLiteral("HouseCode"), QString(QChar(0xFEFF)) + QChar(0xFEFF) + "B");
    store.SaveSetting(App, Section, QStringLiteral("BackroundImage"), QStringLiteral("/tmp/") + QChar(0xD800) + ".bmp");
    store.commit();
    EXPECT_EQ(reread(QStringLiteral("HouseCode")), "B");
    EXPECT_EQ(reread(QStringLiteral("BackroundImage")), "/tmp/?.bmp");
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

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void put(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Saving into files that people keep their own way.
TEST_F(Store, ALinkedFileStaysALinkAndItsTargetGetsTheValues) {
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("dotfiles")));
    const QString target = dir.filePath(QStringLiteral("dotfiles/vantrel.ini"));
    put(target, "[Settings]\nHouseCode=A\n");
    ASSERT_TRUE(QFile::link(QStringLiteral("dotfiles/vantrel.ini"), file()));  // relative, as dotfile managers do
    store.SaveSetting(App, Section, QStringLiteral("HouseCode"), QStringLiteral("B"));
    store.commit();
    EXPECT_EQ(QFileInfo(file()).symLinkTarget(), target);
    EXPECT_EQ(reread(QStringLiteral("HouseCode")), "B");

    QFile::remove(target);  // a link whose file is gone: the file comes back
    store.SaveSetting(App, Section, QStringLiteral("HouseCode"), QStringLiteral("C"));
    store.commit();
    EXPECT_TRUE(QFileInfo(file()).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(target));
    EXPECT_EQ(reread(QStringLiteral("HouseCode")), "C");
}

TEST_F(Store, LinesItCannotKeepGoToABackupThatNeverReplacesAnother) {
    const QByteArray hand = "# the kitchen lamp is A3\n[Settings]\nHouseCode=A\nnot a setting\n";
    put(file(), hand);
    put(file() + QStringLiteral(".bak"), "an older backup");
    testing::LogCapture warnings("vantrel.settings");
    store.SaveSetting(App, Section, QStringLiteral("HouseCode"), QStringLiteral("B"));
    store.commit();
    EXPECT_EQ(reread(QStringLiteral("HouseCode")), "B");
    EXPECT_EQ(contents(file() + QStringLiteral(".bak")), "an older backup");
    EXPECT_EQ(contents(file() + QStringLiteral(".bak.1")), hand);
    ASSERT_EQ(warnings.lines().size(), 1);
    EXPECT_TRUE(warnings.lines()[0].contains(file() + QStringLiteral(".bak.1"))) << warnings.lines()[0].toStdString();

    store.SaveSetting(App, Section, QStringLiteral("HouseCode"), QStringLiteral("C"));
    store.commit();  // the file is clean now: a plain save
    EXPECT_EQ(reread(QStringLiteral("HouseCode")), "C");
    EXPECT_EQ(warnings.lines().size(), 1);

    put(file(), hand);  // the same lines once more are kept once
    store.SaveSetting(App, Section, QStringLiteral("HouseCode"), QStringLiteral("D"));
    store.commit();
    EXPECT_EQ(contents(file() + QStringLiteral(".bak.1")), hand);
    EXPECT_FALSE(QFile::exists(file() + QStringLiteral(".bak.2")));
}

// What a killed save left beside the file goes at the next save; what a
// save in progress holds stays.
TEST_F(Store, LeftoversOfAKilledSaveGoButNotThoseOfASaveInProgress) {
    put(file(), "[Settings]\nHouseCode=A\n");
    for (const char* name : {"Vantrel.conf.saving-Killed", "Vantrel.conf.saving-Living", "Vantrel.conf.bak.saving-Killed"}) {
        ASSERT_TRUE(QDir(dir.path()).mkpath(QString::fromLatin1(name)));
        put(dir.filePath(QString::fromLatin1(name) + QStringLiteral("/new")), QByteArray(100000, 'x'));
    }
    put(dir.filePath(QStringLiteral("Vantrel.conf.saving-notes.txt")), "the user's own");
    const int living = ::open(QFile::encodeName(dir.filePath(QStringLiteral("Vantrel.conf.saving-Living"))).constData(),
                              O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(living, LOCK_EX), 0);
    put(file() + QStringLiteral(".bak"), "an older backup");
    put(file(), "# a note makes a backup\n[Settings]\nHouseCode=A\n");
    store.SaveSetting(App, Section, QStringLiteral("HouseCode"), QStringLiteral("B"));
    store.commit();
    ::close(living);
    QStringList left = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    left.sort();
    EXPECT_EQ(left, QStringList({"Vantrel.conf", "Vantrel.conf.bak", "Vantrel.conf.bak.1", "Vantrel.conf.saving-Living",
                                 "Vantrel.conf.saving-notes.txt"}));
}

struct refusal {
    const char* name;
    mode_t folder, file;
    const char* says;  // %1: the folder
};

std::ostream& operator<<(std::ostream& os, const refusal& r) { return os << r.name; }

class StoreRefuses : public Store, public ::testing::WithParamInterface<refusal> {};

TEST_P(StoreRefuses, NamingTheCauseAndTheOldFileStays) {
    put(file(), "[Settings]\nHouseCode=A\n");
    // Root writes anywhere, so the save runs as the file's owner nobody.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(QFile::encodeName(file()).constData(), 65534, 65534), 0);
    }
    ::chmod(QFile::encodeName(file()).constData(), GetParam().file);
    ::chmod(QFile::encodeName(dir.path()).constData(), GetParam().folder);
    const int result = kestrix::testing::as_nobody([&] {
        store.SaveSetting(App, Section, QStringLiteral("HouseCode"), QStringLiteral("B"));
        try {
            store.commit();
        } catch (const AppError& e) {
            const QString why = QString::fromStdString(e.what());
            return why.contains(QString::fromLatin1(GetParam().says).arg(dir.path())) ? 0 : 3;
        }
        return 4;
    });
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(contents(file()), "[Settings]\nHouseCode=A\n");
}

INSTANTIATE_TEST_SUITE_P(Causes, StoreRefuses,
                         ::testing::Values(refusal{"folder_not_writable", 0555, 0644, "permission denied on %1"},
                                           refusal{"file_read_only", 0777, 0444, "%1/Vantrel.conf is read-only"}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace vantrel
