#include "store/Journal.h"

#include <QFileInfo>

namespace store {

TJournal::TJournal(TJournalOptions options, const core::TClock& clock, TNote note,
                   TWriteAnyway writeAnyway)
    : options_(std::move(options)), clock_(clock), note_(std::move(note)),
      writeAnyway_(std::move(writeAnyway)) {
    if (options_.folder.empty()) options_.folder = BackupFolder();
    if (options_.record.empty()) options_.record = RecordPath();
}

void TJournal::Fail(const std::string& line) {
    lastError_ = line;
    if (note_) note_(line);
}

bool TJournal::BeforeFirstWrite(core::TRunKind kind) {
    if (!conversation_) return false; // nothing to back up from: write nothing
    lastError_.clear();
    start_ = RunStart(*conversation_, kind);
    if (!options_.backups) return true;
    const TBackupWritten backup =
        WriteBackup(*conversation_, options_.folder, clock_.Now(), options_.tool, options_.keep);
    if (!backup) {
        Fail("Backup failed: " + backup.error);
        // Without a backup nothing is written unless the user says so.
        return writeAnyway_ && writeAnyway_(backup.error);
    }
    lastBackup_ = backup.path;
    start_.backup = QFileInfo(QString::fromStdString(backup.path)).fileName().toStdString();
    if (note_) note_("Backup saved: " + backup.path);
    return true;
}

void TJournal::RunEnded(core::TRunKind kind, core::TRunEnd end) {
    if (!conversation_) return;
    TRecordEntry entry = MakeEntry(*conversation_, kind, end, start_, clock_.Now(), options_.tool);
    if (!options_.runName.empty()) entry.run = options_.runName;
    std::vector<std::string> paths{options_.record};
    paths.insert(paths.end(), options_.extraRecords.begin(), options_.extraRecords.end());
    for (const std::string& path : paths) {
        const std::string error = AppendRecord(path, entry);
        if (!error.empty())
            Fail("Service record not written: " + error);
        else if (note_)
            note_("Service record: " + entry.result + " (" + path + ")");
    }
    lastEntry_ = std::move(entry);
}

} // namespace store
