#include "params/ValueTables.h"

#include "params/Features.h"

#include "params/Capabilities.h"

#include <algorithm>
#include <cmath>

namespace params {

namespace {

std::optional<int> LevelToIndex(const TLevelTable& table, std::int32_t value) {
    for (std::size_t i = 0; i < table.size(); ++i)
        if (value >= table[i].low && value <= table[i].high) return static_cast<int>(i);
    return std::nullopt;
}

std::optional<std::int32_t> LevelValue(const TLevelTable& table, int index) {
    if (index < 0 || index >= static_cast<int>(table.size())) return std::nullopt;
    return table[static_cast<std::size_t>(index)].written;
}

std::optional<TDisplay> VolumeDisplay(std::optional<int> index) {
    if (!index) return std::nullopt;
    return TDisplay{*index, VolumeItems[static_cast<std::size_t>(*index)], *index};
}

} // namespace

const TLevelTable& RxOutLevelTable(std::string_view model) noexcept {
    if (IsAnyModel(model, {ModelDW720KEL, ModelDW720MIV})) return RxOutLevelTableKEL;
    if (IsModel(model, ModelDW730VELMORAS)) return RxOutLevelTableVELMORAS;
    return RxOutLevelTableOther;
}

std::optional<int> RxLevelToIndex(std::int32_t value) noexcept {
    return LevelToIndex(RxLevelTable, value);
}

std::optional<int> RxOutLevelToIndex(std::string_view model, std::int32_t value) noexcept {
    return LevelToIndex(RxOutLevelTable(model), value);
}

std::optional<int> PhoneOutVolToIndex(double value) noexcept {
    if (std::isnan(value)) return std::nullopt;
    if (value < -9) return 0;
    if (value < -6) return 1;
    if (value < -3) return 2;
    if (value < 0) return 3;
    return 4;
}

std::optional<std::int32_t> RxLevelValue(int index) noexcept {
    return LevelValue(RxLevelTable, index);
}

std::optional<std::int32_t> RxOutLevelValue(std::string_view model, int index) noexcept {
    return LevelValue(RxOutLevelTable(model), index);
}

std::optional<double> PhoneOutVolValue(int index) noexcept {
    if (index < 0 || index >= static_cast<int>(PhoneOutVolValues.size())) return std::nullopt;
    return PhoneOutVolValues[static_cast<std::size_t>(index)];
}

std::optional<TDisplay> RxLevelToDisplay(std::int32_t value) noexcept {
    return VolumeDisplay(RxLevelToIndex(value));
}

std::optional<TDisplay> RxOutLevelToDisplay(std::string_view model, std::int32_t value) noexcept {
    return VolumeDisplay(RxOutLevelToIndex(model, value));
}

std::optional<TDisplay> PhoneOutVolToDisplay(double value) noexcept {
    return VolumeDisplay(PhoneOutVolToIndex(value));
}

std::optional<std::string_view> VolumeBoxText(int index) noexcept {
    if (index < 0 || index >= static_cast<int>(VolumeItems.size())) return std::nullopt;
    return VolumeItems[static_cast<std::size_t>(index)];
}

std::optional<int> CsgVoxNzccThToIndex(double threshold) noexcept {
    // The read thresholds sit just under the written ones so that 0.8 read back as 0.79999
    // still selects its item.
    if (std::isnan(threshold)) return std::nullopt;
    if (threshold >= 0.7999) return 1;
    if (threshold >= 0.6999) return 2;
    if (threshold >= 0.5999) return 3;
    if (threshold >= 0.4999) return 4;
    return 5;
}

std::optional<double> CsgVoxNzccThValue(int index, double initThreshold) noexcept {
    if (index == 0) return initThreshold;
    if (index < 1 || index > static_cast<int>(CsgVoxNzccThValues.size())) return std::nullopt;
    return CsgVoxNzccThValues[static_cast<std::size_t>(index - 1)];
}

namespace {
constexpr const auto& HandsFreeBoxTexts = HandsFreeItems;
}

std::optional<TDisplay> HandsFreeToDisplay(std::string_view version, std::int32_t vox,
                                           double threshold) noexcept {
    if (vox == 0) return TDisplay{0, "Off", 0};
    if (!HasSensitivity(version)) return TDisplay{1, "On", 1};
    const auto index = CsgVoxNzccThToIndex(threshold);
    if (!index) return std::nullopt;
    return TDisplay{*index, HandsFreeBoxTexts[static_cast<std::size_t>(*index)], *index};
}

TBoxUpdate HandsFreeBoxFromIndex(std::string_view version, int index) noexcept {
    if (!HasSensitivity(version)) {
        if (index == 0) return {"Off", 0};
        return {"On", 1};
    }
    if (index >= 0 && index < static_cast<int>(HandsFreeBoxTexts.size()))
        return {HandsFreeBoxTexts[static_cast<std::size_t>(index)], index};
    return {std::nullopt, index};
}

std::optional<TDisplay> TxSquelchToDisplay(std::int32_t value) noexcept {
    if (value == 0) return TDisplay{0, "Off", 0};
    if (value == 1) return TDisplay{1, "On", 1};
    return std::nullopt;
}

std::optional<std::string_view> TxSquelchBoxText(int index) noexcept {
    if (index == 0) return "Off";
    if (index == 1) return "On";
    return std::nullopt;
}

std::optional<TDisplay> ChannelToDisplay(std::string_view channel, std::int32_t baseFreq) noexcept {
    if (channel == "u" && baseFreq == 2) return TDisplay{0, "A ch", 0};
    if (channel == "u" && baseFreq == 3) return TDisplay{1, "B ch", 1};
    if (channel == "l" && baseFreq == 3) return TDisplay{1, "S ch", 1};
    if (channel == "l" && baseFreq == 4) return TDisplay{2, "C ch", 2};
    return std::nullopt;
}

std::optional<std::string_view> ChannelBoxText(std::string_view model, int index) noexcept {
    switch (index) {
    case 0:
        return "A ch";
    case 1:
        return IsModel(model, ModelDW720MIV) ? "S ch" : "B ch";
    case 2:
        return "C ch";
    default:
        return std::nullopt;
    }
}

TRecordSwDisplay RecordSwToDisplay(std::int32_t value) noexcept {
    TRecordSwDisplay d;
    d.itemIndex = static_cast<int>(std::clamp<std::int32_t>(value, -1, 4));
    d.tag = value;
    if (value >= 0 && value <= 4) d.text = RecordSwBoxTexts[static_cast<std::size_t>(value)];
    return d;
}

std::int32_t DiveConWarningToIndex(std::int32_t value) noexcept {
    switch (value) {
    case 1:
    case 2:
        return 1;
    case 3:
        return 2;
    default:
        return 0;
    }
}

std::int32_t TxModeToIndex(std::int32_t value) noexcept {
    return value == 0 ? 1 : 0;
}

std::optional<TDisplay> DiveComInterfaceToDisplay(std::string_view model,
                                                  std::int32_t index) noexcept {
    const int i = static_cast<int>(index);
    if (IsModel(model, ModelDW730VELMORAS)) {
        if (index == 0) return TDisplay{0, "Off", 0};
        if (index == 1) return TDisplay{1, "On", 1};
        return std::nullopt;
    }
    constexpr std::array<std::string_view, 3> texts{"Off", "Beep", "Voice"};
    if (index < 0 || index > 2) return std::nullopt;
    return TDisplay{i, texts[static_cast<std::size_t>(i)], i};
}

std::int32_t VoiceGuideToIndex(std::int32_t value) noexcept {
    if (value == 120) return 0;
    if (value == 510) return 1;
    return 2;
}

std::optional<TDisplay> VoiceGuideLevelToDisplay(std::int32_t index) noexcept {
    if (index < 0 || index > 2) return std::nullopt;
    const int i = static_cast<int>(index);
    return TDisplay{i, VoiceGuideItems[static_cast<std::size_t>(i)], i};
}

TDivingTimeSignalDisplay DivingTimeSignalToDisplay(std::int32_t value) noexcept {
    // Work on the bit pattern: a negative value must not sign-extend into the fields.
    const auto bits = static_cast<std::uint32_t>(value);
    const auto first = static_cast<std::int32_t>((bits >> 12) & 4095u);
    const auto interval = static_cast<std::int32_t>(bits & 4095u);
    if (first == 0 && interval == 0) return {0, "Off", -1, -1, false};
    for (const auto& row : DivingTimeSignalTable)
        if (row.firstSeconds == first && row.intervalSeconds == interval)
            return {row.code, row.text, row.first, row.later, true};
    return {-1, "unknown", -1, -1, false};
}

namespace {

const TDivingTimeSignalRow* FindDivingTimeSignal(bool checked, int first, int later) {
    if (!checked) return nullptr;
    for (const auto& row : DivingTimeSignalTable)
        if (row.first == first && row.later == later) return &row;
    return nullptr;
}

} // namespace

std::int32_t GetDivingTimeSignalValue(bool checked, int first, int later) noexcept {
    const auto* row = FindDivingTimeSignal(checked, first, later);
    return row ? EncodeDivingTimeSignal(row->firstSeconds, row->intervalSeconds) : 0;
}

int GetDivingTimeSignalCode(bool checked, int first, int later) noexcept {
    const auto* row = FindDivingTimeSignal(checked, first, later);
    return row ? row->code : 0;
}

} // namespace params
