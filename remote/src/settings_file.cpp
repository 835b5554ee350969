#include "settings_file.h"

#include "app_error.h"
#include "scratch_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringDecoder>

#include <algorithm>
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
// DEL is no such character: the parser writes it as it is and reads it back.
bool isText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError()) return false;
    for (QChar c : text)
        if (c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            return false;
    return true;
}

// A text the store can write and read back as it is. A lone surrogate has
// no UTF-8 form, and a leading U+FEFF is taken for a byte-order mark and
// dropped on reading, by the parser and by every UTF-8 conversion.
bool keepable(const QString& text) { return QString::fromUtf8(text.toUtf8()) == text; }

bool keepable(const QVariant& value) {
    if (value.userType() == QMetaType::QString) return keepable(value.toString());
    if (value.userType() == QMetaType::QStringList)
        return std::all_of(value.toStringList().cbegin(), value.toStringList().cend(),
                           [](const QString& t) { return keepable(t); });
    return true;
}

// The nearest text the store can keep: lone surrogates become "?" and
// leading U+FEFFs go, so that what is written is what the next start reads.
QString storable(QString text) {
    while (!keepable(text)) text = QString::fromUtf8(text.toUtf8());
    return text;
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

bool sameContent(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.size() == bytes.size() && f.readAll() == bytes;
}

// Keeps `bytes` beside `file` as "<file>.bak", or ".bak.1", ".bak.2", ...:
// the first name that is free, or one that holds the same bytes already.
// An earlier backup is never replaced, so every original stays. The copy
// is written whole in `scratch` and only then given its name.
QString keepBackup(const QString& file, const QByteArray& bytes, QFileDevice::Permissions permissions) {
    const QString base = QFileInfo(file).absoluteFilePath() + QStringLiteral(".bak");
    auto fail = [&](const QString& why) {
        refuse(file, QStringLiteral("its old content could not be kept beside it as %1 (%2)").arg(base, why));
    };
    ScratchFolder::removeLeftovers(base);
    const ScratchFolder scratch(base);
    if (!scratch.made()) fail(whyNotWritten(base, bytes.size(), scratch.errorString()));
    QFile copy(scratch.filePath(QStringLiteral("backup")));
    if (!copy.open(QIODevice::WriteOnly)) fail(whyNotWritten(base, bytes.size(), copy.errorString()));
    if (copy.write(bytes) != bytes.size() || !copy.flush()) fail(whyNotWritten(base, bytes.size(), copy.errorString()));
    copy.setPermissions(permissions);
    copy.close();
    if (!syncToDisk(copy.fileName())) fail(whyNotWritten(base, bytes.size(), QStringLiteral("it could not be synced")));
    for (int n = 0; n < 10000; ++n) {
        const QString path = n ? base + QLatin1Char('.') + QString::number(n) : base;
        if (QFileInfo(path).isSymLink() || QFileInfo::exists(path)) {
            if (!QFileInfo(path).isSymLink() && sameContent(path, bytes)) return path;
            continue;
        }
        // A link fails where the name was taken meanwhile: nothing is replaced.
        if (::link(encoded(copy.fileName()).constData(), encoded(path).constData()) == 0) return path;
        if (errno != EEXIST) fail(QString::fromLocal8Bit(std::strerror(errno)));
    }
    refuse(file, QStringLiteral("its old content could not be kept: %1 and ten thousand more backups are there already")
                     .arg(base));
}

QMap<QString, QVariant> without(QMap<QString, QVariant> values, const std::vector<SettingsEntry>& entries) {
    for (const SettingsEntry& e : entries) values.remove(e.key);
    return values;
}

}  // namespace

ParsedSettings parseSettings(const QByteArray& bytes, const QString& copy) {
    ParsedSettings parsed;
    QFile file(copy);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) {
        parsed.error = file.errorString();
        return parsed;
    }
    file.close();
    QSettings settings(copy, QSettings::IniFormat);
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
        // Replacing it would work in a folder we may write, but a file its
        // owner made read-only says to leave it alone.
        if (info.ownerId() == ::geteuid() && !(info.permissions() & QFileDevice::WriteOwner))
            refuse(file, QStringLiteral("%1 is read-only").arg(target));
        QFile source(target);
        if (!source.open(QIODevice::ReadOnly)) refuse(file, source.errorString());
        old = source.readAll();
        if (source.error() != QFileDevice::NoError) refuse(file, source.errorString());
        needed += 3 * old.size();
    }

    // Everything before the final rename happens in a folder of our own
    // beside the file: never in the temporary folder, which may be unusable
    // or on another disk, and findable as ours if the save is killed.
    ScratchFolder::removeLeftovers(target);
    const ScratchFolder scratch(target);
    if (!scratch.made()) refuse(file, why(scratch.errorString()));
    auto parsed = [&](const QByteArray& bytes, const char* copy) {
        ParsedSettings p = parseSettings(bytes, scratch.filePath(QString::fromLatin1(copy)));
        if (!p.error.isEmpty()) refuse(file, why(p.error));
        return p;
    };

    const ParsedSettings before = exists ? parsed(old, "old") : ParsedSettings{{}, true, {}};
    // Bytes the parser read whole are kept as they are; otherwise the new
    // file starts from what could be read.
    const bool carryBytes = exists && before.complete && isText(old);
    const QFileDevice::Permissions permissions =
        exists ? QFile(target).permissions()
               : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;

    QFile temp(scratch.filePath(QStringLiteral("new")));
    if (!temp.open(QIODevice::WriteOnly)) refuse(file, why(temp.errorString()));
    if (carryBytes && (temp.write(old) != old.size() || !temp.flush())) refuse(file, why(temp.errorString()));
    temp.setPermissions(permissions);
    temp.close();
    {
        QSettings settings(temp.fileName(), QSettings::IniFormat);
        if (!carryBytes)
            for (auto it = before.values.begin(); it != before.values.end(); ++it) settings.setValue(it.key(), it.value());
        for (const SettingsEntry& e : entries) settings.setValue(e.key, storable(e.value));
        settings.sync();
        if (settings.status() != QSettings::NoError) refuse(file, why(QStringLiteral("the file could not be written")));
    }

    // QSettings may report success over a short write: read it all back.
    QFile written(temp.fileName());
    if (!written.open(QIODevice::ReadOnly)) refuse(file, why(written.errorString()));
    const ParsedSettings after = parsed(written.readAll(), "read-back");
    for (const SettingsEntry& e : entries)
        if (after.values.value(e.key) != QVariant(storable(e.value)))
            refuse(file, why(QStringLiteral("%1 did not read back as it was written").arg(e.key)));
    if (!syncToDisk(temp.fileName())) refuse(file, why(QStringLiteral("the file could not be synced")));

    // The old bytes are kept aside when anything the user did not change
    // would be lost: lines the parser skips, other programs' values that do
    // not come back the same, or one of ours the store cannot hold as it is.
    const bool losesOwnValue = std::any_of(entries.begin(), entries.end(), [&](const SettingsEntry& e) {
        return before.values.contains(e.key) && !keepable(before.values.value(e.key));
    });
    QString backup;
    if (exists && (!carryBytes || losesOwnValue || without(before.values, entries) != without(after.values, entries)))
        backup = keepBackup(file, old, permissions);
    QString renameError;
    if (!renameOver(temp.fileName(), target, renameError)) refuse(file, renameError);
    return backup;
}

}  // namespace vantrel
