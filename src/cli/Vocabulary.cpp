#include "cli/Vocabulary.h"

#include "params/Features.h"
#include "params/ValueTables.h"
#include "settings/ApplyValues.h"

#include <algorithm>
#include <cctype>

namespace cli {

namespace {

using params::TControl;

bool SameText(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::vector<std::string> List(std::initializer_list<std::string_view> values) {
    return {values.begin(), values.end()};
}

// "10/5" for a first signal after 10 minutes repeated every 5.
std::string AirCheckValue(const params::TDivingTimeSignalRow& row) {
    return std::to_string(row.firstSeconds / 60) + "/" + std::to_string(row.intervalSeconds / 60);
}

std::vector<std::string> AirCheckValues() {
    std::vector<std::string> values{"off"};
    for (const auto& row : params::DivingTimeSignalTable)
        values.push_back(AirCheckValue(row));
    return values;
}

std::vector<std::string> ChannelValues(std::string_view model) {
    // The items read "ch A": the letter is the value.
    std::vector<std::string> values;
    for (std::string_view item : params::ChannelChoices(model).items)
        values.emplace_back(item.substr(item.size() - 1));
    return values;
}

std::vector<std::string> HandsFreeValues(std::string_view version) {
    if (!params::HasSensitivity(version)) return List({"off", "on"});
    return List({"off", "1", "2", "3", "4", "5"});
}

// Whether the window leaves the setting's choice usable once the read-back is done.
bool Offered(TSetting setting, const params::TIdentity& identity) {
    if (!params::IsSupportedFirmware(identity.version)) return false;
    const bool receiveOnly = params::HasReceiveOnlySwitch(identity);
    if (setting == TSetting::ReceiveOnly) return receiveOnly;
    if (setting == TSetting::DiveComputer && receiveOnly) return false;
    const TControl choice = Info(setting).choice;
    for (const params::TControlRule& rule : params::ApplyCapabilityRules(identity))
        if (rule.control == choice && rule.action == params::TControlAction::Disable) return false;
    return true;
}

} // namespace

const TSettingInfo& Info(TSetting setting) noexcept {
    return kSettings[static_cast<std::size_t>(setting)];
}

std::optional<TSetting> SettingNamed(std::string_view name) noexcept {
    for (const TSettingInfo& info : kSettings)
        if (SameText(info.name, name)) return info.id;
    return std::nullopt;
}

std::vector<std::string> AnyUnitValues(TSetting setting) {
    // Every listed model on every firmware gate, newest first.
    static constexpr std::string_view kModels[] = {
        params::ModelDW720KEL,   params::ModelDW720MIV,      params::ModelDW720QZ,
        params::ModelDW730TONAL, params::ModelDW730VELMORAS, params::ModelPX510,
        params::ModelPX510MIV};
    static constexpr std::string_view kVersions[] = {params::Version201036, params::Version201033,
                                                     params::Version201029, params::Version201026,
                                                     params::Version201020, params::Version201016};
    std::vector<std::string> all;
    for (std::string_view version : kVersions) {
        for (std::string_view model : kModels) {
            for (std::string& value :
                 ValuesFor(setting, params::TIdentity::FromVersion(version, model))) {
                if (!Canonical(value, all)) all.push_back(std::move(value));
            }
        }
    }
    return all;
}

std::vector<std::string> ValuesFor(TSetting setting, const params::TIdentity& identity) {
    if (!Offered(setting, identity)) return {};
    switch (setting) {
    case TSetting::Volume:
        return {params::VolumeItems.begin(), params::VolumeItems.end()};
    case TSetting::AutoSwitching:
    case TSetting::ReceiveOnly:
        return List({"off", "on"});
    case TSetting::HandsFree:
        return HandsFreeValues(identity.version);
    case TSetting::Channel:
        return ChannelValues(identity.model);
    case TSetting::Recorder:
        return List({"off", "transmit", "receive", "all", "record-only"});
    case TSetting::DiveComputer:
        return List({"off", "beep", "voice"});
    case TSetting::VoiceGuide:
        return List({"low", "middle", "high"});
    case TSetting::AirCheck:
        return AirCheckValues();
    }
    return {};
}

std::optional<std::string> Canonical(std::string_view value, const std::vector<std::string>& list) {
    for (const std::string& item : list)
        if (SameText(item, value)) return item;
    return std::nullopt;
}

bool Adjustable(const params::TIdentity& identity) noexcept {
    return params::IsSupportedFirmware(identity.version) &&
           (!identity.extendedFirmware || params::IsAdjustable(identity));
}

std::optional<std::string> ChosenValue(TSetting setting, const core::TPanel& panel,
                                       const params::TIdentity& identity) {
    const std::vector<std::string> values = ValuesFor(setting, identity);
    if (values.empty()) return std::nullopt;
    if (setting == TSetting::AirCheck) {
        if (!panel[TControl::CheckBoxDivingTimeSignalEnable].checked) {
            // Unchecked is also what a value not read, or not in the table, leaves; only the
            // box showing "Off" (code 0) says the unit has it off.
            const core::TControlState& box = panel[TControl::EditDivingTimeSignal];
            if (box.tag == 0 && !box.text.empty()) return values.front();
            return std::nullopt;
        }
        const int first = panel[TControl::ComboBoxDivingTimeSignal1].itemIndex;
        const int later = panel[TControl::ComboBoxDivingTimeSignal2].itemIndex;
        for (const auto& row : params::DivingTimeSignalTable)
            if (row.first == first && row.later == later) return AirCheckValue(row);
        return std::nullopt;
    }
    const int index = panel[Info(setting).choice].itemIndex;
    if (index < 0 || static_cast<std::size_t>(index) >= values.size()) return std::nullopt;
    return values[static_cast<std::size_t>(index)];
}

bool Choose(core::TConversation& conversation, TSetting setting, std::string_view value) {
    const std::vector<std::string> values = ValuesFor(setting, conversation.Identity());
    const auto at = std::find_if(values.begin(), values.end(),
                                 [&](const std::string& v) { return SameText(v, value); });
    if (at == values.end()) return false;
    const int index = static_cast<int>(at - values.begin());
    if (setting != TSetting::AirCheck) {
        conversation.Choose(Info(setting).choice, index);
        return true;
    }
    // The check box first (its click rule fills both lists), then the two lists.
    conversation.Check(TControl::CheckBoxDivingTimeSignalEnable, index > 0);
    if (index == 0) return true;
    const auto& row = params::DivingTimeSignalTable[static_cast<std::size_t>(index - 1)];
    conversation.Choose(TControl::ComboBoxDivingTimeSignal1, row.first);
    conversation.Choose(TControl::ComboBoxDivingTimeSignal2, row.later);
    return true;
}

std::optional<TSetting> SettingWrittenBy(std::string_view command) {
    struct TWrite {
        std::string_view command;
        TSetting setting;
    };
    static constexpr TWrite kWrites[] = {
        {params::CmdRxLevel, TSetting::Volume},
        {params::CmdRxOutLevel, TSetting::Volume},
        {params::CmdPhoneOutVol, TSetting::Volume},
        {params::CmdTxSquelchSw, TSetting::AutoSwitching},
        {params::CmdVOXsw, TSetting::HandsFree},
        {params::CmdCsgVoxNzccTh, TSetting::HandsFree},
        {params::CmdLed, TSetting::Channel},
        {params::CmdChannel, TSetting::Channel},
        {params::CmdBaseFreq, TSetting::Channel},
        {params::CmdRecordSw, TSetting::Recorder},
        {params::CmdTxModeSw, TSetting::ReceiveOnly},
        {params::CmdDiveConWarningSw, TSetting::DiveComputer},
        {params::CmdVoiceGuideSwitch, TSetting::VoiceGuide},
        {params::CmdDivingTimeSignalSw, TSetting::AirCheck},
    };
    for (const TWrite& write : kWrites)
        if (command.substr(0, write.command.size()) == write.command) return write.setting;
    return std::nullopt;
}

} // namespace cli
