#pragma once
// Backups of a unit's settings, one JSON file per run that writes to it, in
// DataFolder()/backups. A backup is what "show --json" prints (a settings file the command
// line's "set --from" takes), plus the raw values the unit reported and a "backup" object
// that tells it from any other file. The unit's serial number names the file; the serial
// comes from the unit and is not trusted with the file system.
#include "files/FileText.h"
#include "link/Conversation.h"
#include "store/Requests.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace store {

inline constexpr std::string_view kProduct = "Sonavelle customize tool";
inline constexpr int kKeepBackups = 50;

// DataFolder()/backups
std::string BackupFolder();

// How the backups' file names call a unit. A read serial number keeps A-Z, 0-9 and '-' and
// spells every other byte "_XX" (hex), so that two serial numbers never share a name, not
// even on a file system that ignores case ("sv1" is "_73_761", "SV1" is "SV1"); a name that
// would be too long ends in a hash of the serial. A unit whose serial was not read is called
// "no-serial." and its model and firmware: a name no serial number is ever given, since
// any unit of that model may share it.
std::string UnitFileName(const core::TConversation& conversation);
std::string UnitFileName(const std::optional<std::string>& serial,
                         const params::TIdentity& identity);

struct TBackupWritten {
    std::string path;  // the file written; empty on failure
    std::string error; // one line, the system's reason; empty on success
    explicit operator bool() const { return error.empty(); }
};

// Writes a backup of the unit as the conversation holds it now into folder/NAME (created
// when missing) as NAME_NNNNNN_yyyyMMdd-HHmmss.json: NNNNNN one past the highest number the
// unit's backups have, so that the order of a unit's backups never depends on the clock and
// no name is used twice. The file is written under a temporary name, synced, read back and
// checked (a whole backup of this unit with every setting and raw value it holds), and only
// then given its name; then the unit's good backups beyond the newest `keep` are removed
// (keep <= 0 keeps all; those of a unit whose serial was not read are never removed, as they
// may be another unit's). On failure nothing is left behind and nothing was removed. Any thread
// may call it, several at once: the backups of one unit are written one after the other.
TBackupWritten WriteBackup(const core::TConversation& conversation, const std::string& folder,
                           const core::TTimePoint& now, const std::string& tool,
                           int keep = kKeepBackups);

struct TBackupFile {
    std::string path;
    std::string local; // "2026-12-08T14:01:02", from the file name
};
// The files named as the unit's backups (unitFileName: UnitFileName), newest first, whatever
// they hold: those in folder/NAME by number, then the older names without one by their time
// (NAME_yyyyMMdd-HHmmss[-N].json), in folder/NAME and in the flat layout, folder/NAME_*.json.
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
// A backup that holds no settings (a run cut short before it had them) is refused, as
// nothing could be restored from it.
TBackup ReadBackup(const std::string& path, files::TStopCheck stop = nullptr);
// The same, of a file's text already read (path names it in the messages).
TBackup ParseBackup(std::string_view text, const std::string& path);
// The message for a file that could not be read (what: "a backup", "a settings file").
std::string ReadError(const files::TFileText& file, const std::string& path, std::string_view what);

// The connected unit's backups that a restore may take, newest first: files named as its
// backups that read as whole backups of its serial number holding settings. None for a unit
// whose serial number was not read: its backups cannot be told from another unit's.
std::vector<TBackupFile> RestorableBackups(const std::string& folder,
                                           const core::TConversation& conversation);

} // namespace store
