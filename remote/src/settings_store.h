// The per-user settings store: text values addressed by application name,
// section and key, kept in ~/.config/<application>.conf (under
// $XDG_CONFIG_HOME when set), one group per section.
//
// Reads go to the file each time. Writes are staged and reach the file only
// at commit(), all together (see settings_file.h): a failed save leaves the
// earlier file exactly as it was, and old content that cannot be carried
// over is kept beside it.
#pragma once

#include <QHash>
#include <QString>
#include <QVariant>

#include <vector>

namespace vantrel {

class SettingsStore {
public:
    // The stored text, or `fallback` as text when the key is absent (the
    // empty text when no fallback is given).
    QString GetSetting(const QString& application, const QString& section, const QString& key,
                       const QVariant& fallback = QVariant()) const;

    // Stages a value for the next commit().
    void SaveSetting(const QString& application, const QString& section, const QString& key,
                     const QString& value);

    // Writes every staged value in one go. Throws AppError naming the file
    // and the reason when the write fails; the staged values are dropped
    // either way.
    void commit();

    // The file that holds an application's settings.
    static QString fileName(const QString& application);

private:
    struct Pending {
        QString application, section, key, value;
    };
    std::vector<Pending> pending_;
    mutable QHash<QString, QString> readFrom_;  // the file of each application, looked up once
};

}  // namespace vantrel
