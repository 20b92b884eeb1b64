#pragma once
// The settings a user cares about, by stable name, and the values a unit of a given identity
// takes, in the order of the panel's items. The one place that says which settings a unit
// offers: the capability rules, the panel and the command line all ask here.
//
//   name            values                                      on the window
//   volume          1 2 3 4 5                                   Volume
//   auto-switching  off on                                      Automatic switching
//   hands-free      off 1 2 3 4 5 (before 201026: off on)       Hands-free
//   channel         A B C (DW720 MIV: A S)                      Channel
//   recorder        off transmit receive all record-only        Voice recorder
//   dive-computer   off beep voice                              Dive-computer interface
//   receive-only    off on (DW730 VELMORAS_SPECIAL only)        Recive only
//   voice-guide     low middle high                             Voice guide level
//   air-check       off 10/5 10/10 20/5 20/10 30/5 30/10 2/1    Air check time (minutes:
//                                                               first signal/repeat)
#include "params/Capabilities.h"
#include "params/Controls.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace params {

enum class TSetting : std::uint8_t {
    Volume,
    AutoSwitching,
    HandsFree,
    Channel,
    Recorder,
    DiveComputer,
    ReceiveOnly,
    VoiceGuide,
    AirCheck,
};

struct TSettingInfo {
    TSetting id;
    std::string_view name;
    TControl choice; // the radio group, or the air check's check box
    TControl box;    // the current-setting box beside it
};

// In the order Apply writes them.
inline constexpr std::array<TSettingInfo, 9> kSettings{{
    {TSetting::Volume, "volume", TControl::RadioGroup1, TControl::Edit5},
    {TSetting::AutoSwitching, "auto-switching", TControl::RadioGroup3, TControl::Edit7},
    {TSetting::HandsFree, "hands-free", TControl::RadioGroup4, TControl::Edit8},
    {TSetting::Channel, "channel", TControl::RGChannel, TControl::EdtChannel},
    {TSetting::Recorder, "recorder", TControl::RadioGroup5, TControl::Edit9},
    {TSetting::DiveComputer, "dive-computer", TControl::RgDiveComInterface,
     TControl::EdtDiveComInterface},
    {TSetting::ReceiveOnly, "receive-only", TControl::RgDiveComInterface,
     TControl::EdtDiveComInterface},
    {TSetting::VoiceGuide, "voice-guide", TControl::RadioGroupVoiceGuideLevel,
     TControl::EditVoiceGuideLevel},
    {TSetting::AirCheck, "air-check", TControl::CheckBoxDivingTimeSignalEnable,
     TControl::EditDivingTimeSignal},
}};

constexpr const TSettingInfo& Info(TSetting setting) noexcept {
    return kSettings[static_cast<std::size_t>(setting)];
}

// The settings shown as a radio group beside a current-setting box, in the window's order;
// receive-only shares the dive-computer row, and the air check has controls of its own.
inline constexpr std::array<TSetting, 7> kRows{
    TSetting::Volume,   TSetting::AutoSwitching, TSetting::HandsFree, TSetting::Channel,
    TSetting::Recorder, TSetting::DiveComputer,  TSetting::VoiceGuide};

// The setting of a row's radio group; none for any other control.
constexpr std::optional<TSetting> SettingChosenIn(TControl control) noexcept {
    for (TSetting setting : kRows)
        if (Info(setting).choice == control) return setting;
    return std::nullopt;
}

// An index as a list of count items takes it: outside the list selects nothing (-1).
constexpr int ItemOf(int index, std::size_t count) noexcept {
    return index >= 0 && static_cast<std::size_t>(index) < count ? index : -1;
}

// The dive-computer choice is the receive-only switch on units that have one.
TSetting DiveComSetting(const TIdentity& identity) noexcept;
// The setting a choice control (or one of the air check's lists) stands for on this unit.
TSetting SettingOfChoice(TControl choice, const TIdentity& identity) noexcept;

// Whether the window leaves the setting's choice usable once the read-back is done; the
// capability rules apply the second, which does not ask whether the firmware is supported.
bool Offered(TSetting setting, const TIdentity& identity) noexcept;
bool OfferedAfterReadBack(TSetting setting, const TIdentity& identity) noexcept;
// Whether the unit's settings may be changed at all (Apply and Default).
bool Adjustable(const TIdentity& identity) noexcept;

// The values a unit of this identity takes, in the order of the panel's items (the air
// check: "off", then the rows of its table); empty when the setting is not offered.
std::vector<std::string> SettingValues(TSetting setting, const TIdentity& identity);

} // namespace params
