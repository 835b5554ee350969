#include "support/remote_fixture.h"

#include "button_style.h"

#include <QFile>
#include <QImage>
#include <QSettings>
#include <QTest>
#include <QWindow>

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
    auto notifier = std::make_unique<RecordingNotifier>();
    notifications = notifier.get();
    form->notices.notifier = std::move(notifier);
    form->notices.isConsole = [](std::int16_t) { return false; };  // whatever this machine's console is
    if (load) showAndActivate(form.get());
    return *form;
}

void RemoteTest::closeForm() { form->close(); }

namespace {

QWindow* windowOf(QWidget* control) {
    QWidget* top = control->window();
    if (!top->windowHandle()) ADD_FAILURE() << "the control's window is not shown";
    return top->windowHandle();
}

QPoint pointIn(QWidget* control, QPoint at) {
    return control->mapTo(control->window(), at.isNull() ? control->rect().center() : at);
}

}  // namespace

void RemoteTest::click(QWidget* control, Qt::MouseButton button, QPoint at) {
    QTest::mouseClick(windowOf(control), button, {}, pointIn(control, at));
}

void RemoteTest::doubleClick(QWidget* control, QPoint at) {
    QTest::mouseDClick(windowOf(control), Qt::LeftButton, {}, pointIn(control, at));
}

void RemoteTest::press(QWidget* control, Qt::MouseButton button, QPoint at) {
    QTest::mousePress(windowOf(control), button, {}, pointIn(control, at));
}

void RemoteTest::release(QWidget* control, Qt::MouseButton button, QPoint at) {
    QTest::mouseRelease(windowOf(control), button, {}, pointIn(control, at));
}

void RemoteTest::moveTo(QWidget* control, QPoint at) {
    QTest::mouseMove(windowOf(control), pointIn(control, at));  // buttons pressed stay held
}

void RemoteTest::type(QWidget* window, const QString& text) {
    for (QChar c : text) QTest::keyClick(window->windowHandle(), c.toLatin1());
}

void RemoteTest::key(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(window->windowHandle(), key, modifiers);
}

void RemoteTest::retype(QWidget* window, const QString& text) {
    key(window, Qt::Key_A, Qt::ControlModifier);
    key(window, Qt::Key_Delete);
    type(window, text);
}

void RemoteTest::showAndActivate(QWidget* window) {
    if (auto* main = qobject_cast<Form1*>(window)) main->Show();
    else window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window)) ADD_FAILURE() << "the window did not become active";
}

}  // namespace vantrel::testing

namespace vantrel::testing {

QPoint RemoteTest::background() const {
    const QPoint spot(toPixels(1140), toPixels(1500));
    EXPECT_EQ(form->childAt(spot), nullptr);
    return spot;
}

FrmSettings& RemoteTest::openSettings() {
    click(form.get(), Qt::RightButton, background());
    FrmSettings* window = form->settingsWindow();
    if (!window) throw std::runtime_error("a right click did not open the settings window");
    showAndActivate(window);
    return *window;
}

void RemoteTest::standardButtons() {
    if (!settings.TypeOfButtons) ToggleButtonStyle(*form, settings);
}

std::vector<std::string> RemoteTest::sent() const {
    std::vector<std::string> out;
    for (const std::string& c : control->calls)
        if (c.rfind("Exec", 0) == 0) out.push_back(c);
    return out;
}

QString RemoteTest::bitmap(const char* name, int width, int height, QRgb colour) const {
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(colour);
    const QString path = dir.filePath(QString::fromLatin1(name));
    image.save(path, "BMP");
    return path;
}

}  // namespace vantrel::testing
