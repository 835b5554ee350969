// A main window on stand-ins, with the settings store in a private folder.
#pragma once

#include "form1.h"
#include "frm_settings.h"
#include "support/stand_ins.h"

#include <gtest/gtest.h>

#include <QMap>
#include <QTemporaryDir>

#include <memory>

namespace vantrel::testing {

class RemoteTest : public ::testing::Test {
public:  // open to the table-driven tests' rows
    RemoteTest();
    ~RemoteTest() override;

    // Puts values in the store before the window reads it.
    void store(const QMap<QString, QString>& values);
    // The store file as a fresh reader sees it (parsed anew, not cached).
    QMap<QString, QString> storedValues() const;
    QString storeFile() const;

    // Creates the main window; with `load`, shows it as the program does
    // (which runs its load handler first).
    Form1& createForm(bool load = true);
    // Closes the main window the way the user does, which saves.
    void closeForm();

    // Real input: mouse events enter at the window system's door of the
    // control's window, at the control's centre (or `at`, in the control's
    // own pixels), and Qt finds the control under the pointer as it does for
    // a user. A control outside the visible window cannot be hit.
    static void click(QWidget* control, Qt::MouseButton button = Qt::LeftButton, QPoint at = {});
    static void doubleClick(QWidget* control, QPoint at = {});
    static void press(QWidget* control, Qt::MouseButton button, QPoint at = {});
    static void release(QWidget* control, Qt::MouseButton button, QPoint at = {});
    static void moveTo(QWidget* control, QPoint at);
    // Keys to whatever control of the active window has the focus.
    static void type(QWidget* window, const QString& text);
    static void key(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = {});
    // Types `text` over the whole text of the focused box of `window`.
    static void retype(QWidget* window, const QString& text);
    // Shows a top-level window and makes it the active one.
    static void showAndActivate(QWidget* window);

    // A spot of the main window's background that no control covers.
    QPoint background() const;
    // Opens the settings window as the user does, with a right click.
    FrmSettings& openSettings();
    // Puts the standard buttons in the unit rows.
    void standardButtons();
    // The calls that asked the transmitter to send ("Exec C 12 2").
    std::vector<std::string> sent() const;
    // A plain 24-bit bitmap of the given size in the test folder.
    QString bitmap(const char* name, int width, int height, QRgb colour = 0xff336699) const;

    QTemporaryDir dir;
    ControllerSettings settings;
    SettingsStore settingsStore;
    std::unique_ptr<Form1> form;
    ScriptedDialog* dialog = nullptr;
    RecordingMessageBox* messages = nullptr;
    RecordingNotifier* notifications = nullptr;
    RecordingControl* control = nullptr;
};

}  // namespace vantrel::testing
