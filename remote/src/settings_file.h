// Saving the settings file so that nothing is ever lost. The new file is
// written in a private folder beside the old one (beside the final target
// when the settings file is a link, which stays a link), read back by a
// fresh parser, synced, and only then renamed over the old one. Lines or
// entries of the old file that cannot be carried over (a "# note", a line
// without "=", binary junk, values the parser cannot write back as they
// were) are not dropped silently: the old file's bytes are first kept as
// "<file>.bak", or ".bak.1" and on when an earlier backup holds other bytes.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVariant>

#include <vector>

namespace vantrel {

struct SettingsEntry {
    QString key;  // "Section/Key"
    QString value;
};

// What a fresh INI parser makes of some bytes: every key it read, and
// whether it read every line.
struct ParsedSettings {
    QMap<QString, QVariant> values;
    bool complete = false;
    QString error;  // why the bytes could not be put where the parser reads them
};
// Parses `bytes` through a copy at `copy`, a path no parser of this process
// has read before: QSettings shares a cache per file name.
ParsedSettings parseSettings(const QByteArray& bytes, const QString& copy);

// Writes `entries` into the INI file `file`, keeping what else it holds.
// Throws AppError naming the file and the real reason when the save cannot
// be made; the old file is then untouched. Returns the backup's path when the
// old content had to be kept aside, else the empty string.
QString writeSettingsFile(const QString& file, const std::vector<SettingsEntry>& entries);

}  // namespace vantrel
