#pragma once
// Settings asked for on the command line ("volume=4") or in a file, checked before any
// unit is there (names, and values some unit takes) and again once the unit is known
// (what this model and firmware has). Every problem is one line naming where it is.
//
// A settings file is either lines "name = value" ('#' starts a comment line; blank lines
// and blanks around name and value are ignored), or the JSON object "show --json" prints,
// whose "settings" object is taken.
#include "store/Vocabulary.h"

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace store {

struct TRequest {
    TSetting setting;
    std::string value;
    std::string origin; // "FILE:LINE", "FILE: settings.NAME" or "argument N"
};

struct TRequests {
    std::vector<TRequest> requests;
    std::string error; // one line; empty when everything was understood
    explicit operator bool() const { return error.empty(); }
};

// "NAME=VALUE" arguments; the first is argument firstNumber.
TRequests ParseAssignments(const std::vector<std::string>& arguments, int firstNumber = 1);
// The text of a settings file called name (for the messages).
TRequests ParseSettingsText(std::string_view text, const std::string& name);
TRequests LoadSettingsFile(const std::string& path);
// The same from a stream already open (standard input), called name in the messages.
TRequests LoadSettingsStream(std::FILE* stream, const std::string& name);

// The first request this unit cannot take, as one line; nothing when it takes them all.
std::optional<std::string> CheckForUnit(const std::vector<TRequest>& requests,
                                        const params::TIdentity& identity);

// What a unit of this identity takes of the requests (the setting is on this model and
// firmware, with that value), and what it does not, each with the reason: a restore or a
// settings file brings back what the unit has and lists the rest as skipped.
struct TSkipped {
    TRequest request;
    std::string reason; // "this unit (DW720 MIV 201036) has no voice-guide"
};
struct TUnitSplit {
    std::vector<TRequest> taken;
    std::vector<TSkipped> skipped;
};
TUnitSplit SplitForUnit(const std::vector<TRequest>& requests, const params::TIdentity& identity);

// The settings among the requests whose value differs from what the unit holds now (one
// the read-back could not show differs from any value).
std::vector<TSetting> Differences(const std::vector<TRequest>& requests,
                                  const core::TConversation& conversation);

// What a restore of a backup writes as the unit reported it: the backup's raw values, each
// checked for the shape its key takes, when the backup is of a unit of this model and
// firmware; none when it is of another (it goes by its settings then). error: one line
// ("raw.KEY: why") when a value does not fit; the restore is refused whole then.
struct TRestoreRaw {
    std::optional<params::TUnitValues> values;
    std::string error;
    explicit operator bool() const { return error.empty(); }
};
TRestoreRaw RestoreRawFor(const params::TIdentity& backup,
                          const std::map<std::string, std::string>& raw,
                          const params::TIdentity& unit);

// The unit's values that a write plan changes, setting by setting in the plan's order, each
// as "KEY OLD -> NEW" ("PhoneOutVol -3 -> -7"; "?" for a value the unit did not report).
struct TRawChange {
    TSetting setting;
    std::vector<std::string> values;
};
std::vector<TRawChange> RawChanges(const std::vector<params::TWriteEntry>& plan,
                                   const params::TUnitValues& unit);

// "volume: 2 -> 4 (PhoneOutVol -3 -> -7)": a setting's value as the unit holds it and as it
// would be ("?" where the tables cannot name it), with the raw values that change.
std::string ChangeLine(TSetting setting, const std::optional<std::string>& from,
                       const std::optional<std::string>& to,
                       const std::vector<std::string>& values);

// What writing a backup of a unit of this model and firmware (its checked values, and its
// settings as named) would change on the unit: a ChangeLine for each setting whose values
// differ, in the order Apply writes them.
std::vector<std::string> RestoreChanges(const params::TUnitValues& values,
                                        const std::vector<TRequest>& requests,
                                        const core::TConversation& conversation);

// A text from the unit, a file or an argument as every output of the command line shows it:
// control characters and NUL as "\x1b", "\x00" (a terminal would act on them, a C string
// would end at them).
std::string Escaped(std::string_view text);
// The same text as a message quotes it: escaped, cut after 60 characters.
std::string Quoted(std::string_view text);

// The values one after another, `between` between two.
std::string Join(const std::vector<std::string>& values, std::string_view between);

// How a unit is named in messages: "DW730 TONAL 201036" (or just the firmware).
std::string UnitName(const params::TIdentity& identity);

} // namespace store
