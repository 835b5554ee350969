#include "support/stand_ins.h"

namespace vantrel::testing {
namespace {

template <typename T>
std::optional<T> next(std::deque<std::optional<T>>& script) {
    std::optional<T> answer;
    if (!script.empty()) {
        answer.swap(script.front());
        script.pop_front();
    }
    return answer;
}

}  // namespace

std::optional<QString> ScriptedDialog::chooseFile(const QString& filter, const QString&) {
    filtersOffered.push_back(filter);
    return next(files);
}

std::optional<std::int32_t> ScriptedDialog::chooseColor(std::int32_t) { return next(colors); }

std::optional<CommonDialog::FontChoice> ScriptedDialog::chooseFont() { return next(fonts); }

// A fast counter: 97 ticks a reading keeps each command to a few thousand spins.
RecordingControl::RecordingControl()
    : RecordingControl(std::make_shared<kestrix::testing::line_log>(), new kestrix::testing::fake_counter(0, 97)) {}

RecordingControl::RecordingControl(std::shared_ptr<kestrix::testing::line_log> lineLog,
                                   kestrix::testing::fake_counter* counter)
    : controlcm(std::make_unique<kestrix::testing::recording_line>(*counter, lineLog),
                std::unique_ptr<kestrix::tick_counter>(counter)),
      log(std::move(lineLog)) {}

RecordingControl::~RecordingControl() = default;

void RecordingControl::comport(std::int16_t newport) {
    calls.push_back("comport " + std::to_string(newport));
    controlcm::comport(newport);
}

std::int16_t RecordingControl::Init() {
    const std::int16_t result = controlcm::Init();
    calls.push_back("Init " + std::to_string(result));
    return result;
}

void RecordingControl::ResetCom() {
    calls.push_back("ResetCom");
    controlcm::ResetCom();
}

void RecordingControl::Exec(std::string& housecode, const std::string& devicecode, std::int16_t command,
                            std::int16_t brightness) {
    calls.push_back("Exec " + housecode + " " + devicecode + " " + std::to_string(command));
    lastHouse = &housecode;
    lastDevice = &devicecode;
    controlcm::Exec(housecode, devicecode, command, brightness);
}

std::vector<std::string> RecordingControl::frames() const {
    return kestrix::testing::frames_of(
        kestrix::testing::decode(log->events, log->events.empty() ? 0 : log->events.back().tick + 1000000));
}

}  // namespace vantrel::testing
