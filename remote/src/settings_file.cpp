#include "settings_file.h"

#include "app_error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringDecoder>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace vantrel {
namespace {

[[noreturn]] void refuse(const QString& file, const QString& why) {
    throw AppError(PathFileAccess, QStringLiteral("Could not save the settings to %1: %2").arg(file, why).toStdString());
}

QByteArray encoded(const QString& path) { return QFile::encodeName(path); }

// The file a chain of links ends in; the path itself when it is no link.
QString finalTarget(const QString& file) {
    QString current = QFileInfo(file).absoluteFilePath();
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(current);
        if (!info.isSymLink()) return current;
        current = info.symLinkTarget();
    }
    refuse(file, QStringLiteral("its links lead round in a circle"));
}

// Why a file at `target` could not be written, `needed` bytes long. Finds
// the real cause where the system tells it; `otherwise` when it does not.
QString whyNotWritten(const QString& target, qint64 needed, const QString& otherwise) {
    const QString folder = QFileInfo(target).absolutePath();
    // Walk up to the nearest thing that exists: the folder may be missing.
    QString existing = folder;
    while (!QFileInfo::exists(existing) && existing != QDir::rootPath()) existing = QFileInfo(existing).absolutePath();
    if (!QFileInfo(existing).isDir()) return QStringLiteral("%1 is not a folder").arg(existing);
    struct statvfs fs {};
    const bool known = ::statvfs(encoded(existing).constData(), &fs) == 0;
    if (known && (fs.f_flag & ST_RDONLY)) return QStringLiteral("the file system of %1 is read-only").arg(existing);
    if (!QFileInfo(existing).isWritable())
        return existing == folder ? QStringLiteral("permission denied on %1").arg(folder)
                                  : QStringLiteral("the folder %1 cannot be created (permission denied)").arg(folder);
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        limit.rlim_cur < static_cast<rlim_t>(needed))
        return QStringLiteral("files may not grow beyond %1 bytes here (ulimit -f)").arg(limit.rlim_cur);
    if (known && static_cast<qint64>(fs.f_bavail * fs.f_frsize) < needed) return QStringLiteral("the disk is full");
    return otherwise;
}

// Valid UTF-8 without control characters other than tabs and line ends.
bool isText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError()) return false;
    for (QChar c : text)
        if ((c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n') && c != QLatin1Char('\r')) ||
            c.unicode() == 0x7F)
            return false;
    return true;
}

bool syncToDisk(const QString& path) {
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0) ::close(fd);
    return synced;
}

bool renameOver(const QString& from, const QString& to, QString& why) {
    if (::rename(encoded(from).constData(), encoded(to).constData()) == 0) return true;
    why = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

// Keeps `bytes` as `path`, replacing an older copy, all or nothing.
void keepCopy(const QString& file, const QString& path, const QByteArray& bytes, QFileDevice::Permissions permissions) {
    auto fail = [&](const QString& why) {
        refuse(file, QStringLiteral("its old content could not be kept as %1 (%2)").arg(path, why));
    };
    QTemporaryFile copy(path + QStringLiteral(".XXXXXX"));
    if (!copy.open()) fail(copy.errorString());
    if (copy.write(bytes) != bytes.size() || !copy.flush())
        fail(whyNotWritten(path, bytes.size(), copy.errorString()));
    copy.setPermissions(permissions);
    copy.close();
    QString why;
    if (!syncToDisk(copy.fileName())) fail(whyNotWritten(path, bytes.size(), QStringLiteral("it could not be synced")));
    if (!renameOver(copy.fileName(), path, why)) fail(why);
}

QMap<QString, QVariant> without(QMap<QString, QVariant> values, const std::vector<SettingsEntry>& entries) {
    for (const SettingsEntry& e : entries) values.remove(e.key);
    return values;
}

}  // namespace

ParsedSettings parseSettings(const QByteArray& bytes, const QString& scratchFolder) {
    ParsedSettings parsed;
    // A copy under a name no QSettings of this process has seen: QSettings
    // shares a cache per file name.
    QTemporaryFile copy(scratchFolder + QStringLiteral("/.vantrel-read.XXXXXX"));
    if (!copy.open() || copy.write(bytes) != bytes.size() || !copy.flush()) return parsed;
    copy.close();
    QSettings settings(copy.fileName(), QSettings::IniFormat);
    for (const QString& key : settings.allKeys()) parsed.values[key] = settings.value(key);
    parsed.complete = settings.status() == QSettings::NoError;
    return parsed;
}

QString writeSettingsFile(const QString& file, const std::vector<SettingsEntry>& entries) {
    const QString target = finalTarget(file);
    const QFileInfo info(target);
    qint64 needed = 4096;
    for (const SettingsEntry& e : entries) needed += e.key.size() + e.value.toUtf8().size() + 2;
    auto why = [&](const QString& otherwise) { return whyNotWritten(target, needed, otherwise); };
    if (!QDir().mkpath(info.absolutePath())) refuse(file, why(QStringLiteral("its folder cannot be created")));

    QByteArray old;
    const bool exists = info.exists();
    if (exists) {
        if (!info.isFile()) refuse(file, QStringLiteral("%1 is not a regular file").arg(target));
        QFile source(target);
        if (!source.open(QIODevice::ReadOnly)) refuse(file, source.errorString());
        old = source.readAll();
        if (source.error() != QFileDevice::NoError) refuse(file, source.errorString());
        needed += old.size();
    }
    const ParsedSettings before = exists ? parseSettings(old, QDir::tempPath()) : ParsedSettings{{}, true};
    // Bytes the parser read whole are kept as they are; otherwise the new
    // file starts from what could be read.
    const bool carryBytes = exists && before.complete && isText(old);
    const QFileDevice::Permissions permissions =
        exists ? QFile(target).permissions()
               : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;

    QTemporaryFile temp(target + QStringLiteral(".XXXXXX"));
    if (!temp.open()) refuse(file, why(temp.errorString()));
    if (carryBytes && (temp.write(old) != old.size() || !temp.flush())) refuse(file, why(temp.errorString()));
    temp.setPermissions(permissions);
    temp.close();
    {
        QSettings settings(temp.fileName(), QSettings::IniFormat);
        if (!carryBytes)
            for (auto it = before.values.begin(); it != before.values.end(); ++it) settings.setValue(it.key(), it.value());
        for (const SettingsEntry& e : entries) settings.setValue(e.key, e.value);
        settings.sync();
        if (settings.status() != QSettings::NoError) refuse(file, why(QStringLiteral("the file could not be written")));
    }

    // QSettings may report success over a short write: read it all back.
    QFile written(temp.fileName());
    if (!written.open(QIODevice::ReadOnly)) refuse(file, why(written.errorString()));
    const ParsedSettings after = parseSettings(written.readAll(), QDir::tempPath());
    for (const SettingsEntry& e : entries)
        if (after.values.value(e.key) != QVariant(e.value))
            refuse(file, why(QStringLiteral("%1 did not read back as it was written").arg(e.key)));
    if (!syncToDisk(temp.fileName())) refuse(file, why(QStringLiteral("the file could not be synced")));

    QString backup;
    if (exists && (!carryBytes || without(before.values, entries) != without(after.values, entries))) {
        backup = QFileInfo(file).absoluteFilePath() + QStringLiteral(".bak");
        keepCopy(file, backup, old, permissions);
    }
    QString renameError;
    if (!renameOver(temp.fileName(), target, renameError)) refuse(file, renameError);
    return backup;
}

}  // namespace vantrel
