#pragma once
// The controls of the window that the conversation reads or writes, by a typed id. The
// window maps each id to its widget; the object name is what tests and scenarios use.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace params {

enum class TControl : std::uint8_t {
    Edit1,
    Edit2,
    EditKIND,
    EditLanguage,
    Label3,
    Label4,
    Label5,
    Label8,
    Label9,
    Label10,
    Label11,
    Label12,
    Label13,
    GroupBox1,
    RadioGroup1,
    Edit5,
    RadioGroup3,
    Edit7,
    GroupBox2,
    RadioGroup4,
    Edit8,
    RGChannel,
    EdtChannel,
    RadioGroup5,
    Edit9,
    RgDiveComInterface,
    EdtDiveComInterface,
    RadioGroupVoiceGuideLevel,
    EditVoiceGuideLevel,
    GroupBoxDivingTimeSignal,
    CheckBoxDivingTimeSignalEnable,
    ComboBoxDivingTimeSignal1,
    ComboBoxDivingTimeSignal2,
    EditDivingTimeSignal,
    SpeedButton2,
    SpeedButton3,
    ProgressBar1,
    LabelParamCnt,
    File1,
    Info1,
    Timer1,
};

inline constexpr std::size_t kControlCount = static_cast<std::size_t>(TControl::Timer1) + 1;

// The object name of a control in the window.
std::string_view ControlName(TControl control) noexcept;
std::optional<TControl> ControlNamed(std::string_view name) noexcept;

// Every id, in declaration order.
std::array<TControl, kControlCount> AllControls() noexcept;

} // namespace params
