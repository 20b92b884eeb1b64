#pragma once
// Firmware versions and model strings of the transceivers, and every rule that depends on them:
// the identification flags, the choice lists rebuilt when the version or model text changes,
// and the controls that the read-back leaves disabled. The one place that names thresholds
// and models; other folders ask here.

#include "params/Controls.h"

#include <array>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace params {

// Version thresholds, compared as texts.
inline constexpr std::string_view Version201016 = "201016"; // oldest supported six-digit firmware
inline constexpr std::string_view Version201020 = "201020"; // extended firmware: "KIND", RxOutLevel
inline constexpr std::string_view Version201026 = "201026"; // hands-free sensitivity
inline constexpr std::string_view Version201029 = "201029"; // dive-computer interface
inline constexpr std::string_view Version201033 = "201033"; // PhoneOutVol, language, voice guide
inline constexpr std::string_view Version201036 = "201036"; // air check time
inline constexpr std::string_view Version201999 = "201999"; // newest supported firmware

// Model strings, compared exactly (letter case included).
inline constexpr std::string_view ModelDW720KEL = "DW720 KEL";
inline constexpr std::string_view ModelDW720MIV = "DW720 MIV";
inline constexpr std::string_view ModelDW720QZ = "DW720 QZ";
inline constexpr std::string_view ModelDW730TONAL = "DW730 TONAL";
inline constexpr std::string_view ModelDW730VELMORAS = "DW730 VELMORAS_SPECIAL";
inline constexpr std::string_view ModelPX510 = "PX510";
inline constexpr std::string_view ModelPX510MIV = "PX510 MIV";

// Ordinal byte comparison of two version texts; a prefix sorts first, so the empty text is
// below everything. Result <0, 0 or >0.
int CompareVersion(std::string_view a, std::string_view b) noexcept;
bool VersionAtLeast(std::string_view version, std::string_view threshold) noexcept;
bool VersionBelow(std::string_view version, std::string_view threshold) noexcept;

bool IsModel(std::string_view model, std::string_view listed) noexcept;
bool IsAnyModel(std::string_view model, std::initializer_list<std::string_view> listed) noexcept;

// Six characters from "201016" to "201999": settings shown and parameters read.
bool IsSupportedFirmware(std::string_view version) noexcept;
// The extended-firmware flag: six characters from "201020" to "201999".
bool IsExtendedFirmware(std::string_view version) noexcept;
// The phone-volume flag: extended firmware at least "201033".
bool IsPhoneVolumeFirmware(std::string_view version) noexcept;

// What identification found out. The flags are the window's own (set once per identification),
// so they travel with the texts instead of being recomputed from them.
struct TIdentity {
    std::string version; // text of Edit1
    std::string model;   // text of EditKIND
    bool extendedFirmware = false;
    bool phoneVolume = false;

    // The identity that identification of this version and model gives.
    static TIdentity FromVersion(std::string_view version, std::string_view model);
};

// ---- Choice lists rebuilt by EditKINDChange and Edit1Change ----

struct TChoiceList {
    std::string_view caption; // empty: the caption is left alone
    std::vector<std::string_view> items;
    int columns = 1;
};

// The lists as the window defines them, before the model text first changes.
inline constexpr std::array<std::string_view, 3> RGChannelInitialItems{"A ch", "B ch", "C ch"};
inline constexpr std::string_view DiveComInterfaceCaption = "Dive-computer interface";
inline constexpr std::string_view ReceiveOnlyCaption = "Recive only";

// RGChannel items for a model (EditKINDChange).
TChoiceList ChannelChoices(std::string_view model);
// RgDiveComInterface caption and items for a model (EditKINDChange).
TChoiceList DiveComInterfaceChoices(std::string_view model);

// RadioGroup4 items for a version (Edit1Change); sensitivityLabelsVisible tells whether
// Label9 and Label10 are shown.
struct THandsFreeChoices {
    TChoiceList list;
    bool sensitivityLabelsVisible = false;
};
THandsFreeChoices HandsFreeChoices(std::string_view version);

// ---- ApplyCapabilityRules ----

enum class TControlAction { Disable, Enable, Uncheck };

struct TControlRule {
    TControl control;
    TControlAction action;
    bool operator==(const TControlRule&) const = default;
};

// What ApplyCapabilityRules does to the panel, in the order it must be done. Unchecking
// CheckBoxDivingTimeSignalEnable is listed where it happens, because its click rule runs then.
std::vector<TControlRule> ApplyCapabilityRules(const TIdentity& identity);

} // namespace params
