// The File menu's items on the unit's settings: settings files, backups and the service
// record. None of them writes to the unit: they choose, and Apply writes.
#include "app/Main.h"

#include "params/Settings.h"
#include "store/Backups.h"
#include "store/Requests.h"
#include "store/ServiceRecord.h"
#include "store/SettingsFile.h"
#include "store/UnitJson.h"
#include "store/Vocabulary.h"

#include <QAction>

#include <algorithm>

namespace {

constexpr std::string_view kCaption = core::kToolCaption;
// .conf is what the command line's bench files are called (batch --from bench.conf).
constexpr std::string_view kSettingsFilter = "Settings (*.txt *.conf *.json);;All files (*)";

// A handler's edge: what it raises is shown in the general error box.
template <typename F> void AtEdge(TDialogs& dialogs, F&& handler) {
    try {
        handler();
    } catch (...) {
        ShowErrorBoxFor(dialogs, std::current_exception());
    }
}

// "2026-12-08T14:01:02+09:00" -> "2026-12-08 14:01:02"
std::string When(std::string local) {
    if (local.size() > 10 && local[10] == 'T') local[10] = ' ';
    return local.substr(0, 19);
}

// A backup against what the unit holds now: the values that differ, raw where a restore
// writes them as the unit reported them.
std::string Compared(const store::TBackup& backup, const core::TConversation& c) {
    if (!backup) return "cannot be read";
    const store::TRestoreRaw raw = store::RestoreRawFor(backup.identity, backup.raw, c.Identity());
    if (!raw) return "cannot be read: " + raw.error;
    if (raw.values) {
        const auto changes = store::RestoreChanges(*raw.values, backup.requests, c);
        return changes.empty() ? "same as the unit" : store::Join(changes, ", ");
    }
    const auto taken = store::SplitForUnit(backup.requests, c.Identity()).taken;
    std::vector<params::TSetting> differ = store::Differences(taken, c);
    std::sort(differ.begin(), differ.end()); // in the window's order, not the file's
    std::vector<std::string> names;
    for (params::TSetting setting : differ)
        names.emplace_back(params::Info(setting).name);
    return names.empty() ? "same as the unit" : store::Join(names, ", ");
}

std::string RecordLine(const store::TRecordEntry& e) {
    std::vector<std::string> written;
    for (const auto& [name, value] : e.written)
        written.push_back(name + "=" + value);
    return When(e.local) + "   " + e.serial.value_or(store::kSerialNotRead) + "   " + e.model +
           " " + e.firmware + "   " + e.run + "   " + e.result + "   " +
           (written.empty() ? "nothing written" : store::Join(written, ", "));
}

} // namespace

bool TForm1::SettingsAtHand() const {
    const core::TConversation& c = *conversation_;
    return c.Connected() && c.Phase() == core::TPhase::Ready && c.Supported() &&
           c.CurrentReceivedCount() > 0 && params::Adjustable(c.Identity());
}

void TForm1::UpdateFileItems() {
    const bool atHand = SettingsAtHand();
    if (!atHand) restored_ = false;
    for (QAction* item : {SaveSettings1, LoadSettings1, Restore1})
        if (item->isEnabled() != atHand) item->setEnabled(atHand);
}

bool TForm1::StillAtHand(const std::string& unit) {
    if (SettingsAtHand() && store::UnitFileName(*conversation_) == unit) return true;
    dialogs_->ShowErrorMessage(kCaption, "The unit changed meanwhile: nothing was chosen.");
    return false;
}

void TForm1::NameRun(bool apply) {
    if (journal_) journal_->Options().runName = apply && restored_ ? "restore" : "";
}

std::string TForm1::BackupFolder() const {
    return journal_ ? journal_->Options().folder : store::BackupFolder();
}

std::string TForm1::RecordPath() const {
    return journal_ ? journal_->Options().record : store::RecordPath();
}

void TForm1::ChooseForUnit(const std::vector<store::TRequest>& requests) {
    core::TConversation& c = *conversation_;
    const store::TUnitSplit split = store::SplitForUnit(requests, c.Identity());
    Forward([&] {
        for (const store::TRequest& r : split.taken)
            store::Choose(c, r.setting, r.value);
    });
    if (split.skipped.empty()) return;
    std::string text = "Skipped:";
    for (const store::TSkipped& s : split.skipped) {
        text += '\n';
        text += params::Info(s.request.setting).name;
        text += " = " + s.request.value + ": " + s.reason;
    }
    dialogs_->ShowInformation(kCaption, text);
}

void TForm1::SaveSettings1Click() {
    AtEdge(*dialogs_, [this] {
        if (!SettingsAtHand()) return;
        const core::TConversation& c = *conversation_;
        const bool chosen =
            std::any_of(params::kSettings.begin(), params::kSettings.end(), [&](const auto& info) {
                return store::ChosenValue(c, info.id) != store::HeldValue(c, info.id);
            });
        store::TValueOf valueOf = store::TValueOf::Unit;
        if (chosen) {
            const auto answer = dialogs_->AskWhich(
                kCaption, "The settings you have chosen differ from the unit's. Which to save?",
                {"Chosen settings", "Unit's settings"});
            if (!answer) return;
            if (*answer == 0) valueOf = store::TValueOf::Choice;
        }
        const std::string unit = store::UnitFileName(c);
        const auto path =
            dialogs_->ChooseFileToSave("Save settings as", unit + ".txt", kSettingsFilter);
        if (!path || !StillAtHand(unit)) return;
        const std::string error = store::WriteSettingsFile(*path, c, valueOf, clock_->Now());
        if (!error.empty()) dialogs_->ShowErrorMessage(kCaption, error);
    });
}

