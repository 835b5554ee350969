#include "support/remote_fixture.h"

#include <QFile>
#include <QSettings>

namespace vantrel::testing {

RemoteTest::RemoteTest() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
}

RemoteTest::~RemoteTest() = default;

void RemoteTest::store(const QMap<QString, QString>& values) {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Vantrel"));
    s.beginGroup(QStringLiteral("Settings"));
    for (auto it = values.begin(); it != values.end(); ++it) s.setValue(it.key(), it.value());
    s.endGroup();
    s.sync();
}

QString RemoteTest::storeFile() const { return dir.filePath(QStringLiteral("Vantrel.conf")); }

QMap<QString, QString> RemoteTest::storedValues() const {
    // A copy under a new name: QSettings caches files by name within a process.
    static int copies = 0;
    const QString copy = dir.filePath(QStringLiteral("reread-%1.ini").arg(++copies));
    QFile::remove(copy);
    QMap<QString, QString> values;
    if (!QFile::copy(storeFile(), copy)) return values;
    QSettings s(copy, QSettings::IniFormat);
    s.beginGroup(QStringLiteral("Settings"));
    for (const QString& key : s.childKeys()) values[key] = s.value(key).toString();
    return values;
}

Form1& RemoteTest::createForm(bool load) {
    auto scripted = std::make_unique<ScriptedDialog>();
    auto recorder = std::make_unique<RecordingMessageBox>();
    dialog = scripted.get();
    messages = recorder.get();
    form = std::make_unique<Form1>(
        settings, settingsStore,
        [this] {
            auto c = std::make_unique<RecordingControl>();
            control = c.get();
            return c;
        },
        std::move(scripted), std::move(recorder));
    if (load) form->Form_Load();
    return *form;
}

void RemoteTest::closeForm() { form->close(); }

}  // namespace vantrel::testing
