#pragma once
// The steps of the conversation with a unit, by name. The number of each is what the log's
// "N status" line, the scenario runner's "wait step N" and its state print; StepNumber is the
// only way from one to the other.
#include <cstdint>

namespace params {

enum class TPhase : std::uint8_t {
    Idle = 0,           // nothing identified since the start
    Ready = 1,          // identified and read back, or a run ended: waiting for the user
    SendingClock = 2,   // a unit was connected: "RTC SET" goes out on the next tick
    SettingClock = 3,   // its answer, then "VER"
    ReadingVersion = 4, // then "KIND", "GSER" or the information file
    UploadingInformationFile = 5,
    ReadingSerial = 6,
    ReadingDefaults = 7, // "GETTMPPARAM"
    ReadingCurrent = 8,  // "GPAR", until a second passes without a reply
    RestoringDefaults = 9,
    // Apply's write steps: each takes the answer to the previous command and writes the next.
    WritingAutoSwitching = 10,
    WritingHandsFree = 11,
    WritingSensitivity = 12,
    WritingChannel = 13,
    WritingBaseFrequency = 14,
    WritingRecorder = 15,
    WritingDiveComputer = 16,
    Saving = 17, // the answer to "SAVE", or Default's erase
    ReadingModel = 18,
    WritingLed = 19,
    WritingVoiceGuide = 21,
    WritingAirCheck = 22,
    SendingSave = 23,
    ReadingLanguage = 24,
    Closing = 99, // identification ended without settings to read, or the unit refused it
};

constexpr int StepNumber(TPhase phase) noexcept {
    return static_cast<int>(phase);
}

} // namespace params
