#pragma once
// The settings' names and values as the command line and settings files write them (the
// settings themselves, and the values a unit takes, are params::TSetting and
// params::SettingValues). Names and values are matched without regard to letter case.
#include "link/Conversation.h"
#include "params/Settings.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace store {

using params::Info;
using params::kSettings;
using params::TSetting;
using params::TSettingInfo;

std::optional<TSetting> SettingNamed(std::string_view name) noexcept;

// Every value the setting takes on some unit, for checking a file before any unit is there.
std::vector<std::string> AnyUnitValues(TSetting setting);
// The value as written in the list (letter case of the list), or nothing when not there.
std::optional<std::string> Canonical(std::string_view value, const std::vector<std::string>& list);

// The value chosen for the setting now (the unit's, after a read-back); nothing when none is.
std::optional<std::string> ChosenValue(const core::TConversation& conversation, TSetting setting);

// The value the unit holds as the read-back found it; nothing when it was not read or the
// tables cannot show it.
std::optional<std::string> HeldValue(const core::TConversation& conversation, TSetting setting);

// Chooses the value as the user would in the window. False when the unit does not take it.
bool Choose(core::TConversation& conversation, TSetting setting, std::string_view value);

} // namespace store
