#pragma once
// The settings by stable names, for the command line and settings files: which panel
// control each one is, the values it takes on a unit of a given model and firmware, the
// value a read-back panel holds, and how a value is chosen on the panel, exactly as a
// person would choose it in the window.
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
// Names and values are matched without regard to letter case.
#include "link/Conversation.h"
#include "params/Capabilities.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

enum class TSetting {
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
    params::TControl choice; // the radio group, or the air check's check box
    params::TControl box;    // the current-setting box beside it
};

// In the order Apply writes them.
inline constexpr std::array<TSettingInfo, 9> kSettings{{
    {TSetting::Volume, "volume", params::TControl::RadioGroup1, params::TControl::Edit5},
    {TSetting::AutoSwitching, "auto-switching", params::TControl::RadioGroup3,
     params::TControl::Edit7},
    {TSetting::HandsFree, "hands-free", params::TControl::RadioGroup4, params::TControl::Edit8},
    {TSetting::Channel, "channel", params::TControl::RGChannel, params::TControl::EdtChannel},
    {TSetting::Recorder, "recorder", params::TControl::RadioGroup5, params::TControl::Edit9},
    {TSetting::DiveComputer, "dive-computer", params::TControl::RgDiveComInterface,
     params::TControl::EdtDiveComInterface},
    {TSetting::ReceiveOnly, "receive-only", params::TControl::RgDiveComInterface,
     params::TControl::EdtDiveComInterface},
    {TSetting::VoiceGuide, "voice-guide", params::TControl::RadioGroupVoiceGuideLevel,
     params::TControl::EditVoiceGuideLevel},
    {TSetting::AirCheck, "air-check", params::TControl::CheckBoxDivingTimeSignalEnable,
     params::TControl::EditDivingTimeSignal},
}};

const TSettingInfo& Info(TSetting setting) noexcept;
std::optional<TSetting> SettingNamed(std::string_view name) noexcept;

// Every value the setting takes on some unit, for checking a file before any unit is there.
std::vector<std::string> AnyUnitValues(TSetting setting);
// The values a unit of this identity takes, in the order of the panel's items; empty when
// the window offers no such choice for it.
std::vector<std::string> ValuesFor(TSetting setting, const params::TIdentity& identity);
// The value as written in the list (letter case of the list), or nothing when not there.
std::optional<std::string> Canonical(std::string_view value, const std::vector<std::string>& list);

// Whether the window lets this unit's settings be changed at all (Apply and Default).
bool Adjustable(const params::TIdentity& identity) noexcept;

// The value the panel has chosen for the setting; nothing when none is chosen.
std::optional<std::string> ChosenValue(TSetting setting, const core::TPanel& panel,
                                       const params::TIdentity& identity);

// Chooses the value on the panel as the user would in the window: a radio item, or the
// air check's box and its two lists. False when the value is not one of ValuesFor.
bool Choose(core::TConversation& conversation, TSetting setting, std::string_view value);

// The setting a command of Apply or Default writes, for saying what reached the unit.
std::optional<TSetting> SettingWrittenBy(std::string_view command);

} // namespace cli
