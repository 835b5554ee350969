// Stand-ins for what a test cannot let happen for real: dialogs and message
// boxes that would wait for a user, and a transmitter on a real port.
#pragma once

#include "common_dialog.h"
#include "message_box.h"
#include "password_keeper.h"
#include "press_notices.h"
#include "testkit/fakes.h"

#include <QTimer>

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <ostream>

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace vantrel::testing {

// Answers each Show with the next scripted choice; an empty script or a
// nullopt answer is a cancel. Records what each Show was offered.
class ScriptedDialog final : public CommonDialog {
public:
    std::deque<std::optional<QString>> files;
    std::deque<std::optional<std::int32_t>> colors;
    std::deque<std::optional<FontChoice>> fonts;
    std::vector<QString> filtersOffered;  // the Filter at each ShowOpen

    using CommonDialog::FontChoice;

protected:
    std::optional<QString> chooseFile(const QString& filter, const QString&) override;
    std::optional<std::int32_t> chooseColor(std::int32_t) override;
    std::optional<FontChoice> chooseFont() override;
};

class RecordingMessageBox final : public MessageBox {
public:
    std::vector<QString> shown;
    void show(const QString& text) override { shown.push_back(text); }
};

// A keyring that has `kept` (or none, and says why), answering from the
// event loop as a real one does; it keeps what is written.
class ScriptedKeeper final : public PasswordKeeper {
public:
    std::optional<QString> kept;
    std::map<QString, QString> written;
    void read(const QString&, Answer done) override {
        QTimer::singleShot(0, [this, done] { done(kept, kept ? QString() : QStringLiteral("no keyring answered (a test)")); });
    }
    void write(const QString& account, const QString& password, std::function<void(const QString&)> done) override {
        written[account] = password;
        done(QString());
    }
};

class RecordingNotifier final : public Notifier {
public:
    std::vector<QString> shown;  // "summary: body"
    void notify(const QString& summary, const QString& body) override { shown.push_back(summary + ": " + body); }
};

// The real control on a recording line and a fast fake counter, noting every
// call the remote makes on it.
class RecordingControl final : public kestrix::controlcm {
public:
    RecordingControl();
    ~RecordingControl() override;

    std::shared_ptr<kestrix::testing::line_log> log;
    std::vector<std::string> calls;        // "comport 2", "Init 0", "Exec C 12 2", "ResetCom"
    const std::string* lastHouse = nullptr;  // the strings Exec was handed
    const std::string* lastDevice = nullptr;

    std::int16_t comport() const override { return controlcm::comport(); }
    void comport(std::int16_t newport) override;
    std::int16_t Init() override;
    void ResetCom() override;
    void Exec(std::string& housecode, const std::string& devicecode, std::int16_t command,
              std::int16_t brightness = 0) override;

    // Frames that reached the line, as hex.
    std::vector<std::string> frames() const;

private:
    RecordingControl(std::shared_ptr<kestrix::testing::line_log> log, kestrix::testing::fake_counter* counter);
};

}  // namespace vantrel::testing
