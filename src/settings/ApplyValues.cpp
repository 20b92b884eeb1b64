#include "settings/ApplyValues.h"

#include "params/Features.h"
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
    TControl choice;
};

// The device reports "VOXSw" but takes "VOXsw": the reply key, not the spelling, pairs them.
constexpr std::array<TWriteKey, 14> kWriteKeys{{
    {TReplyKey::RxLevel, CmdRxLevel, TControl::RadioGroup1},
    {TReplyKey::RxOutLevel, CmdRxOutLevel, TControl::RadioGroup1},
    {TReplyKey::PhoneOutVol, CmdPhoneOutVol, TControl::RadioGroup1},
    {TReplyKey::TxSquelchSw, CmdTxSquelchSw, TControl::RadioGroup3},
    {TReplyKey::VOXSw, CmdVOXsw, TControl::RadioGroup4},
    {TReplyKey::CsgVoxNzccTh, CmdCsgVoxNzccTh, TControl::RadioGroup4},
    {TReplyKey::Led, CmdLed, TControl::RGChannel},
    {TReplyKey::Channel, CmdChannel, TControl::RGChannel},
    {TReplyKey::BaseFreq, CmdBaseFreq, TControl::RGChannel},
    {TReplyKey::RecordSw, CmdRecordSw, TControl::RadioGroup5},
    {TReplyKey::TxModeSw, CmdTxModeSw, TControl::RgDiveComInterface},
    {TReplyKey::DiveConWarningSw, CmdDiveConWarningSw, TControl::RgDiveComInterface},
    {TReplyKey::VoiceGuideSwitch, CmdVoiceGuideSwitch, TControl::RadioGroupVoiceGuideLevel},
    {TReplyKey::DivingTimeSignalSw, CmdDivingTimeSignalSw,
     TControl::CheckBoxDivingTimeSignalEnable},
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

std::optional<TControl> ChoiceWrittenBy(std::string_view command) noexcept {
    if (const TWriteKey* k = WriteKeyOf(command)) return k->choice;
    return std::nullopt;
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

// ---- the write plan ----

std::vector<TWriteEntry> WritePlan(const TIdentity& id, const TApplyChoices& c) {
    using enum TControl;
    std::vector<TWriteEntry> plan;
    plan.push_back({0, RadioGroup1, VolumeCommand(id, c.volume), true});
    plan.push_back({10, RadioGroup3, TxSquelchCommand(c.txSquelch), true});
    plan.push_back({11, RadioGroup4, VoxCommand(c.handsFree), true});
    if (WritesCsgVoxNzccTh(id.version))
        plan.push_back({12, RadioGroup4, CsgVoxNzccThCommand(c.handsFree, c.initThreshold), false});
    plan.push_back({19, RGChannel, LedCommand(c.channel), true});
    plan.push_back({13, RGChannel, ChannelCommand(id.model, c.channel), true});
    plan.push_back({14, RGChannel, BaseFreqCommand(c.channel), true});
    plan.push_back({15, RadioGroup5, RecordSwCommand(c.recordSw), true});
    plan.push_back({16, RgDiveComInterface, DiveComCommand(id, c.diveCom), true});
    plan.push_back({21, RadioGroupVoiceGuideLevel, VoiceGuideCommand(id, c.voiceGuide), true});
    plan.push_back(
        {22, CheckBoxDivingTimeSignalEnable, DivingTimeSignalCommand(id, c.airCheck), true});
    plan.push_back({23, std::nullopt, std::string(CmdSave), false});
    return plan;
}

std::int32_t StepAfter(const std::vector<TWriteEntry>& plan, std::size_t i) noexcept {
    // The answer to the closing "SAVE" is taken by step 17.
    return i + 1 < plan.size() ? plan[i + 1].step : 17;
}

std::vector<TControl> KeptSettings(const std::vector<TWriteEntry>& plan, const TUnitValues& unit,
                                   const std::vector<TControl>& chosen) {
    std::vector<TControl> kept;
    for (const TWriteEntry& e : plan) {
        if (!e.choice || !e.command || !ChangesUnitValue(*e.command, unit)) continue;
        if (std::find(chosen.begin(), chosen.end(), *e.choice) != chosen.end()) continue;
        if (std::find(kept.begin(), kept.end(), *e.choice) == kept.end()) kept.push_back(*e.choice);
    }
    return kept;
}

TChangeCount CountChangedSettings(const TApplyPanel& p, const TIdentity& identity) {
    using enum TControl;
    TChangeCount r;
    const auto listed = [](const std::vector<TControl>& list, TControl c) {
        return std::find(list.begin(), list.end(), c) != list.end();
    };
    const auto count = [&](TControl choice, bool differs) {
        if (listed(p.kept, choice) || !differs) return;
        ++r.count;
        r.changed.push_back(choice);
    };
    count(RadioGroup1, p.volume != p.volumeTag);
    count(RadioGroup3, p.txSquelch != p.txSquelchTag);
    count(RadioGroup4, p.handsFree != p.handsFreeTag);
    count(RGChannel, p.channel != p.channelTag);
    count(RadioGroup5, p.recordSw != p.recordSwTag);
    // Only what Apply then writes counts.
    if (WritesDiveComInterface(identity)) count(RgDiveComInterface, p.diveCom != p.diveComTag);
    if (HasVoiceGuide(identity)) count(RadioGroupVoiceGuideLevel, p.voiceGuide != p.voiceGuideTag);
    if (HasAirCheck(identity)) {
        const int code =
            GetDivingTimeSignalCode(p.airCheckChecked, p.airCheckFirst, p.airCheckLater);
        r.uncheckAirCheck =
            code == 0 && p.airCheckChecked && !listed(p.kept, CheckBoxDivingTimeSignalEnable);
        count(CheckBoxDivingTimeSignalEnable, code != p.airCheckTag);
    }
    return r;
}

} // namespace params
