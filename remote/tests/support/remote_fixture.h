// A main window on stand-ins, with the settings store in a private folder.
#pragma once

#include "form1.h"
#include "support/stand_ins.h"

#include <gtest/gtest.h>

#include <QMap>
#include <QTemporaryDir>

#include <memory>

namespace vantrel::testing {

class RemoteTest : public ::testing::Test {
protected:
    RemoteTest();
    ~RemoteTest() override;

    // Puts values in the store before the window reads it.
    void store(const QMap<QString, QString>& values);
    // The store file as a fresh reader sees it (parsed anew, not cached).
    QMap<QString, QString> storedValues() const;
    QString storeFile() const;

    // Creates the main window; with `load`, runs its load handler as Show would.
    Form1& createForm(bool load = true);
    // Closes the main window the way the user does, which saves.
    void closeForm();

    QTemporaryDir dir;
    ControllerSettings settings;
    SettingsStore settingsStore;
    std::unique_ptr<Form1> form;
    ScriptedDialog* dialog = nullptr;
    RecordingMessageBox* messages = nullptr;
    RecordingControl* control = nullptr;
};

}  // namespace vantrel::testing
