#pragma once
// What Apply writes: the value of each panel choice, the "SPAR" command texts (the key
// spellings the device takes, e.g. "VOXsw" where it reports "VOXSw"), which commands the
// model and firmware allow, and the count of changed settings that decides whether a run starts.

#include "params/Capabilities.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace params {

inline constexpr std::string_view CmdRxLevel = "SPAR RxLevel ";
inline constexpr std::string_view CmdRxOutLevel = "SPAR RxOutLevel ";
inline constexpr std::string_view CmdPhoneOutVol = "SPAR PhoneOutVol ";
inline constexpr std::string_view CmdTxSquelchSw = "SPAR TxSquelchSw ";
inline constexpr std::string_view CmdVOXsw = "SPAR VOXsw ";
inline constexpr std::string_view CmdCsgVoxNzccTh = "SPAR CsgVoxNzccTh ";
inline constexpr std::string_view CmdLed = "SPAR Led ";
inline constexpr std::string_view CmdChannel = "SPAR Channel ";
inline constexpr std::string_view CmdBaseFreq = "SPAR BaseFreq ";
inline constexpr std::string_view CmdRecordSw = "SPAR RecordSw ";
inline constexpr std::string_view CmdTxModeSw = "SPAR TxModeSw ";
inline constexpr std::string_view CmdDiveConWarningSw = "SPAR DiveConWarningSw ";
inline constexpr std::string_view CmdVoiceGuideSwitch = "SPAR VoiceGuideSwitch ";
inline constexpr std::string_view CmdDivingTimeSignalSw = "SPAR DivingTimeSignalSw ";
inline constexpr std::string_view CmdSave = "SAVE";
inline constexpr std::string_view CmdClear = "CLEAR";

// ---- Value helpers: panel index -> device value ----

std::string GetDiveConWarningValue(int index); // "0", "2", "3"; "" for others
std::string GetTxModeValue(int index);         // "1", "0"; "" for others
std::int32_t GetVoiceGuideValue(int index);    // 120, 510; 511 for any other (-1 included)
// (GetDivingTimeSignalValue and GetDivingTimeSignalCode are in ValueTables.h.)

// ---- Commands; a value part that would be empty leaves the bare text with its blank ----

// The first command of a run, by flags and model, for the RadioGroup1 index.
std::string VolumeCommand(const TIdentity& identity, int index);
std::string TxSquelchCommand(int index);
// Hands-free on/off: any index other than 0 (none selected included) writes "1".
std::string VoxCommand(int index);
// Sensitivity threshold; index 0 writes the default set's threshold back.
std::string CsgVoxNzccThCommand(int index, double initThreshold);
std::string LedCommand(int index);
std::string ChannelCommand(std::string_view model, int index);
std::string BaseFreqCommand(int index);
std::string RecordSwCommand(int index);

// The gated commands; nullopt means the step sends nothing and answers itself "OK".
// Receive-only switch (model "DW730 VELMORAS_SPECIAL", any firmware) or dive-computer
// interface (other models, from "201029").
std::optional<std::string> DiveComCommand(const TIdentity& identity, int index);
std::optional<std::string> VoiceGuideCommand(const TIdentity& identity, int index);
std::optional<std::string> DivingTimeSignalCommand(const TIdentity& identity, std::int32_t value);

// The sensitivity threshold is written from "201026" on (step 12 between VOXsw and Led).
bool WritesCsgVoxNzccTh(std::string_view version) noexcept;

// ---- Change count when Apply is pressed ----

// Choice index and current-setting tag of each setting, and the air-check controls.
struct TApplyPanel {
    int volume = -1, volumeTag = -1;
    int txSquelch = -1, txSquelchTag = -1;
    int handsFree = -1, handsFreeTag = -1;
    int channel = -1, channelTag = -1;
    int recordSw = -1, recordSwTag = -1;
    int diveCom = -1, diveComTag = -1;
    int voiceGuide = -1, voiceGuideTag = -1;
    bool airCheckChecked = false;
    int airCheckFirst = -1, airCheckLater = -1;
    int airCheckTag = -1;
};

struct TChangeCount {
    int count = 0;
    // Where the unit has the air check, a check box whose combo pair is not a known one is
    // unchecked before the comparison (which runs its click rule).
    bool uncheckAirCheck = false;
};

TChangeCount CountChangedSettings(const TApplyPanel& panel, const TIdentity& identity);

} // namespace params
