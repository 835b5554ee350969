#include "settings_store.h"

#include "settings_file.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QSettings>
#include <QStringList>

#include <utility>

namespace vantrel {

Q_LOGGING_CATEGORY(lcSettings, "vantrel.settings")

namespace {

QSettings settingsFor(const QString& application) {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, application);
}

}  // namespace

QString SettingsStore::GetSetting(const QString& application, const QString& section, const QString& key,
                                  const QVariant& fallback) const {
    const QString absent = fallback.isValid() ? fallback.toString() : QString();
    // A folder, a pipe or a device where the file belongs is no store: a
    // pipe would never finish reading.
    if (!readFrom_.contains(application)) readFrom_.insert(application, fileName(application));
    const QFileInfo file(readFrom_.value(application));
    if (file.exists() && !file.isFile()) return absent;
    QSettings settings = settingsFor(application);
    settings.beginGroup(section);
    const QVariant value = settings.value(key);
    if (!value.isValid()) return absent;
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
        std::vector<SettingsEntry> entries;
        std::vector<Pending> rest;
        for (Pending& p : pending) {
            if (p.application == application) entries.push_back({p.section + QLatin1Char('/') + p.key, p.value});
            else rest.push_back(std::move(p));
        }
        const QString file = fileName(application);
        const QString backup = writeSettingsFile(file, entries);
        if (!backup.isEmpty())
            qCWarning(lcSettings).noquote()
                << QStringLiteral("%1 held lines that cannot be kept in it; its old content is in %2").arg(file, backup);
        pending = std::move(rest);
    }
}

// QSettings reads its file as it is made, and a pipe there would never
// answer: learn the folder from a name that holds no file.
QString SettingsStore::fileName(const QString& application) {
    const QString probe =
        QSettings(QSettings::NativeFormat, QSettings::UserScope, application + QStringLiteral(".folder-probe")).fileName();
    return QFileInfo(probe).absolutePath() + QLatin1Char('/') + application + QStringLiteral(".conf");
}

}  // namespace vantrel
