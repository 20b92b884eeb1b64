#include "params/Capabilities.h"

#include "params/Features.h"
#include "params/Settings.h"
#include "params/ValueTables.h"

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
    if (!HasSensitivity(version))
        return {{{}, {HandsFreeOnOffItems.begin(), HandsFreeOnOffItems.end()}, 2}, false};
    return {{{}, {HandsFreeItems.begin(), HandsFreeItems.end()}, 6}, true};
}

namespace {

void DisableAirCheck(std::vector<TControlRule>& out) {
    using enum TControl;
    out.push_back({GroupBoxDivingTimeSignal, TControlAction::Disable});
    out.push_back({Label11, TControlAction::Disable});
    out.push_back({Label12, TControlAction::Disable});
    out.push_back({CheckBoxDivingTimeSignalEnable, TControlAction::Uncheck});
    out.push_back({CheckBoxDivingTimeSignalEnable, TControlAction::Disable});
    out.push_back({EditDivingTimeSignal, TControlAction::Disable});
}

void DisablePair(std::vector<TControlRule>& out, TControl choice, TControl box) {
    out.push_back({choice, TControlAction::Disable});
    out.push_back({box, TControlAction::Disable});
}

} // namespace

std::vector<TControlRule> ApplyCapabilityRules(const TIdentity& identity) {
    using enum TControl;
    std::vector<TControlRule> out;
    out.reserve(24);
    if (!identity.extendedFirmware) {
        DisablePair(out, RgDiveComInterface, EdtDiveComInterface);
        DisablePair(out, RadioGroupVoiceGuideLevel, EditVoiceGuideLevel);
        DisableAirCheck(out);
        return out;
    }
    for (TSetting s : {TSetting::Volume, TSetting::AutoSwitching, TSetting::HandsFree,
                       TSetting::Channel, TSetting::Recorder})
        if (!OfferedAfterReadBack(s, identity)) DisablePair(out, Info(s).choice, Info(s).box);
    if (!IsAdjustable(identity)) {
        out.push_back({SpeedButton2, TControlAction::Disable});
        out.push_back({SpeedButton3, TControlAction::Disable});
    }
    if (HasReceiveOnlySwitch(identity)) {
        // Enabled even where nothing was shown: the switch exists on every firmware.
        out.push_back({RgDiveComInterface, TControlAction::Enable});
        out.push_back({EdtDiveComInterface, TControlAction::Enable});
    } else if (!OfferedAfterReadBack(TSetting::DiveComputer, identity)) {
        DisablePair(out, RgDiveComInterface, EdtDiveComInterface);
    }
    if (!OfferedAfterReadBack(TSetting::VoiceGuide, identity))
        DisablePair(out, RadioGroupVoiceGuideLevel, EditVoiceGuideLevel);
    if (!OfferedAfterReadBack(TSetting::AirCheck, identity)) DisableAirCheck(out);
    return out;
}

} // namespace params
