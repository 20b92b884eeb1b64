#include "params/Capabilities.h"

namespace params {

int CompareVersion(std::string_view a, std::string_view b) noexcept {
    // string_view compares bytes as unsigned char and puts a prefix first.
    return a.compare(b);
}

bool VersionAtLeast(std::string_view version, std::string_view threshold) noexcept {
    return CompareVersion(version, threshold) >= 0;
}

bool VersionBelow(std::string_view version, std::string_view threshold) noexcept {
    return CompareVersion(version, threshold) < 0;
}

bool IsModel(std::string_view model, std::string_view listed) noexcept {
    return model == listed;
}

bool IsAnyModel(std::string_view model, std::initializer_list<std::string_view> listed) noexcept {
    for (std::string_view m : listed)
        if (model == m) return true;
    return false;
}

bool IsSupportedFirmware(std::string_view version) noexcept {
    return version.size() == 6 && VersionAtLeast(version, Version201016) &&
           CompareVersion(version, Version201999) <= 0;
}

bool IsExtendedFirmware(std::string_view version) noexcept {
    return version.size() == 6 && VersionAtLeast(version, Version201020) &&
           CompareVersion(version, Version201999) <= 0;
}

bool IsPhoneVolumeFirmware(std::string_view version) noexcept {
    return IsExtendedFirmware(version) && VersionAtLeast(version, Version201033);
}

TIdentity TIdentity::FromVersion(std::string_view version, std::string_view model) {
    TIdentity id;
    id.version = std::string(version);
    id.model = std::string(model);
    id.extendedFirmware = IsExtendedFirmware(version);
    id.phoneVolume = IsPhoneVolumeFirmware(version);
    return id;
}

TChoiceList ChannelChoices(std::string_view model) {
    // A rebuild changes the items only: the groups keep the window's three columns.
    if (IsModel(model, ModelDW720MIV)) return {{}, {"ch A", "ch S"}, 3};
    return {{}, {"ch A", "ch B", "ch C"}, 3};
}

TChoiceList DiveComInterfaceChoices(std::string_view model) {
    if (IsModel(model, ModelDW730VELMORAS)) return {ReceiveOnlyCaption, {"Off", "On"}, 3};
    return {DiveComInterfaceCaption, {"Off", "Beep", "Voice"}, 3};
}

THandsFreeChoices HandsFreeChoices(std::string_view version) {
    if (VersionBelow(version, Version201026)) return {{{}, {"Off", "On"}, 2}, false};
    return {{{}, {"Off", "1", "2", "3", "4", "5"}, 6}, true};
}

namespace {

void DisableAirCheck(std::vector<TControlRule>& out) {
    out.push_back({"GroupBoxDivingTimeSignal", TControlAction::Disable});
    out.push_back({"Label11", TControlAction::Disable});
    out.push_back({"Label12", TControlAction::Disable});
    out.push_back({"CheckBoxDivingTimeSignalEnable", TControlAction::Uncheck});
    out.push_back({"CheckBoxDivingTimeSignalEnable", TControlAction::Disable});
    out.push_back({"EditDivingTimeSignal", TControlAction::Disable});
}

void DisablePair(std::vector<TControlRule>& out, std::string_view choice, std::string_view box) {
    out.push_back({choice, TControlAction::Disable});
    out.push_back({box, TControlAction::Disable});
}

} // namespace

std::vector<TControlRule> ApplyCapabilityRules(const TIdentity& identity) {
    std::vector<TControlRule> out;
    out.reserve(24);
    const std::string_view v = identity.version;
    const std::string_view m = identity.model;

    if (!identity.extendedFirmware) {
        DisablePair(out, "RgDiveComInterface", "EdtDiveComInterface");
        DisablePair(out, "RadioGroupVoiceGuideLevel", "EditVoiceGuideLevel");
        DisableAirCheck(out);
        return out;
    }

    const bool tonalBefore26 = IsModel(m, ModelDW730TONAL) && VersionBelow(v, Version201026);
    const bool px510 = IsAnyModel(m, {ModelPX510, ModelPX510MIV});
    const bool qz = IsModel(m, ModelDW720QZ);

    if (tonalBefore26) DisablePair(out, "RadioGroup1", "Edit5");
    if (qz || IsModel(m, ModelDW730TONAL) || px510) DisablePair(out, "RadioGroup3", "Edit7");
    if (qz || tonalBefore26 || px510) DisablePair(out, "RadioGroup4", "Edit8");
    if (px510 || IsAnyModel(m, {ModelDW720KEL, ModelDW730TONAL, ModelDW730VELMORAS}))
        DisablePair(out, "RGChannel", "EdtChannel");
    if (qz || px510 || IsAnyModel(m, {ModelDW730TONAL, ModelDW730VELMORAS}))
        DisablePair(out, "RadioGroup5", "Edit9");
    if (tonalBefore26) {
        out.push_back({"SpeedButton2", TControlAction::Disable});
        out.push_back({"SpeedButton3", TControlAction::Disable});
    }
    if (IsModel(m, ModelDW730VELMORAS)) {
        // The receive-only switch exists on every firmware of this model.
        out.push_back({"RgDiveComInterface", TControlAction::Enable});
        out.push_back({"EdtDiveComInterface", TControlAction::Enable});
    } else if (VersionBelow(v, Version201029) || qz || px510) {
        DisablePair(out, "RgDiveComInterface", "EdtDiveComInterface");
    }
    if (VersionBelow(v, Version201033) || qz || px510)
        DisablePair(out, "RadioGroupVoiceGuideLevel", "EditVoiceGuideLevel");
    if (VersionBelow(v, Version201036) || px510) DisableAirCheck(out);
    return out;
}

} // namespace params
