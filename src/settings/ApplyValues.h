#pragma once
// What Apply writes: the value of each panel choice, the "SPAR" command texts (the key
// spellings the device takes, e.g. "VOXsw" where it reports "VOXSw"), which commands the
// model and firmware allow, and the count of changed settings that decides whether a run starts.

#include "params/Capabilities.h"
#include "params/Controls.h"
#include "params/Phase.h"
#include "params/ReadBack.h"
#include "params/Settings.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// ---- The unit's own values ----

// What the unit reported in its current read-back for each key Apply writes, exactly as it
// sent it. A setting the user did not choose is written back with these, so that a value the
// tables cannot show (or would round to their nearest item) survives an Apply unchanged.
class TUnitValues {
  public:
    void Clear() { values_.clear(); }
    bool Empty() const { return values_.empty(); }
    // A read-back reply of this key with its value token.
    void Take(TReplyKey key, std::string_view value);
    // The value the unit holds for the key the write command sets; nullopt when not reported.
    std::optional<std::string_view> Of(std::string_view command) const;
    // The unit has stored what this write command carried.
    void Stored(std::string_view command);
    // Every value held, by the write command's text ("SPAR Led ").
    const std::map<std::string, std::string, std::less<>>& All() const { return values_; }
    bool operator==(const TUnitValues&) const = default;

  private:
    std::map<std::string, std::string, std::less<>> values_; // by command text ("SPAR Led ")
};

// The reply a read-back gets from a unit that stored what the write command carried
// ("SPAR VOXsw 1" -> "OK VOXSw 1\r\n"); nullopt for a command that is not a write.
std::optional<std::string> ReadBackReply(std::string_view command);
// The command whose value stands for the setting's on this unit ("SPAR VOXsw " for hands-free).
std::string_view SettingCommand(TSetting setting, const TIdentity& identity) noexcept;
// Whether the command would store a value other than the one the unit reported: numbers are
// compared as numbers ("-9" and "-9.0" agree). False when the unit did not report the key.
bool ChangesUnitValue(std::string_view command, const TUnitValues& unit);
// The command with the unit's own value in place of its own, where the unit reported the key.
std::string WithUnitValue(std::string_view command, const TUnitValues& unit);

// ---- A backup's values, written back as the unit reported them ----

// The key a value is filed under in a backup: the write command's ("SPAR VOXsw " -> "VOXsw").
std::string UnitValueKey(std::string_view command);
// The write command's text without its value ("SPAR Led b" -> "SPAR Led "); empty for a
// command that is not a write.
std::string_view WriteCommandOf(std::string_view command) noexcept;
// Whether the text has the shape the command's value takes on the unit: a number where the
// unit takes a number ("-7", "0.65"), letters where it takes letters ("b"); never blanks,
// control bytes or more than a few characters. A value from a file is checked with this
// before it is ever sent.
bool FitsCommand(std::string_view command, std::string_view value);

// A backup's values ("PhoneOutVol" -> "-7"), checked, as the values its write commands carry.
struct TRestoreValues {
    TUnitValues values; // empty when one does not fit
    // The first that does not: its key as the file has it, and why (empty when all fit). The
    // key is the file's text: a message escapes it.
    std::string key, why;
    explicit operator bool() const { return why.empty(); }
};
TRestoreValues RestoreValuesOf(const std::map<std::string, std::string>& raw);

// ---- The write plan: every command of an Apply run, in order ----

// The panel's choices, by item index; the air check as the value it writes.
struct TApplyChoices {
    int volume = -1, txSquelch = -1, handsFree = -1, channel = -1, recordSw = -1, diveCom = -1,
        voiceGuide = -1;
    std::int32_t airCheck = 0;
    double initThreshold = 0; // the default set's threshold, written back for hands-free off
};

struct TWriteEntry {
    // The step that sends it; the first entry is sent when Apply is pressed, from Ready.
    TPhase phase = TPhase::Ready;
    std::optional<TSetting> setting;    // the setting it writes; none for the closing "SAVE"
    std::optional<std::string> command; // none: the unit lacks the parameter; answered "OK"
    bool counts = true;                 // raises the run's progress count
};

// Volume, automatic switching, hands-free (switch, then threshold from "201026"), LED,
// channel, base frequency, recorder, dive-computer or receive-only, voice guide, air check,
// then "SAVE".
std::vector<TWriteEntry> WritePlan(const TIdentity& identity, const TApplyChoices& choices);
// After sending entry i of the plan, the step that waits for its answer.
TPhase StepAfter(const std::vector<TWriteEntry>& plan, std::size_t i) noexcept;

// ---- Change count when Apply is pressed ----

// The item chosen and the unit's current item of each setting (the recorder's current may be
// a value past its items), and the air check's state, lists and current code (0: off).
struct TApplyState {
    int volume = -1, volumeCurrent = -1;
    int txSquelch = -1, txSquelchCurrent = -1;
    int handsFree = -1, handsFreeCurrent = -1;
    int channel = -1, channelCurrent = -1;
    int recordSw = -1, recordSwCurrent = -1;
    int diveCom = -1, diveComCurrent = -1;
    int voiceGuide = -1, voiceGuideCurrent = -1;
    bool airCheckChecked = false;
    int airCheckFirst = -1, airCheckLater = -1;
    int airCheckCurrent = -1;
    // Settings written back as the unit has them (KeptSettings): they never count.
    std::vector<TSetting> kept;
    // Settings written with a restore's values, and those of them whose values differ from
    // the unit's: these count, whatever their items say.
    std::vector<TSetting> restored, restoredChanged;
};

struct TChangeCount {
    int count = 0;
    std::vector<TSetting> changed; // the settings counted, in the order Apply writes them
    // Where the unit has the air check, a check box whose combo pair is not a known one is
    // unchecked before the comparison (which runs its click rule).
    bool uncheckAirCheck = false;
};

TChangeCount CountChangedSettings(const TApplyState& panel, const TIdentity& identity);

// The settings the user did not choose that the plan would store differently from what the
// unit reported: the panel shows nothing or the nearest item, and neither is what the unit
// holds, so these are written back with the unit's own values. A setting the user chose is
// written as chosen; choosing the item shown is still no change by itself.
std::vector<TSetting> KeptSettings(const std::vector<TWriteEntry>& plan, const TUnitValues& unit,
                                   const std::vector<TSetting>& chosen);

} // namespace params
