#include "settings_store.h"

#include "app_error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace vantrel {
namespace {

QSettings settingsFor(const QString& application) {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, application);
}

// QSettings reports only that a write failed; find out why for the message.
QString whyNotWritten(const QString& file, QSettings::Status status) {
    if (status == QSettings::FormatError) return QStringLiteral("the existing file is not a settings file");
    QFileInfo info(file);
    QFileInfo dir(info.absolutePath());
    // Walk up to the nearest thing that exists: the folder may be missing.
    QString existing = info.absolutePath();
    while (!QFileInfo::exists(existing) && existing != QDir::rootPath())
        existing = QFileInfo(existing).absolutePath();
    QFileInfo nearest(existing);
    if (!nearest.isDir()) return QStringLiteral("%1 is not a folder").arg(existing);
    if (!dir.exists() && !nearest.isWritable())
        return QStringLiteral("the folder %1 cannot be created (permission denied)").arg(info.absolutePath());
    if (dir.exists() && !dir.isWritable()) return QStringLiteral("permission denied on %1").arg(dir.filePath());
    if (info.exists() && !info.isWritable()) return QStringLiteral("the file is read-only");
    return QStringLiteral("the file could not be written (is the disk full?)");
}

}  // namespace

QString SettingsStore::GetSetting(const QString& application, const QString& section, const QString& key,
                                  const QVariant& fallback) const {
    QSettings settings = settingsFor(application);
    settings.beginGroup(section);
    const QVariant value = settings.value(key);
    if (!value.isValid()) return fallback.isValid() ? fallback.toString() : QString();
    // A hand-edited value with unquoted commas comes back as a list.
    if (value.userType() == QMetaType::QStringList) return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

void SettingsStore::SaveSetting(const QString& application, const QString& section, const QString& key,
                                const QString& value) {
    pending_.push_back({application, section, key, value});
}

void SettingsStore::commit() {
    std::vector<Pending> pending = std::exchange(pending_, {});
    while (!pending.empty()) {
        const QString application = pending.front().application;
        std::vector<Pending> mine, rest;
        for (Pending& p : pending) (p.application == application ? mine : rest).push_back(std::move(p));
        writeAll(fileName(application), mine);
        pending = std::move(rest);
    }
}

// QSettings cannot be trusted to notice a short write (a full disk, a file
// size limit): it then reports success over a truncated file. So the values
// go into a temporary file beside the real one, which is read back in full
// by a fresh parser, and only a file that reads back right replaces the old
// one, by rename.
void SettingsStore::writeAll(const QString& file, const std::vector<Pending>& values) {
    auto fail = [&](const QString& why) {
        throw AppError(PathFileAccess,
                       QStringLiteral("Could not save the settings to %1: %2").arg(file, why).toStdString());
    };
    const QString incomplete = QStringLiteral("the file could not be written completely (is the disk full?)");
    const QFileInfo info(file);
    if (!QDir().mkpath(info.absolutePath())) fail(whyNotWritten(file, QSettings::AccessError));

    QTemporaryFile temp(info.absoluteFilePath() + QStringLiteral(".XXXXXX"));
    if (!temp.open()) fail(whyNotWritten(file, QSettings::AccessError));
    if (info.exists()) {  // keys this program does not write are kept
        QFile old(file);
        if (!old.open(QIODevice::ReadOnly)) fail(old.errorString());
        const QByteArray data = old.readAll();
        if (temp.write(data) != data.size() || !temp.flush()) fail(incomplete);
        temp.setPermissions(old.permissions());
    } else {
        temp.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    temp.close();

    QMap<QString, QVariant> written;
    {
        QSettings settings(temp.fileName(), QSettings::IniFormat);
        for (const Pending& p : values) settings.setValue(p.section + QLatin1Char('/') + p.key, p.value);
        settings.sync();
        if (settings.status() != QSettings::NoError) fail(whyNotWritten(file, settings.status()));
        for (const QString& key : settings.allKeys()) written[key] = settings.value(key);
    }
    if (readBack(temp.fileName()) != written) fail(incomplete);

    const int fd = ::open(QFile::encodeName(temp.fileName()).constData(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0) ::close(fd);
    if (!synced) fail(incomplete);
    if (::rename(QFile::encodeName(temp.fileName()).constData(), QFile::encodeName(file).constData()) != 0)
        fail(QString::fromLocal8Bit(std::strerror(errno)));
}

// Every key of an INI file, parsed from disk under a name no QSettings of
// this process has seen (QSettings shares a cache per file name).
QMap<QString, QVariant> SettingsStore::readBack(const QString& file) {
    QMap<QString, QVariant> values;
    QFile source(file);
    QTemporaryFile copy(file + QStringLiteral(".check.XXXXXX"));
    if (!source.open(QIODevice::ReadOnly) || !copy.open()) return values;
    const QByteArray data = source.readAll();
    if (copy.write(data) != data.size() || !copy.flush()) return values;
    copy.close();
    QSettings settings(copy.fileName(), QSettings::IniFormat);
    for (const QString& key : settings.allKeys()) values[key] = settings.value(key);
    return values;
}

QString SettingsStore::fileName(const QString& application) { return settingsFor(application).fileName(); }

}  // namespace vantrel
