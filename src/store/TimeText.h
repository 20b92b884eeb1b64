#pragma once
// How the tool's files write a moment.
#include "link/Conversation.h"

#include <string>

namespace store {

// "2026-12-07T10:20:30Z"
std::string UtcText(const core::TTimePoint& time);
// "2026-12-07T19:20:30+09:00": the local date and time with its offset from UTC.
std::string LocalText(const core::TTimePoint& time);

} // namespace store