void TForm1::LoadSettings1Click() {
    AtEdge(*dialogs_, [this] {
        if (!SettingsAtHand()) return;
        const std::string unit = store::UnitFileName(*conversation_);
        const auto path = dialogs_->ChooseFileToOpen("Load settings", kSettingsFilter);
        if (!path) return;
        const store::TRequests file = store::LoadSettingsFile(*path);
        if (!file) {
            dialogs_->ShowErrorMessage(kCaption, file.error);
            return;
        }
        if (!StillAtHand(unit)) return;
        restored_ = false;
        ChooseForUnit(file.requests);
    });
}

void TForm1::Restore1Click() {
    AtEdge(*dialogs_, [this] {
        if (!SettingsAtHand()) return;
        const core::TConversation& c = *conversation_;
        const std::string unit = store::UnitFileName(c);
        if (store::UnitFacts(c).serial.empty()) {
            dialogs_->ShowInformation(kCaption,
                                      "The serial number of this unit was not read, so none of "
                                      "the backups can be told to be its own. Load settings... "
                                      "loads one you choose.");
            return;
        }
        // Only whole backups of this unit: a damaged or empty file is never offered.
        const std::vector<store::TBackupFile> files = store::RestorableBackups(BackupFolder(), c);
        if (files.empty()) {
            dialogs_->ShowInformation(kCaption, "There are no backups of this unit.");
            return;
        }
        std::vector<std::string> items;
        for (const store::TBackupFile& file : files)
            items.push_back(When(file.local) + "   " + Compared(store::ReadBackup(file.path), c));
        const auto pick = dialogs_->ChooseItem(
            "Restore settings",
            "Backups of this unit, newest first, and the settings that differ from what it "
            "holds now:",
            items);
        if (!pick || *pick < 0 || static_cast<std::size_t>(*pick) >= files.size()) return;
        const std::string& path = files[static_cast<std::size_t>(*pick)].path;
        const store::TBackup backup = store::ReadBackup(path);
        if (!backup) {
            dialogs_->ShowErrorMessage(kCaption, backup.error);
            return;
        }
        if (!StillAtHand(unit)) return;
        const std::string serial = store::UnitFacts(c).serial;
        if (backup.serial.value_or("") != serial &&
            !dialogs_->AskYesNo(kCaption, "This backup is of unit " +
                                              backup.serial.value_or(store::kSerialNotRead) +
                                              ", not of this unit (" +
                                              (serial.empty() ? store::kSerialNotRead : serial) +
                                              "). Load its settings anyway?"))
            return;
        // Checked before anything is chosen: a value that does not fit refuses the whole.
        const store::TRestoreRaw raw =
            store::RestoreRawFor(backup.identity, backup.raw, c.Identity());
        if (!raw) {
            dialogs_->ShowErrorMessage(kCaption, path + ": " + raw.error + "; nothing was chosen.");
            return;
        }
        if (!StillAtHand(unit)) return;
        ChooseForUnit(backup.requests);
        // Then the values the unit reported, which Apply writes as they are.
        if (raw.values) Forward([&] { conversation_->ChooseUnitValues(*raw.values); });
        restored_ = true;
    });
}

void TForm1::ServiceRecord1Click() {
    AtEdge(*dialogs_, [this] {
        const std::string path = RecordPath();
        const store::TRecord record = store::ReadRecord(path);
        if (!record.error.empty()) {
            dialogs_->ShowErrorMessage(kCaption, record.error);
            return;
        }
        std::string heading = path;
        if (record.skipped > 0) {
            heading += '\n';
            heading += std::to_string(record.skipped) + " damaged line(s) skipped.";
        }
        if (record.entries.empty()) heading += "\nNo run has been recorded yet.";
        std::vector<std::string> lines;
        for (auto e = record.entries.rbegin(); e != record.entries.rend(); ++e)
            lines.push_back(RecordLine(*e));
        dialogs_->ShowList("Service record", heading, lines);
    });
}

void TForm1::SaveRecordCsv1Click() {
    AtEdge(*dialogs_, [this] {
        const store::TRecord record = store::ReadRecord(RecordPath());
        if (!record.error.empty()) {
            dialogs_->ShowErrorMessage(kCaption, record.error);
            return;
        }
        const auto path = dialogs_->ChooseFileToSave("Save service record as CSV",
                                                     "service-record.csv", "Spreadsheet (*.csv)");
        if (!path) return;
        const std::string error = store::WriteWholeFile(*path, store::RecordCsv(record.entries));
        if (!error.empty()) dialogs_->ShowErrorMessage(kCaption, error);
    });
}
