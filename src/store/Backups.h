#pragma once
// Backups of a unit's settings, one JSON file per run that writes to it, in
// DataFolder()/backups. A backup is what "show --json" prints (a settings file the command
// line's "set --from" takes), plus the raw values the unit reported and a "backup" object
// that tells it from any other file. The unit's serial number names the file; the serial
// comes from the unit and is not trusted with the file system.
#include "link/Conversation.h"
#include "store/Requests.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace store {

inline constexpr std::string_view kProduct = "Sonavelle customize tool";
inline constexpr int kKeepBackups = 50;

// DataFolder()/backups
std::string BackupFolder();

// How the backups' file names call a unit: its serial number, or its model and firmware when
// the serial was not read. Only [A-Za-z0-9._-], never empty, at most 64 characters, never
// beginning with '.'; a text that had to be changed gets a hash of the original, so that
// two units never share a name.
std::string UnitFileName(const core::TConversation& conversation);
std::string UnitFileName(const std::optional<std::string>& serial,
                         const params::TIdentity& identity);

struct TBackupWritten {
    std::string path;  // the file written; empty on failure
    std::string error; // one line, the system's reason; empty on success
    explicit operator bool() const { return error.empty(); }
};

// Writes a backup of the unit as the conversation holds it now into folder/NAME (created
// when missing), as NAME_yyyyMMdd-HHmmss.json of the local time, -2, -3, ... when that is
// taken; then keeps only the newest `keep` backups in folder/NAME (keep <= 0 keeps all).
// On failure nothing is left behind.
TBackupWritten WriteBackup(const core::TConversation& conversation, const std::string& folder,
                           const core::TTimePoint& now, const std::string& tool,
                           int keep = kKeepBackups);

struct TBackupFile {
    std::string path;
    std::string local; // "2026-12-08T14:01:02", from the file name
};
// The unit's backups (unitFileName: UnitFileName), newest first: those in folder/NAME and
// those of the older flat layout, folder/NAME_*.json.
std::vector<TBackupFile> ListBackups(const std::string& folder, const std::string& unitFileName);

struct TBackup {
    params::TIdentity identity;
    std::optional<std::string> serial;      // as "show --json" has it (escaped); none: not read
    std::string utc, local;                 // when it was made
    std::vector<TRequest> requests;         // its settings, checked as "set --from" checks a file
    std::map<std::string, std::string> raw; // "Led" -> "1": the values the unit reported
    std::string error;                      // one line naming the file; empty when read
    // The file calls itself a backup (it has a "backup" object, this tool's or another's),
    // read or not: such a file is never taken as a plain settings file.
    bool marked = false;
    explicit operator bool() const { return error.empty(); }
};
TBackup ReadBackup(const std::string& path);

} // namespace store
