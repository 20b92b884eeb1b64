#pragma once
// What Requests.cpp and SettingsText.cpp share of reading settings: not for other users.
#include "store/Requests.h"

#include <string>
#include <string_view>

namespace store::detail {

std::string_view Trim(std::string_view text);
// A text as a message shows it: escaped, and cut after 60 characters.
std::string Shown(std::string_view text);
std::string KnownNames();
// Adds one "name", "value" pair; false with the error set when it cannot be taken.
bool Add(TRequests& out, std::string_view name, std::string_view value, std::string origin);
bool AddAssignment(TRequests& out, std::string_view text, std::string origin);

} // namespace store::detail
