// Settings files and pictures that could hurt a user, through the real
// program's start-up and close: each must start quickly, in little memory,
// save what it should and leave nothing lost on disk. The limits are
// generous; the point is seconds against minutes, megabytes against
// gigabytes.
#include "testkit/child.h"
#include "testkit/shim.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QtEndian>
#include <QFile>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

namespace vantrel::testing {
namespace {

using kestrix::testing::ending;
using kestrix::testing::launch;

constexpr double SecondsAtMost = 10;
constexpr long MegabytesAtMost = 200;

class Hostile : public ::testing::Test {
public:  // open to the rows that make the files
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QString conf() const { return path("config/Vantrel.conf"); }
    void write(const QString& file, const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray read(const QString& file) const {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The saved settings as a fresh reader sees them.
    QMap<QString, QString> saved() const {
        const QString copy = path("saved-copy.ini");
        QFile::remove(copy);
        QFile::copy(conf(), copy);
        QSettings s(copy, QSettings::IniFormat);
        s.beginGroup(QStringLiteral("Settings"));
        QMap<QString, QString> values;
        for (const QString& key : s.childKeys()) values[key] = s.value(key).toString();
        return values;
    }
    // The real program with its settings in the test's folder, asked at
    // once to end (with a signal it is born blocking, so that it acts on it
    // once it is up).
    launch program(kestrix::testing::environment more = {}, int signal = SIGTERM) const {
        // A runtime folder of its own: a remote of another test is not this one's twin.
        QDir().mkpath(path("runtime"));
        QFile::setPermissions(path("runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        more.insert(more.begin(), {{"QT_QPA_PLATFORM", VANTREL_TEST_PLATFORM}, {"XDG_CONFIG_HOME", path("config").toStdString()},
                                   {"XDG_RUNTIME_DIR", path("runtime").toStdString()}});
        launch how({VANTREL_PROGRAM}, more);
        how.blocked = signal;
        return how;
    }
    ending start(const launch& how) const { return kestrix::testing::run(how); }
    ending start() const { return start(program()); }
    // A run that must end well: on time, small, saved.
    void expectOrderly(const ending& end) const {
        EXPECT_TRUE(end.exited) << "ended by signal " << end.status << "\n" << end.output;
        EXPECT_EQ(end.status, 0) << end.output;
        EXPECT_LT(end.seconds, SecondsAtMost);
        EXPECT_LT(end.peak_megabytes, MegabytesAtMost);
        const QMap<QString, QString> values = saved();
        for (const char* key : {"WindowPositionTop", "WindowPositionLeft", "ForeGroundColor", "BackroundColor",
                                "HouseCode", "BackroundImage", "FormWidth", "OnButtonSkin", "OffButtonSkin",
                                "FontName", "FontBold", "FontItalic", "FontSize", "FormHeight", "ComPort",
                                "TypeOfButtons"})
            EXPECT_TRUE(values.contains(QString::fromLatin1(key))) << key << " was not saved\n" << end.output;
    }

    QTemporaryDir dir;
};

struct hostile_file {
    const char* name;
    std::function<QByteArray()> content;
    QMap<QString, QString> saves;  // what close must save, where it matters
    bool keepsBackup;
};

std::ostream& operator<<(std::ostream& os, const hostile_file& f) { return os << f.name; }

class HostileSettingsFile : public Hostile, public ::testing::WithParamInterface<hostile_file> {};

TEST_P(HostileSettingsFile, StartsQuicklyAndSavesWithoutLosingAnything) {
    const QByteArray before = GetParam().content();
    write(conf(), before);
    const ending end = start();
    expectOrderly(end);
    const QMap<QString, QString> values = saved();
    for (auto it = GetParam().saves.begin(); it != GetParam().saves.end(); ++it)
        EXPECT_EQ(values.value(it.key()), it.value()) << it.key().toStdString();
    EXPECT_EQ(end.output.find("Could not save"), std::string::npos) << end.output;
    if (GetParam().keepsBackup) {
        EXPECT_EQ(read(conf() + QStringLiteral(".bak")), before);
        EXPECT_NE(end.output.find("Vantrel.conf.bak"), std::string::npos) << end.output;
    } else {
        EXPECT_FALSE(QFile::exists(conf() + QStringLiteral(".bak")));
    }

    // The file is the program's own now: closing again changes no value,
    // and the backup of what the user wrote stays the only one.
    const QByteArray backup = read(conf() + QStringLiteral(".bak"));
    const ending again = start();
    expectOrderly(again);
    EXPECT_EQ(saved(), values);
    EXPECT_EQ(read(conf() + QStringLiteral(".bak")), backup);
    EXPECT_FALSE(QFile::exists(conf() + QStringLiteral(".bak.1")));
    EXPECT_EQ(again.output.find("Vantrel.conf.bak"), std::string::npos) << again.output;
}

QByteArray settings(const QByteArray& lines) { return "[Settings]\n" + lines + "\n"; }

const hostile_file hostileFiles[] = {
    {"size_beyond_the_desktop", [] { return settings("FormWidth=999999999\nFormHeight=999999999"); },
     {{"FormWidth", "1215"}, {"FormHeight", "2505"}}, false},
    {"width_zero", [] { return settings("FormWidth=0\nFormHeight=599"); },
     {{"FormWidth", "1215"}, {"FormHeight", "2505"}}, false},
    {"size_inside_the_bounds", [] { return settings("FormWidth=1185\nFormHeight=600"); },
     {{"FormWidth", "1185"}, {"FormHeight", "600"}}, false},
    {"place_off_every_screen", [] { return settings("WindowPositionLeft=-999999\nWindowPositionTop=-999999"); },
     {{"WindowPositionLeft", "0"}, {"WindowPositionTop", "0"}}, false},
    {"place_partly_on_a_screen", [] { return settings("WindowPositionLeft=-600\nWindowPositionTop=-300"); },
     {{"WindowPositionLeft", "-600"}, {"WindowPositionTop", "-300"}}, false},
    {"font_name_of_200000_letters", [] { return settings("FontName=" + QString(200000, QChar(0xE9)).toUtf8()); },
     {{"FontName", "MS Sans Serif"}}, false},
    {"font_name_of_1_3_megabytes",
     [] { return settings("FontName=" + QStringLiteral("Dé\u263A Sans ").repeated(130000).toUtf8()); },
     {{"FontName", "MS Sans Serif"}}, false},
    {"house_code_of_40000_letters", [] { return settings("HouseCode=" + QByteArray(40000, 'q')); },
     {{"HouseCode", QString(40000, QLatin1Char('q'))}}, false},
    {"comment_line", [] { return "# my remote\n" + settings("ComPort=3"); }, {{"ComPort", "3"}}, true},
    {"line_without_equals", [] { return settings("ComPort=3\nkitchen lamp is A3"); }, {{"ComPort", "3"}}, true},
    {"section_not_closed", [] { return QByteArray("[Settings\nComPort=3\n"); }, {}, true},
    {"binary_junk", [] { return QByteArray("\x00\x01\xff\xfe[zz\x00\x80\n\x7f=\x01\xc3", 14); }, {}, true},
    {"foreign_empty_section", [] { return QByteArray("[]\nx=1\n") + settings("ComPort=3"); }, {{"ComPort", "3"}}, true},
    {"foreign_value_with_nul", [] { return settings("ComPort=3\nNote=" + QByteArray("a\0,b", 4)); },
     {{"ComPort", "3"}}, true},
    {"foreign_value_with_bom", [] { return settings("ComPort=3\nNote=\xEF\xBB\xBFhello"); }, {{"ComPort", "3"}}, false},
    {"del_byte_and_a_note", [] { return QByteArray("[Settings]\nBackroundImage=a\x7f" "b\n# my note\n[Other]\nkeep=1\n"); },
     {{"BackroundImage", "a\x7f" "b"}}, true},
    // Values the program cannot hold as they are: the user's text is kept aside.
    {"picture_path_with_a_lone_surrogate", [] { return settings("OnButtonSkin=/tmp/\\xd800.bmp"); },
     {{"OnButtonSkin", "/tmp/?.bmp"}}, true},
    {"value_of_a_byte_order_mark_alone", [] { return settings("BackroundImage=\\xfeff"); }, {{"BackroundImage", ""}}, true},
    // The screen is 1280 x 720 pixels: 19200 x 10800 twips.
    {"height_below_the_desktops_width_only", [] { return settings("FormHeight=12000\nFormWidth=15000"); },
     {{"FormWidth", "15000"}, {"FormHeight", "2505"}}, false},
    {"place_beyond_the_right_and_lower_edges",
     [] { return settings("WindowPositionLeft=999999\nWindowPositionTop=999999"); },
     {{"WindowPositionLeft", "17985"}, {"WindowPositionTop", "8700"}}, false},
};

INSTANTIATE_TEST_SUITE_P(Files, HostileSettingsFile, ::testing::ValuesIn(hostileFiles),
                         [](const auto& row) { return std::string(row.param.name); });

struct hostile_picture {
    const char* name;
    const char* key;  // the setting that names it
    std::function<QString(Hostile&)> make;
};

std::ostream& operator<<(std::ostream& os, const hostile_picture& p) { return os << p.name; }

class HostilePicture : public Hostile, public ::testing::WithParamInterface<hostile_picture> {
public:
    // A file a few kilobytes long that decodes to far more than any skin.
    static QString paletteBomb(Hostile& t) {
        QImage image(8000, 8000, QImage::Format_Indexed8);
        image.setColorTable({qRgb(0, 0, 0)});
        image.fill(0);
        const QString file = t.path("bomb.bmp");  // a PNG, named as a bitmap
        image.save(file, "PNG");
        return file;
    }
    // A bitmap whose header claims 30000 x 30000 pixels.
    static QString lyingHeader(Hostile& t) {
        QImage image(2, 2, QImage::Format_RGB888);
        image.fill(Qt::red);
        const QString file = t.path("liar.bmp");
        image.save(file, "BMP");
        QByteArray bytes = t.read(file);
        for (int at : {18, 22}) qToLittleEndian<qint32>(30000, bytes.data() + at);
        t.write(file, bytes);
        return file;
    }
};

TEST_P(HostilePicture, StartsQuicklyInLittleMemoryAndKeepsThePath) {
    const QString file = GetParam().make(*this);
    write(conf(), settings(QByteArray(GetParam().key) + "=" + file.toUtf8()));
    const ending end = start();
    expectOrderly(end);
    EXPECT_EQ(saved().value(QString::fromLatin1(GetParam().key)), file);
}

const hostile_picture hostilePictures[] = {
    {"palette_bomb_as_on_skin", "OnButtonSkin", HostilePicture::paletteBomb},
    {"palette_bomb_as_background", "BackroundImage", HostilePicture::paletteBomb},
    {"header_claiming_30000_squared", "OffButtonSkin", HostilePicture::lyingHeader},
    {"truncated_bitmap", "OnButtonSkin",
     [](Hostile& t) {
         QImage image(200, 200, QImage::Format_RGB888);
         image.fill(Qt::blue);
         const QString file = t.path("cut.bmp");
         image.save(file, "BMP");
         t.write(file, t.read(file).left(30000));
         return file;
     }},
    {"pipe", "OnButtonSkin",
     [](Hostile& t) {
         const QString file = t.path("pipe.bmp");
         ::mkfifo(QFile::encodeName(file).constData(), 0600);  // nobody ever writes to it
         return file;
     }},
    {"folder", "BackroundImage",
     [](Hostile& t) {
         QDir().mkpath(t.path("folder.bmp"));
         return t.path("folder.bmp");
     }},
    {"not_a_picture", "OffButtonSkin",
     [](Hostile& t) {
         t.write(t.path("notes.bmp"), "BM but only words");
         return t.path("notes.bmp");
     }},
    {"photo_of_12_megapixels_as_every_on_skin", "OnButtonSkin",
     [](Hostile& t) {
         QImage image(4000, 3000, QImage::Format_RGB32);
         image.fill(Qt::darkGreen);
         image.save(t.path("photo.png"), "PNG");
         return t.path("photo.png");
     }},
};

INSTANTIATE_TEST_SUITE_P(Pictures, HostilePicture, ::testing::ValuesIn(hostilePictures),
                         [](const auto& row) { return std::string(row.param.name); });

// A log-off while the window is still loading: the program is held inside
// its start-up (opening the background picture) when the signal comes, and
// must still close the orderly way and save once it is up.
TEST_F(Hostile, ASignalDuringStartUpWaitsForTheWindowAndSaves) {
    QImage image(40, 30, QImage::Format_RGB888);
    image.fill(Qt::gray);
    const QString picture = path("back.bmp");
    image.save(picture, "BMP");
    write(conf(), settings("ComPort=4\nBackroundImage=" + picture.toUtf8()));
    int ready[2], go[2];
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(go, O_CLOEXEC), 0);
    launch how = program(kestrix::testing::shim_env("", {{"KESTRIX_SHIM_HOLD", picture.toStdString()},
                                                         {"KESTRIX_SHIM_READY_FD", std::to_string(ready[1])},
                                                         {"KESTRIX_SHIM_GO_FD", std::to_string(go[0])}}),
                         0);
    how.keep_open = {ready[1], go[0]};
    kestrix::testing::child vantrel(how);
    ::close(ready[1]);
    ::close(go[0]);
    char byte = 0;
    const bool held = ::read(ready[0], &byte, 1) == 1;  // inside the load now
    ::kill(vantrel.pid(), SIGTERM);
    ::close(go[1]);  // go on
    ::close(ready[0]);
    const ending end = vantrel.finish(0, 60);
    EXPECT_TRUE(held) << end.output;
    expectOrderly(end);
    EXPECT_EQ(saved().value("ComPort"), "4");
}

// A log-off (SIGHUP), a kill or an interrupt: the window closes the
// orderly way and what it holds is saved.
class ShutdownSignal : public Hostile, public ::testing::WithParamInterface<int> {};

TEST_P(ShutdownSignal, ClosesTheWindowAndSaves) {
    write(conf(), settings("ComPort=4"));
    expectOrderly(start(program({}, GetParam())));
    EXPECT_EQ(saved().value("ComPort"), "4");
}

INSTANTIATE_TEST_SUITE_P(Signals, ShutdownSignal, ::testing::Values(SIGTERM, SIGHUP, SIGINT),
                         [](const auto& row) { return std::string(sigabbrev_np(row.param)); });

// One remote per user and display: a second start brings the running one
// to the front and ends, so that closing both cannot overwrite the first's
// settings with a second copy's. A copy that was killed does not count.
TEST_F(Hostile, ASecondStartBringsTheFirstToTheFrontAndChangesNoSetting) {
    write(conf(), settings("ComPort=4\nHouseCode=C\nForeGroundColor=255"));
    const ending quiet = start();  // the file as the program writes it
    expectOrderly(quiet);
    EXPECT_EQ(quiet.output, "") << "a normal start says nothing";
    const QByteArray before = read(conf());
    const kestrix::testing::environment told = {{"QT_LOGGING_RULES", "vantrel.instance.debug=true"}};
    kestrix::testing::child first(program(told, 0));
    ASSERT_TRUE(first.says("listening for a second start")) << first.output();
    const ending second = start(program({}, 0));
    EXPECT_TRUE(second.ok()) << second.output;
    EXPECT_NE(second.output.find("a remote is running already on this display; it was brought to the front"), std::string::npos)
        << second.output;
    EXPECT_TRUE(first.says("brought to the front for a second start")) << first.output();
    expectOrderly(first.finish(SIGTERM, 20));
    EXPECT_EQ(read(conf()), before);

    kestrix::testing::child killed(program(told, 0));
    ASSERT_TRUE(killed.says("listening for a second start")) << killed.output();
    killed.finish(SIGKILL);  // its lock and socket stay behind
    kestrix::testing::child next(program(told, 0));
    ASSERT_TRUE(next.says("listening for a second start")) << next.output();
    EXPECT_TRUE(start(program({}, 0)).ok());
    expectOrderly(next.finish(SIGTERM, 20));
}

// The save needs no temporary folder, and says why when it cannot be made.
TEST_F(Hostile, AnUnusableTemporaryFolderDoesNotStopTheSave) {
    write(conf(), settings("ComPort=4"));
    const ending end = start(program({{"TMPDIR", "/proc"}}));
    expectOrderly(end);
    EXPECT_EQ(end.output.find("Could not save"), std::string::npos) << end.output;
    EXPECT_EQ(saved().value("ComPort"), "4");
}

TEST_F(Hostile, WithoutHomeTheSettingsBelongInTheHomeOfThePasswordEntry) {
    if (::geteuid() != 0) GTEST_SKIP() << "runs the program as another user, which needs root";
    const passwd* nobody = ::getpwuid(65534);
    ASSERT_NE(nobody, nullptr);
    launch how = program();
    how.unset = {"HOME", "XDG_CONFIG_HOME"};
    how.as_nobody = true;
    const ending end = start(how);
    // Nobody's home cannot be written either: the failed save names the file.
    EXPECT_NE(end.output.find(std::string(nobody->pw_dir) + "/.config/Vantrel.conf"), std::string::npos)
        << end.output;
}

// A save beyond the file-size limit fails like any other: reported, and
// the old file stays as it was, byte for byte.
TEST_F(Hostile, AFileSizeLimitGivesAReportedFailureAndKeepsTheOldFile) {
    const QByteArray before = settings("ComPort=3");
    write(conf(), before);
    launch how = program();
    how.file_size_limit = 0;
    const ending end = start(how);
    EXPECT_TRUE(end.exited) << "ended by signal " << end.status;
    EXPECT_NE(end.output.find("Could not save the settings"), std::string::npos) << end.output;
    EXPECT_NE(end.output.find("ulimit -f"), std::string::npos) << end.output;
    EXPECT_EQ(read(conf()), before);
}

// A pipe where the settings file belongs would never finish reading: it is
// no store, start-up goes on with the defaults, and the save says why not.
TEST_F(Hostile, APipeInPlaceOfTheSettingsFileIsLeftAlone) {
    QDir().mkpath(path("config"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(conf()).constData(), 0600), 0);
    const ending end = start();
    EXPECT_TRUE(end.exited && end.status == 0) << end.output;
    EXPECT_LT(end.seconds, SecondsAtMost);
    EXPECT_NE(end.output.find("is not a regular file"), std::string::npos) << end.output;
    struct stat node {};
    EXPECT_TRUE(::stat(QFile::encodeName(conf()).constData(), &node) == 0 && S_ISFIFO(node.st_mode));
}

}  // namespace
}  // namespace vantrel::testing
