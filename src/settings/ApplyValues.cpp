#include "settings/ApplyValues.h"

#include "params/Features.h"
#include "params/ParamKeys.h"
#include "params/ReplyTokens.h"
#include "params/ValueTables.h"

#include <algorithm>
#include <array>

namespace params {

namespace {

std::string Command(std::string_view text, std::string_view value = {}) {
    std::string out(text);
    out += value;
    return out;
}

template <std::size_t N>
std::string_view Pick(const std::array<std::string_view, N>& values, int index) {
    if (index < 0 || index >= static_cast<int>(N)) return {};
    return values[static_cast<std::size_t>(index)];
}

} // namespace

std::string GetDiveConWarningValue(int index) {
    return std::string(Pick(std::array<std::string_view, 3>{"0", "2", "3"}, index));
}

std::string GetTxModeValue(int index) {
    return std::string(Pick(std::array<std::string_view, 2>{"1", "0"}, index));
}

std::int32_t GetVoiceGuideValue(int index) {
    if (index == 0) return VoiceGuideValues[0];
    if (index == 1) return VoiceGuideValues[1];
    return VoiceGuideValues[2];
}

std::string VolumeCommand(const TIdentity& identity, int index) {
    switch (VolumeKey(identity)) {
    case TVolumeKey::RxLevel: {
        const auto v = RxLevelValue(index);
        return Command(CmdRxLevel, v ? std::to_string(*v) : std::string());
    }
    case TVolumeKey::PhoneOutVol: {
        const auto v = PhoneOutVolValue(index);
        return Command(CmdPhoneOutVol, v ? FormatReal(*v) : std::string());
    }
    case TVolumeKey::RxOutLevel:
        break;
    }
    const auto v = RxOutLevelValue(identity.model, index);
    return Command(CmdRxOutLevel, v ? std::to_string(*v) : std::string());
}

std::string TxSquelchCommand(int index) {
    return Command(CmdTxSquelchSw, Pick(std::array<std::string_view, 2>{"0", "1"}, index));
}

std::string VoxCommand(int index) {
    return Command(CmdVOXsw, index == 0 ? "0" : "1");
}

std::string CsgVoxNzccThCommand(int index, double initThreshold) {
    const auto v = CsgVoxNzccThValue(index, initThreshold);
    return Command(CmdCsgVoxNzccTh, v ? FormatReal(*v) : std::string());
}

std::string LedCommand(int index) {
    return Command(CmdLed, Pick(std::array<std::string_view, 3>{"y", "b", "a"}, index));
}

std::string ChannelCommand(std::string_view model, int index) {
    const std::string_view second = IsModel(model, ModelDW720MIV) ? "l" : "u";
    return Command(CmdChannel, Pick(std::array<std::string_view, 3>{"u", second, "l"}, index));
}

std::string BaseFreqCommand(int index) {
    return Command(CmdBaseFreq, Pick(std::array<std::string_view, 3>{"2", "3", "4"}, index));
}

std::string RecordSwCommand(int index) {
    return Command(CmdRecordSw,
                   Pick(std::array<std::string_view, 5>{"0", "1", "2", "3", "4"}, index));
}

std::optional<std::string> DiveComCommand(const TIdentity& identity, int index) {
    if (HasReceiveOnlySwitch(identity)) return Command(CmdTxModeSw, GetTxModeValue(index));
    if (!WritesDiveComInterface(identity)) return std::nullopt;
    return Command(CmdDiveConWarningSw, GetDiveConWarningValue(index));
}

std::optional<std::string> VoiceGuideCommand(const TIdentity& identity, int index) {
    if (!HasVoiceGuide(identity)) return std::nullopt;
    return Command(CmdVoiceGuideSwitch, std::to_string(GetVoiceGuideValue(index)));
}

std::optional<std::string> DivingTimeSignalCommand(const TIdentity& identity, std::int32_t value) {
    if (!HasAirCheck(identity)) return std::nullopt;
    return Command(CmdDivingTimeSignalSw, std::to_string(value));
}

bool WritesCsgVoxNzccTh(std::string_view version) noexcept {
    return HasSensitivity(version);
}

// ---- the unit's own values ----

namespace {

struct TWriteKey {
    TReplyKey key;
    std::string_view command;
    std::string_view reported; // the key as the read-back's replies spell it
};

// The device reports "VOXSw" but takes "VOXsw": the reply key, not the spelling, pairs them.
constexpr std::array<TWriteKey, 14> kWriteKeys{{
    {TReplyKey::RxLevel, CmdRxLevel, KeyRxLevel},
    {TReplyKey::RxOutLevel, CmdRxOutLevel, KeyRxOutLevel},
    {TReplyKey::PhoneOutVol, CmdPhoneOutVol, KeyPhoneOutVol},
    {TReplyKey::TxSquelchSw, CmdTxSquelchSw, KeyTxSquelchSw},
    {TReplyKey::VOXSw, CmdVOXsw, KeyVOXSw},
    {TReplyKey::CsgVoxNzccTh, CmdCsgVoxNzccTh, KeyCsgVoxNzccTh},
    {TReplyKey::Led, CmdLed, KeyLed},
    {TReplyKey::Channel, CmdChannel, KeyChannel},
    {TReplyKey::BaseFreq, CmdBaseFreq, KeyBaseFreq},
    {TReplyKey::RecordSw, CmdRecordSw, KeyRecordSw},
    {TReplyKey::TxModeSw, CmdTxModeSw, KeyTxModeSw},
    {TReplyKey::DiveConWarningSw, CmdDiveConWarningSw, KeyDiveConWarningSw},
    {TReplyKey::VoiceGuideSwitch, CmdVoiceGuideSwitch, KeyVoiceGuideSwitch},
    {TReplyKey::DivingTimeSignalSw, CmdDivingTimeSignalSw, KeyDivingTimeSignalSw},
}};

const TWriteKey* WriteKeyOf(std::string_view command) noexcept {
    for (const TWriteKey& k : kWriteKeys)
        if (command.substr(0, k.command.size()) == k.command) return &k;
    return nullptr;
}

bool SameValue(std::string_view a, std::string_view b) {
    if (a == b) return true;
    const auto x = ParseReal(a), y = ParseReal(b);
    return x && y && *x == *y;
}

} // namespace

void TUnitValues::Take(TReplyKey key, std::string_view value) {
    for (const TWriteKey& k : kWriteKeys)
        if (k.key == key) values_.insert_or_assign(std::string(k.command), std::string(value));
}

std::optional<std::string_view> TUnitValues::Of(std::string_view command) const {
    const TWriteKey* k = WriteKeyOf(command);
    if (!k) return std::nullopt;
    const auto it = values_.find(k->command);
    if (it == values_.end()) return std::nullopt;
    return std::string_view(it->second);
}

void TUnitValues::Stored(std::string_view command) {
    if (const TWriteKey* k = WriteKeyOf(command))
        values_.insert_or_assign(std::string(k->command),
                                 std::string(command.substr(k->command.size())));
}

std::optional<std::string> ReadBackReply(std::string_view command) {
    const TWriteKey* k = WriteKeyOf(command);
    if (!k) return std::nullopt;
    return "OK " + std::string(k->reported) + " " + std::string(command.substr(k->command.size())) +
           "\r\n";
}

std::string_view SettingCommand(TSetting setting, const TIdentity& identity) noexcept {
    switch (setting) {
    case TSetting::Volume:
        switch (VolumeKey(identity)) {
        case TVolumeKey::RxLevel:
            return CmdRxLevel;
        case TVolumeKey::PhoneOutVol:
            return CmdPhoneOutVol;
        case TVolumeKey::RxOutLevel:
            break;
        }
        return CmdRxOutLevel;
    case TSetting::AutoSwitching:
        return CmdTxSquelchSw;
    case TSetting::HandsFree:
        return CmdVOXsw;
    case TSetting::Channel:
        return CmdChannel;
    case TSetting::Recorder:
        return CmdRecordSw;
    case TSetting::DiveComputer:
        return CmdDiveConWarningSw;
    case TSetting::ReceiveOnly:
        return CmdTxModeSw;
    case TSetting::VoiceGuide:
        return CmdVoiceGuideSwitch;
    case TSetting::AirCheck:
        break;
    }
    return CmdDivingTimeSignalSw;
}

bool ChangesUnitValue(std::string_view command, const TUnitValues& unit) {
    const auto held = unit.Of(command);
    if (!held) return false;
    return !SameValue(command.substr(WriteKeyOf(command)->command.size()), *held);
}

std::string WithUnitValue(std::string_view command, const TUnitValues& unit) {
    const auto held = unit.Of(command);
    if (!held) return std::string(command);
    return Command(WriteKeyOf(command)->command, *held);
}

// ---- a backup's values ----

namespace {

// What a value of the key looks like on the unit.
enum class TShape { Integer, Real, Letters };

TShape ShapeOf(std::string_view command) {
    if (command == CmdPhoneOutVol || command == CmdCsgVoxNzccTh) return TShape::Real;
    if (command == CmdLed || command == CmdChannel) return TShape::Letters;
    return TShape::Integer;
}

bool Digits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::string_view WriteCommandOf(std::string_view command) noexcept {
    const TWriteKey* k = WriteKeyOf(command);
    return k ? k->command : std::string_view();
}

std::string UnitValueKey(std::string_view command) {
    if (command.starts_with("SPAR ")) command.remove_prefix(5);
    while (command.ends_with(' '))
        command.remove_suffix(1);
    return std::string(command);
}

bool FitsCommand(std::string_view command, std::string_view value) {
    // Longer than any value the unit reports (24-bit codes, "-12", "0.65").
    constexpr std::size_t kMaxLength = 12;
    const TWriteKey* k = WriteKeyOf(command);
    if (!k || value.empty() || value.size() > kMaxLength) return false;
    switch (ShapeOf(k->command)) {
    case TShape::Letters:
        return std::all_of(value.begin(), value.end(),
                           [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
    case TShape::Real: {
        if (value.front() == '-') value.remove_prefix(1);
        const std::size_t point = value.find('.');
        if (point == std::string_view::npos) return Digits(value);
        return Digits(value.substr(0, point)) && Digits(value.substr(point + 1));
    }
    case TShape::Integer:
        break;
    }
    if (value.front() == '-') value.remove_prefix(1);
    return Digits(value);
}

TRestoreValues RestoreValuesOf(const std::map<std::string, std::string>& raw) {
    TRestoreValues out;
    for (const auto& [key, value] : raw) {
        const std::string& name = key; // a structured binding cannot be captured in C++20
        const auto k = std::find_if(kWriteKeys.begin(), kWriteKeys.end(), [&](const TWriteKey& w) {
            return UnitValueKey(w.command) == name;
        });
        if (k != kWriteKeys.end() && FitsCommand(k->command, value)) {
            out.values.Stored(std::string(k->command) + value);
            continue;
        }
        out.key = key;
        out.why = k == kWriteKeys.end()                    ? "not a setting this tool writes"
                  : ShapeOf(k->command) == TShape::Letters ? "the unit takes letters there"
                                                           : "the unit takes a number there";
        out.values.Clear();
        return out;
    }
    return out;
}

// ---- the write plan ----

std::vector<TWriteEntry> WritePlan(const TIdentity& id, const TApplyChoices& c) {
    using enum TSetting;
    std::vector<TWriteEntry> plan;
    plan.reserve(12);
    plan.push_back({TPhase::Ready, Volume, VolumeCommand(id, c.volume), true});
    plan.push_back(
        {TPhase::WritingAutoSwitching, AutoSwitching, TxSquelchCommand(c.txSquelch), true});
    plan.push_back({TPhase::WritingHandsFree, HandsFree, VoxCommand(c.handsFree), true});
    if (WritesCsgVoxNzccTh(id.version))
        plan.push_back({TPhase::WritingSensitivity, HandsFree,
                        CsgVoxNzccThCommand(c.handsFree, c.initThreshold), false});
    plan.push_back({TPhase::WritingLed, Channel, LedCommand(c.channel), true});
    plan.push_back({TPhase::WritingChannel, Channel, ChannelCommand(id.model, c.channel), true});
    plan.push_back({TPhase::WritingBaseFrequency, Channel, BaseFreqCommand(c.channel), true});
    plan.push_back({TPhase::WritingRecorder, Recorder, RecordSwCommand(c.recordSw), true});
    plan.push_back(
        {TPhase::WritingDiveComputer, DiveComSetting(id), DiveComCommand(id, c.diveCom), true});
    plan.push_back(
        {TPhase::WritingVoiceGuide, VoiceGuide, VoiceGuideCommand(id, c.voiceGuide), true});
    plan.push_back(
        {TPhase::WritingAirCheck, AirCheck, DivingTimeSignalCommand(id, c.airCheck), true});
    plan.push_back({TPhase::SendingSave, std::nullopt, std::string(CmdSave), false});
    return plan;
}

TPhase StepAfter(const std::vector<TWriteEntry>& plan, std::size_t i) noexcept {
    return i + 1 < plan.size() ? plan[i + 1].phase : TPhase::Saving;
}

std::vector<TSetting> KeptSettings(const std::vector<TWriteEntry>& plan, const TUnitValues& unit,
                                   const std::vector<TSetting>& chosen) {
    std::vector<TSetting> kept;
    for (const TWriteEntry& e : plan) {
        if (!e.setting || !e.command || !ChangesUnitValue(*e.command, unit)) continue;
        if (std::find(chosen.begin(), chosen.end(), *e.setting) != chosen.end()) continue;
        if (std::find(kept.begin(), kept.end(), *e.setting) == kept.end())
            kept.push_back(*e.setting);
    }
    return kept;
}

TChangeCount CountChangedSettings(const TApplyState& p, const TIdentity& identity) {
    using enum TSetting;
    TChangeCount r;
    const auto listed = [](const std::vector<TSetting>& list, TSetting s) {
        return std::find(list.begin(), list.end(), s) != list.end();
    };
    const auto count = [&](TSetting choice, bool differs) {
        if (listed(p.restored, choice))
            differs = listed(p.restoredChanged, choice);
        else if (listed(p.kept, choice))
            return;
        if (!differs) return;
        ++r.count;
        r.changed.push_back(choice);
    };
    count(Volume, p.volume != p.volumeCurrent);
    count(AutoSwitching, p.txSquelch != p.txSquelchCurrent);
    count(HandsFree, p.handsFree != p.handsFreeCurrent);
    count(Channel, p.channel != p.channelCurrent);
    count(Recorder, p.recordSw != p.recordSwCurrent);
    // Only what Apply then writes counts.
    if (WritesDiveComInterface(identity))
        count(DiveComSetting(identity), p.diveCom != p.diveComCurrent);
    if (HasVoiceGuide(identity)) count(VoiceGuide, p.voiceGuide != p.voiceGuideCurrent);
    if (HasAirCheck(identity)) {
        const int code =
            GetDivingTimeSignalCode(p.airCheckChecked, p.airCheckFirst, p.airCheckLater);
        r.uncheckAirCheck = code == 0 && p.airCheckChecked && !listed(p.kept, AirCheck) &&
                            !listed(p.restored, AirCheck);
        count(AirCheck, code != p.airCheckCurrent);
    }
    return r;
}

} // namespace params
