#include "store/Vocabulary.h"

#include "params/Capabilities.h"

#include <algorithm>
#include <cctype>

namespace store {

namespace {

bool SameText(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

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
                 params::SettingValues(setting, params::TIdentity::FromVersion(version, model))) {
                if (!Canonical(value, all)) all.push_back(std::move(value));
            }
        }
    }
    return all;
}

std::optional<std::string> Canonical(std::string_view value, const std::vector<std::string>& list) {
    for (const std::string& item : list)
        if (SameText(item, value)) return item;
    return std::nullopt;
}

std::optional<std::string> ChosenValue(const core::TConversation& conversation, TSetting setting) {
    const std::optional<int> choice = conversation.Setting(setting).choice;
    if (!choice) return std::nullopt;
    return params::SettingValues(setting,
                                 conversation.Identity())[static_cast<std::size_t>(*choice)];
}

std::optional<std::string> HeldValue(const core::TConversation& conversation, TSetting setting) {
    const std::optional<int> current = conversation.Setting(setting).current;
    const std::vector<std::string> values = params::SettingValues(setting, conversation.Identity());
    if (!current || *current < 0 || static_cast<std::size_t>(*current) >= values.size())
        return std::nullopt;
    return values[static_cast<std::size_t>(*current)];
}

bool Choose(core::TConversation& conversation, TSetting setting, std::string_view value) {
    const std::vector<std::string> values = params::SettingValues(setting, conversation.Identity());
    const auto at = std::find_if(values.begin(), values.end(),
                                 [&](const std::string& v) { return SameText(v, value); });
    if (at == values.end()) return false;
    conversation.Choose(setting, static_cast<int>(at - values.begin()));
    return true;
}

} // namespace store
