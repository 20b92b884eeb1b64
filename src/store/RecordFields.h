#pragma once
// The service record's fields in their order, for the JSON line and the spreadsheet alike.
#include "store/ServiceRecord.h"

#include <optional>
#include <string>

namespace store {

struct TField {
    const char* name;
    std::string TRecordEntry::*text = nullptr;
    std::optional<std::string> TRecordEntry::*maybe = nullptr;
    TNamedValues TRecordEntry::*values = nullptr;
};
inline constexpr TField kFields[] = {
    {"utc", &TRecordEntry::utc},
    {"local", &TRecordEntry::local},
    {"tool", &TRecordEntry::tool},
    {"run", &TRecordEntry::run},
    {"serial", nullptr, &TRecordEntry::serial},
    {"model", &TRecordEntry::model},
    {"firmware", &TRecordEntry::firmware},
    {"language", &TRecordEntry::language},
    {"result", &TRecordEntry::result},
    {"before", nullptr, nullptr, &TRecordEntry::before},
    {"chosen", nullptr, nullptr, &TRecordEntry::chosen},
    {"written", nullptr, nullptr, &TRecordEntry::written},
    {"command", nullptr, &TRecordEntry::command},
    {"reply", nullptr, &TRecordEntry::reply},
    {"backup", nullptr, &TRecordEntry::backup},
};

} // namespace store
