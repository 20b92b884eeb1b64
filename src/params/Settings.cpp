#include "params/Settings.h"

#include "params/Features.h"
#include "params/ValueTables.h"

namespace params {

namespace {

std::vector<std::string> List(std::initializer_list<std::string_view> values) {
    return {values.begin(), values.end()};
}

} // namespace

TSetting DiveComSetting(const TIdentity& identity) noexcept {
    return HasReceiveOnlySwitch(identity) ? TSetting::ReceiveOnly : TSetting::DiveComputer;
}

TSetting SettingOfChoice(TControl choice, const TIdentity& identity) noexcept {
    switch (choice) {
    case TControl::RgDiveComInterface:
        return DiveComSetting(identity);
    case TControl::ComboBoxDivingTimeSignal1:
    case TControl::ComboBoxDivingTimeSignal2:
        return TSetting::AirCheck;
    default:
        break;
    }
    for (const TSettingInfo& info : kSettings)
        if (info.choice == choice) return info.id;
    return TSetting::AirCheck;
}

bool Offered(TSetting setting, const TIdentity& identity) noexcept {
    return IsSupportedFirmware(identity.version) && OfferedAfterReadBack(setting, identity);
}

bool OfferedAfterReadBack(TSetting setting, const TIdentity& identity) noexcept {
    const bool receiveOnly = HasReceiveOnlySwitch(identity);
    if (setting == TSetting::ReceiveOnly) return receiveOnly;
    if (!identity.extendedFirmware)
        return setting != TSetting::DiveComputer && setting != TSetting::VoiceGuide &&
               setting != TSetting::AirCheck;
    switch (setting) {
    case TSetting::Volume:
        return OffersVolume(identity);
    case TSetting::AutoSwitching:
        return OffersAutoSwitching(identity);
    case TSetting::HandsFree:
        return OffersHandsFree(identity);
    case TSetting::Channel:
        return OffersChannel(identity);
    case TSetting::Recorder:
        return OffersRecorder(identity);
    case TSetting::DiveComputer:
        return !receiveOnly && OffersDiveComInterface(identity);
    case TSetting::VoiceGuide:
        return HasVoiceGuide(identity);
    case TSetting::AirCheck:
        return HasAirCheck(identity);
    case TSetting::ReceiveOnly:
        break;
    }
    return false;
}

bool Adjustable(const TIdentity& identity) noexcept {
    return IsSupportedFirmware(identity.version) &&
           (!identity.extendedFirmware || IsAdjustable(identity));
}

std::vector<std::string> SettingValues(TSetting setting, const TIdentity& identity) {
    if (!Offered(setting, identity)) return {};
    switch (setting) {
    case TSetting::Volume:
        return {VolumeItems.begin(), VolumeItems.end()};
    case TSetting::AutoSwitching:
    case TSetting::ReceiveOnly:
        return List({"off", "on"});
    case TSetting::HandsFree:
        if (!HasSensitivity(identity.version)) return List({"off", "on"});
        return List({"off", "1", "2", "3", "4", "5"});
    case TSetting::Channel: {
        // The items read "ch A": the letter is the value.
        std::vector<std::string> values;
        for (std::string_view item : ChannelChoices(identity.model).items)
            values.emplace_back(item.substr(item.size() - 1));
        return values;
    }
    case TSetting::Recorder:
        return List({"off", "transmit", "receive", "all", "record-only"});
    case TSetting::DiveComputer:
        return List({"off", "beep", "voice"});
    case TSetting::VoiceGuide:
        return List({"low", "middle", "high"});
    case TSetting::AirCheck: {
        // "10/5" for a first signal after 10 minutes repeated every 5.
        std::vector<std::string> values{"off"};
        for (const TDivingTimeSignalRow& row : DivingTimeSignalTable)
            values.push_back(std::to_string(row.firstSeconds / 60) + "/" +
                             std::to_string(row.intervalSeconds / 60));
        return values;
    }
    }
    return {};
}

} // namespace params
