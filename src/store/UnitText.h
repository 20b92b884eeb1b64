#pragma once
// The unit as "show" prints it, without Qt: its identity as the unit sent it and, for each
// setting, whether this unit has it, its value, how the window shows it and the values it
// takes. The JSON form (UnitDescription) is the one "show --json" prints and a backup keeps;
// its "settings" object is what a settings file takes back.
#include "link/Conversation.h"
#include "store/JsonText.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace store {

// The texts as the unit gave them, escaped; serial is empty when it was not read.
struct TUnitFacts {
    std::string model, firmware, language, serial, clock;
    std::size_t fileBytes = 0;
};

inline constexpr const char* kSerialNotRead = "(not read)";

TUnitFacts UnitFacts(const core::TConversation& conversation);

// A serial number sent without one character that could tell it from another unit's.
bool SerialRead(std::string_view serial);

// A panel text on one line (the notice label has a line break), escaped.
std::string OneLine(std::string text);

// Which value of a setting is shown: the one chosen now ("show" before any choice: the
// unit's), or the one the unit holds whatever has been chosen (a backup before a write).
enum class TValueOf { Choice, Unit };

// settingsShown: the unit's settings were shown and read back (else only the notice).
TJson UnitDescription(const core::TConversation& conversation, bool settingsShown,
                      TValueOf valueOf = TValueOf::Choice);

} // namespace store
