#include "params/Controls.h"

namespace params {

namespace {

constexpr std::array<std::string_view, kControlCount> kNames{
    "Edit1",
    "Edit2",
    "EditKIND",
    "EditLanguage",
    "Label3",
    "Label4",
    "Label5",
    "Label8",
    "Label9",
    "Label10",
    "Label11",
    "Label12",
    "Label13",
    "GroupBox1",
    "RadioGroup1",
    "Edit5",
    "RadioGroup3",
    "Edit7",
    "GroupBox2",
    "RadioGroup4",
    "Edit8",
    "RGChannel",
    "EdtChannel",
    "RadioGroup5",
    "Edit9",
    "RgDiveComInterface",
    "EdtDiveComInterface",
    "RadioGroupVoiceGuideLevel",
    "EditVoiceGuideLevel",
    "GroupBoxDivingTimeSignal",
    "CheckBoxDivingTimeSignalEnable",
    "ComboBoxDivingTimeSignal1",
    "ComboBoxDivingTimeSignal2",
    "EditDivingTimeSignal",
    "SpeedButton2",
    "SpeedButton3",
    "ProgressBar1",
    "LabelParamCnt",
    "File1",
    "Info1",
    "Timer1",
};

} // namespace

std::string_view ControlName(TControl control) noexcept {
    return kNames[static_cast<std::size_t>(control)];
}

std::optional<TControl> ControlNamed(std::string_view name) noexcept {
    for (std::size_t i = 0; i < kControlCount; ++i)
        if (kNames[i] == name) return static_cast<TControl>(i);
    return std::nullopt;
}

std::array<TControl, kControlCount> AllControls() noexcept {
    std::array<TControl, kControlCount> all{};
    for (std::size_t i = 0; i < kControlCount; ++i)
        all[i] = static_cast<TControl>(i);
    return all;
}

} // namespace params
