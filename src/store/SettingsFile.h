#pragma once
// Writes a settings file of the unit: what "set --from" and the window's Load read back.
#include "store/UnitJson.h"

#include <string>

namespace store {

// The unit's settings (valueOf: the choices, or what the unit holds) as a settings file:
// the JSON of "show --json" when json, else "name = value" lines under a '#' header that
// names the unit and the time.
std::string SettingsFileText(const core::TConversation& conversation, TValueOf valueOf, bool json,
                             const core::TTimePoint& now);

// Writes text to path whole or not at all (a file that was there stays as it was until the new
// one is complete). The reason on failure, one line; empty on success.
std::string WriteWholeFile(const std::string& path, const std::string& text);

// Written whole or not at all, the format chosen by the name (".json" or anything else).
// The reason on failure, one line; empty on success.
std::string WriteSettingsFile(const std::string& path, const core::TConversation& conversation,
                              TValueOf valueOf, const core::TTimePoint& now);

} // namespace store
