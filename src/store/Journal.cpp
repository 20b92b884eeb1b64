#include "store/Journal.h"

#include "store/QtText.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace store {

namespace {

class TPcClock final : public core::TClock {
  public:
    core::TTimePoint Now() const override {
        const QDateTime now = QDateTime::currentDateTime();
        return {now.toMSecsSinceEpoch(), now.toMSecsSinceEpoch() + now.offsetFromUtc() * 1000LL};
    }
};

// Two names of one file (another spelling, a link): the record is written to it once.
bool SameFile(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    const fs::path pa(Q(a).toStdU16String()), pb(Q(b).toStdU16String());
    std::error_code error;
    if (fs::equivalent(pa, pb, error)) return true;
    const fs::path left = fs::weakly_canonical(pa, error);
    if (error) return a == b;
    const fs::path right = fs::weakly_canonical(pb, error);
    if (error) return a == b;
    return left == right;
}

} // namespace

const core::TClock& PcClock() {
    static const TPcClock clock;
    return clock;
}

const core::TClock& TJournal::Clock() const {
    if (options_.clock) return *options_.clock;
    return options_.simulated ? PcClock() : clock_;
}

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
        WriteBackup(*conversation_, options_.folder, Clock().Now(), options_.tool, options_.keep);
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
    recordError_.clear();
    TRecordEntry entry = MakeEntry(*conversation_, kind, end, start_, Clock().Now(), options_.tool);
    if (!options_.runName.empty()) entry.run = options_.runName;
    entry.simulated = options_.simulated;
    if (!options_.port.empty()) entry.port = options_.port;
    std::vector<std::string> paths{options_.record};
    paths.insert(paths.end(), options_.extraRecords.begin(), options_.extraRecords.end());
    std::vector<std::string> done;
    for (const std::string& path : paths) {
        if (std::any_of(done.begin(), done.end(),
                        [&](const std::string& d) { return SameFile(d, path); }))
            continue;
        done.push_back(path);
        const std::string error = AppendRecord(path, entry);
        if (!error.empty()) {
            if (recordError_.empty()) recordError_ = error;
            Fail("Service record not written: " + error);
        } else if (note_) {
            note_("Service record: " + entry.result + " (" + path + ")");
        }
    }
    lastEntry_ = std::move(entry);
}

} // namespace store
