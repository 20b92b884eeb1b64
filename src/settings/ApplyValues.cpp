#include "settings/ApplyValues.h"

#include "params/Features.h"
#include "params/ReplyTokens.h"
#include "params/ValueTables.h"

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

TChangeCount CountChangedSettings(const TApplyPanel& p, const TIdentity& identity) {
    TChangeCount r;
    r.count += p.volume != p.volumeTag;
    r.count += p.txSquelch != p.txSquelchTag;
    r.count += p.handsFree != p.handsFreeTag;
    r.count += p.channel != p.channelTag;
    r.count += p.recordSw != p.recordSwTag;
    // Only what Apply then writes counts.
    if (WritesDiveComInterface(identity)) r.count += p.diveCom != p.diveComTag;
    if (HasVoiceGuide(identity)) r.count += p.voiceGuide != p.voiceGuideTag;
    if (HasAirCheck(identity)) {
        const int code =
            GetDivingTimeSignalCode(p.airCheckChecked, p.airCheckFirst, p.airCheckLater);
        r.uncheckAirCheck = code == 0 && p.airCheckChecked;
        r.count += code != p.airCheckTag;
    }
    return r;
}

} // namespace params
