#include "cli/Commands.h"

#include "files/FileText.h"
#include "link/Text.h"
#include "store/Backups.h"
#include "store/ServiceRecord.h"
#include "store/UnitText.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <string>

namespace cli {

namespace {

int Code(TExit exit) {
    return static_cast<int>(exit);
}

// One line "program: message" for the person at the bench; returns the exit code.
int Report(const TCommandOptions& o, const TOutcome& outcome) {
    if (!outcome.message.empty())
        std::fprintf(o.err, "%s: %s\n", o.program, outcome.message.c_str());
    return Code(outcome.exit);
}

using store::kSerialNotRead;
using store::OneLine;
using store::TUnitFacts;
constexpr auto Facts = store::UnitFacts;

void PrintText(const TSession& session, std::FILE* out) {
    const core::TConversation& c = session.Conversation();
    const TUnitFacts f = Facts(c);
    const auto row = [&](const char* name, const std::string& value) {
        if (!value.empty()) std::fprintf(out, "%-17s%s\n", name, value.c_str());
    };
    row("model", f.model);
    row("firmware", f.firmware);
    row("language", f.language);
    row("serial number", f.serial.empty() ? std::string(kSerialNotRead) : f.serial);
    if (f.fileBytes > 0) row("information file", std::to_string(f.fileBytes) + " bytes");
    row("clock", f.clock.empty() ? std::string() : "set to " + f.clock);
    std::fputc('\n', out);
    if (!session.SettingsShown()) {
        std::fprintf(out, "settings not shown: %s\n",
                     OneLine(std::string(core::kUnsupportedNotice)).c_str());
        return;
    }
    for (const TSettingInfo& info : kSettings) {
        const std::vector<std::string> values = params::SettingValues(info.id, c.Identity());
        if (values.empty()) {
            std::fprintf(out, "%-17s(not on this unit)\n", std::string(info.name).c_str());
            continue;
        }
        const std::optional<std::string> value = ChosenValue(c, info.id);
        std::fprintf(out, "%-17s%-8s shown as \"%s\"; takes %s\n", std::string(info.name).c_str(),
                     value.value_or("?").c_str(), Escaped(c.Setting(info.id).shown).c_str(),
                     Join(values, " ").c_str());
    }
}

void PrintJson(const TSession& session, std::FILE* out) {
    const std::string text = store::IndentedText(
        store::UnitDescription(session.Conversation(), session.SettingsShown()));
    std::fwrite(text.data(), 1, text.size(), out);
}

// Says which units Connect identified and passed over for --device.
void SayPassedOver(const TSession& session, const TCommandOptions& o) {
    for (const std::string& unit : session.PassedOver())
        std::fprintf(o.err, "%s: passed over %s\n", o.program, unit.c_str());
}

// Connects a session's unit; a wait without a unit is the session's time-out.
TOutcome ConnectFor(TSession& session, const TCommandOptions& o) {
    // A dry run says what would be written, to the unit it names: it does not guess either.
    if (o.dryRun) session.NeverGuess();
    std::fprintf(o.err, "%s: waiting for the unit (plug it in now)\n", o.program);
    std::fflush(o.err);
    TOutcome outcome = session.Connect(o.session.timeoutMs);
    if (outcome.ok()) SayPassedOver(session, o);
    return outcome;
}

constexpr const char* kNothingWritten = "nothing written (dry run)";

// The session of a command that writes: each run is backed up and recorded, unless it is a
// dry run, which writes nothing at all.
TSessionOptions Writing(const TCommandOptions& o, const char* runName = "") {
    TSessionOptions session = o.session;
    session.program = o.program;
    if (o.dryRun) return session;
    store::TJournalOptions journal;
    journal.keep = o.keepBackups;
    journal.extraRecords = o.records;
    journal.backups = o.backups;
    journal.runName = runName;
    session.journal = std::move(journal);
    return session;
}

// The dry run's line: "2 setting(s) would change (volume, channel)" or "nothing would change".
std::string WouldChange(const TPreview& preview) {
    if (preview.changed.empty()) return "nothing would change";
    return std::to_string(preview.changed.size()) + " setting(s) would change (" +
           SettingNames(preview.changed) + ")";
}

} // namespace

std::string ResultLine(const TUnitFacts& f, const TOutcome& outcome, const std::string& done) {
    const auto or_ = [](const std::string& s) { return s.empty() ? std::string("-") : s; };
    return (f.serial.empty() ? std::string(kSerialNotRead) : f.serial) + "\t" + or_(f.model) +
           "\t" + or_(f.firmware) + "\t" + (outcome.ok() ? done : "FAILED: " + outcome.message);
}

TOutcome CheckedAgainst(const core::TConversation& c, const std::vector<TRequest>& requests,
                        TOutcome readBack, bool written) {
    if (!readBack.ok()) {
        readBack.message += written ? "; the settings were saved" : "; the unit had the settings";
        return readBack;
    }
    for (const TRequest& r : requests) {
        const auto value = ChosenValue(c, r.setting);
        if (value != r.value)
            return {TExit::Failed, "read back " + std::string(Info(r.setting).name) + "=" +
                                       value.value_or("?") + ", not " + r.value};
    }
    return {};
}

TOutcome WithSerial(bool serialRead, TOutcome outcome, bool dryRun) {
    // The bench record could not tell this unit from another.
    if (serialRead || !outcome.ok()) return outcome;
    return {TExit::Failed, dryRun ? "the serial number was not read"
                                  : "the serial number was not read; the settings were "
                                    "applied and read back"};
}

namespace {

// After Apply, read the unit's settings back and compare them with the requests.
TOutcome Verify(TSession& session, const std::vector<TRequest>& requests) {
    // Apply left the number of settings it changed (none: nothing was written).
    const bool written = session.Conversation().ChangeCount() > 0;
    TOutcome outcome = session.ReadBack("the check read-back");
    return CheckedAgainst(session.Conversation(), requests, std::move(outcome), written);
}

// set and restore on a connected unit: Apply, or with dryRun what Apply would change.
int ApplyOrPreview(TSession& session, const std::vector<TRequest>& requests,
                   const TCommandOptions& o, const params::TUnitValues* restore = nullptr) {
    if (o.dryRun) {
        const TPreview preview = session.Preview(requests, restore);
        if (!preview.outcome.ok()) return Report(o, preview.outcome);
        for (const std::string& change : preview.changes)
            std::fprintf(o.out, "%s\n", change.c_str());
        std::fprintf(o.out, "%s; %s\n", WouldChange(preview).c_str(), kNothingWritten);
        return Code(TExit::Done);
    }
    const TOutcome outcome = session.Apply(requests, restore);
    if (!outcome.ok()) return Report(o, outcome);
    std::fprintf(o.out, "%s\n", outcome.message.c_str());
    return Code(TExit::Done);
}

// What restore takes: a settings file, and whose backup it is when it is one.
struct TRestoreFile {
    TRequests settings;
    std::optional<store::TBackup> backup;
};

TRestoreFile LoadRestoreFile(const std::string& path) {
    // Read once, and checked as set --from checks a file (the same messages): a pipe gives
    // its text only once, and what is checked must be what is restored. A file that calls
    // itself a backup must be a whole one of this tool. Ctrl-C ends a wait for a FIFO's writer.
    const files::TFileText text = files::ReadFileText(path, files::kMaxFileBytes, &StopRequested);
    TRestoreFile file;
    if (!text) {
        file.settings.error = store::ReadError(text, path, "a settings file");
        return file;
    }
    file.settings = ParseSettingsText(*text.text, path);
    if (!file.settings) return file;
    store::TBackup backup = store::ParseBackup(*text.text, path);
    if (backup)
        file.backup = std::move(backup);
    else if (backup.marked)
        file.settings = {{}, backup.error};
    else if (file.settings.requests.empty())
        file.settings = {{}, path + ": holds no settings; nothing written"};
    return file;
}

std::string FileName(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).fileName().toStdString();
}

// The connected unit's backups that can be restored, newest first, or why there are none.
std::vector<store::TBackupFile> BackupsOf(const core::TConversation& c, TOutcome& none) {
    const std::string unit = store::UnitFileName(c);
    const std::string folder = store::BackupFolder();
    if (Facts(c).serial.empty()) {
        none = {TExit::Usage,
                "the serial number of this unit was not read, so no backup can be "
                "told to be its own; nothing written (restore --from FILE takes one)"};
        return {};
    }
    std::vector<store::TBackupFile> backups = store::RestorableBackups(folder, c);
    if (!backups.empty()) return backups;
    const std::size_t named = store::ListBackups(folder, unit).size();
    none = {TExit::Usage, "no backup of this unit (" + unit + "_*.json) in " + folder +
                              (named > 0 ? " that can be restored (" + std::to_string(named) +
                                               " damaged, empty or of another unit)"
                                         : std::string()) +
                              "; nothing written"};
    return backups;
}

// The list's lines, printed during the controller's enumeration: only there may a device
// that is not checked out be asked for its product text.
struct TLister {
    std::FILE* out;
    const hid::TCustomHidDevice* chosen;
    const char* mark;
    int listed = 0;
    bool OnEnumerate(hid::TCustomHidDevice* device, int32_t) {
        const auto& a = device->Attributes();
        // Listed, but identification would fail at its first command.
        const auto* held = dynamic_cast<const hid::THidDevice*>(device);
        const std::string refused =
            held && IsTransceiver(*device) && !held->ReadWriteAccess()
                ? "\t<- cannot be written to: " + std::string(core::kUdevRuleHint)
                : std::string();
        std::fprintf(out, "%04x:%04x\t%s\t%s%s%s\n", a.VendorID, a.ProductID,
                     device->PnPInfo().DevicePath.c_str(),
                     Escaped(core::Utf16ToUtf8(device->QueryProductText())).c_str(),
                     device == chosen ? mark : "", refused.c_str());
        ++listed;
        return true;
    }
};

} // namespace

int RunSimList(const TCommandOptions& o) {
    for (const std::string& name : sim::PresetNames()) {
        const sim::Profile p = *sim::FindPreset(name);
        const char* what = cli::WhatIsShown(p.firmware, p.model);
        std::fprintf(o.out, "%s\t%s\n", name.c_str(), what);
    }
    return Code(TExit::Done);
}

TRequests LoadSettingsFrom(const std::string& path, std::FILE* in) {
    if (path != "-") return LoadSettingsFile(path);
    return LoadSettingsStream(in, "(standard input)");
}

int RunList(TBench& bench, const TCommandOptions& o) {
    hid::THidDeviceController& hid = bench.Controller();
    // A device that cannot be opened is listed with its reason below, not raised.
    bench.MainThread().SetErrorHandler([](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const hid::EControllerError&) {
        }
    });
    hid.Loaded();
    bench.PlugNextUnit();
    bench.Pass();
    hid.DeviceChange(); // builds the device list now
    // The tool takes the first device it can check out, trying its identifiers in order; a
    // path for --device hides the others. A serial number is known only once identified.
    const std::string& wanted = o.session.device;
    TDeviceView view(hid);
    if (IsDevicePath(wanted)) view.Only(wanted);
    const hid::TCustomHidDevice* chosen = nullptr;
    for (const auto& id : core::kTransceiverIds) {
        hid::TCustomHidDevice* device = nullptr;
        if (view.CheckOutByIdentifiers(device, id.VendorID, id.ProductID)) {
            chosen = device;
            view.CheckIn(device);
            break;
        }
    }
    const char* mark = wanted.empty() ? "\t<- the transceiver"
                       : IsDevicePath(wanted)
                           ? "\t<- the transceiver (--device)"
                           : "\t<- the transceiver identified first for --device";
    TLister lister{o.out, chosen, mark};
    hid.SetOnEnumerate(hid::THidEnumerateEvent::Bind<&TLister::OnEnumerate>(&lister));
    hid.Enumerate();
    hid.SetOnEnumerate({});
    bench.MainThread().SetErrorHandler({});
    // Their identifiers could not be read.
    for (const hid::TUnopenedDevice& device : hid.Unopened())
        std::fprintf(o.out, "----:----\t%s\t%s\t<- %s\n", device.PnPInfo.DevicePath.c_str(),
                     device.PnPInfo.FriendlyName.c_str(), UnopenedReason(hid, device).c_str());
    if (chosen) return Code(TExit::Done);
    const size_t unopened = hid.Unopened().size();
    std::string message = "no transceiver" + (IsDevicePath(wanted) ? " at " + wanted : "") +
                          " among " + std::to_string(lister.listed + unopened) + " HID device(s)";
    if (unopened > 0) message += " (" + std::to_string(unopened) + " cannot be used)";
    return Report(o, {TExit::NoUnit, message});
}

int RunShow(TBench& bench, bool json, const TCommandOptions& o) {
    TSession session(bench, o.session);
    const TOutcome outcome = ConnectFor(session, o);
    if (!outcome.ok()) return Report(o, outcome);
    if (json)
        PrintJson(session, o.out);
    else
        PrintText(session, o.out);
    return Code(TExit::Done);
}

int RunSet(TBench& bench, const std::vector<TRequest>& requests, const TCommandOptions& o) {
    TSession session(bench, Writing(o));
    const TOutcome outcome = ConnectFor(session, o);
    if (!outcome.ok()) return Report(o, outcome);
    return ApplyOrPreview(session, requests, o);
}

int RunDefault(TBench& bench, const TCommandOptions& o) {
    TSession session(bench, Writing(o));
    TOutcome outcome = ConnectFor(session, o);
    if (outcome.ok()) outcome = session.Default();
    if (outcome.ok()) std::fprintf(o.out, "%s\n", outcome.message.c_str());
    return outcome.ok() ? Code(TExit::Done) : Report(o, outcome);
}

int RunBatch(TBench& bench, const std::vector<TRequest>& requests, int maxUnits,
             const TCommandOptions& o) {
    TSession session(bench, Writing(o));
    session.FinishUnitOnStop(std::string(o.program) +
                             ": finishing this unit; Ctrl-C again stops at once");
    int units = 0, failed = 0, serialsNotRead = 0;
    for (;;) {
        if ((maxUnits > 0 && units >= maxUnits) || bench.NoUnitLeft() || StopRequested()) break;
        session.ClearProgress();
        std::fprintf(o.err, "%s: plug in unit %d (Ctrl-C stops)\n", o.program, units + 1);
        std::fflush(o.err);
        TOutcome outcome = session.Connect(-1);
        if (StopRequested() && !session.UnitInProgress() && !session.Conversation().Connected() &&
            outcome.exit == TExit::NoUnit)
            break; // Ctrl-C while waiting for a unit
        ++units;
        // As identified: a unit that goes away takes its facts off the panel.
        const TUnitFacts facts = Facts(session.Conversation());
        if (outcome.ok() && !session.SettingsShown())
            outcome = {TExit::Usage,
                       "settings not shown: " + OneLine(std::string(core::kUnsupportedNotice))};
        std::string done = "OK";
        if (outcome.ok() && o.dryRun) {
            const TPreview preview = session.Preview(requests);
            outcome = preview.outcome;
            done = preview.changed.empty() ? "nothing would change"
                                           : "would change " + Join(preview.changes, ", ");
        } else {
            if (outcome.ok()) outcome = session.Apply(requests);
            if (outcome.ok()) outcome = Verify(session, requests);
        }
        if (facts.serial.empty()) ++serialsNotRead;
        outcome = WithSerial(!facts.serial.empty(), std::move(outcome), o.dryRun);
        if (!outcome.ok()) ++failed;
        session.ClearProgress();
        std::fprintf(o.out, "%s\n", ResultLine(facts, outcome, done).c_str());
        session.UnitDone();
        // A unit set up without its line in the record is not followed by another.
        if (std::fflush(o.out) != 0 || std::ferror(o.out)) break;
        if (StopRequested()) break;
        if (session.Conversation().Connected()) {
            std::fprintf(o.err, "%s: unplug the unit\n", o.program);
            std::fflush(o.err);
            bench.UnplugUnit();
            if (!session.WaitUnplugged().ok()) break;
        }
    }
    session.ClearProgress();
    std::fprintf(o.out, "%d unit(s): %d OK, %d failed", units, units - failed, failed);
    if (serialsNotRead > 0) std::fprintf(o.out, " (%d without a serial number)", serialsNotRead);
    if (o.dryRun) std::fprintf(o.out, "; %s", kNothingWritten);
    std::fputc('\n', o.out);
    if (units == 0) return Code(TExit::NoUnit);
    return failed > 0 ? Code(TExit::Failed) : Code(TExit::Done);
}

} // namespace cli

namespace cli {

int RunRestore(TBench& bench, const std::string& from, const TCommandOptions& o) {
    // A file named is checked before anything starts, as set --from checks it.
    std::optional<TRestoreFile> file;
    if (!from.empty()) {
        file = LoadRestoreFile(from);
        if (!file->settings) return Report(o, {TExit::Usage, file->settings.error});
    }
    TSession session(bench, Writing(o, "restore"));
    TOutcome outcome = ConnectFor(session, o);
    if (!outcome.ok()) return Report(o, outcome);
    const core::TConversation& c = session.Conversation();
    std::string path = from;
    if (!file) {
        const std::vector<store::TBackupFile> backups = BackupsOf(c, outcome);
        if (backups.empty()) return Report(o, outcome);
        path = backups.front().path;
        std::fprintf(o.err, "%s: restoring %s\n", o.program, path.c_str());
        file = LoadRestoreFile(path);
        if (!file->settings) return Report(o, {TExit::Usage, file->settings.error});
    }
    std::vector<TRequest> requests = std::move(file->settings.requests);
    std::optional<params::TUnitValues> values;
    if (const std::optional<store::TBackup>& backup = file->backup) {
        // Serial numbers as "show --json" prints them; empty: not read.
        const std::string of = backup->serial.value_or(""), unit = Facts(c).serial;
        const auto named = [](const std::string& s) { return s.empty() ? kSerialNotRead : s; };
        if (of != unit && !o.anyUnit)
            return Report(o, {TExit::Usage, path + " is a backup of the unit " + named(of) +
                                                ", not of this one (" + named(unit) +
                                                "); nothing written (--any-unit restores it)"});
        // Untrusted text until each value has the shape its key takes on the unit.
        store::TRestoreRaw raw = store::RestoreRawFor(backup->identity, backup->raw, c.Identity());
        if (!raw) return Report(o, {TExit::Usage, path + ": " + raw.error + "; nothing written"});
        values = std::move(raw.values);
        store::TUnitSplit split = store::SplitForUnit(requests, c.Identity());
        for (const store::TSkipped& skipped : split.skipped)
            std::fprintf(o.err, "%s: skipped: %s=%s (%s)\n", o.program,
                         std::string(Info(skipped.request.setting).name).c_str(),
                         skipped.request.value.c_str(), skipped.reason.c_str());
        if (split.taken.empty() && !split.skipped.empty())
            return Report(o,
                          {TExit::Usage, "none of the settings in " + path + " is on this unit (" +
                                             UnitName(c.Identity()) + "); nothing written"});
        requests = std::move(split.taken);
    }
    // The backup's values decide what is written; its items are chosen so that the dry run
    // names them.
    if (values) return ApplyOrPreview(session, requests, o, &*values);
    // Only what differs is chosen: a setting the unit already holds is written back with its
    // own value. Chosen again, a value the vocabulary calls by another model's name (a DW720
    // MIV's channel S on firmware that does not ask the model) would be written as that
    // name's code.
    const std::vector<TSetting> differ = store::Differences(requests, c);
    std::erase_if(requests, [&](const TRequest& r) {
        return std::find(differ.begin(), differ.end(), r.setting) == differ.end();
    });
    return ApplyOrPreview(session, requests, o);
}

int RunRestoreList(TBench& bench, const TCommandOptions& o) {
    TSession session(bench, o.session);
    TOutcome outcome = ConnectFor(session, o);
    if (!outcome.ok()) return Report(o, outcome);
    const core::TConversation& c = session.Conversation();
    const std::vector<store::TBackupFile> backups = BackupsOf(c, outcome);
    if (backups.empty()) return Report(o, outcome);
    for (const store::TBackupFile& file : backups) {
        const store::TBackup backup = store::ReadBackup(file.path);
        std::string what;
        if (!backup) {
            what = "unreadable: " + backup.error;
        } else if (const store::TRestoreRaw raw =
                       store::RestoreRawFor(backup.identity, backup.raw, c.Identity());
                   !raw) {
            what = "unreadable: " + raw.error;
        } else if (raw.values) {
            const auto changes = store::RestoreChanges(*raw.values, backup.requests, c);
            what = changes.empty() ? "as the unit is now" : "differs in " + Join(changes, ", ");
        } else {
            const auto differ =
                store::Differences(store::SplitForUnit(backup.requests, c.Identity()).taken, c);
            what = differ.empty() ? "as the unit is now" : "differs in " + SettingNames(differ);
        }
        std::fprintf(o.out, "%s\t%s\t%s\n", file.local.c_str(), FileName(file.path).c_str(),
                     what.c_str());
    }
    return Code(TExit::Done);
}

int RunRecord(bool csv, const std::optional<std::string>& serial, const TCommandOptions& o) {
    const std::string path = store::RecordPath();
    const store::TRecord record = store::ReadRecord(path);
    if (!record.error.empty()) return Report(o, {TExit::Failed, record.error});
    if (record.skipped > 0)
        std::fprintf(o.err, "%s: %d damaged line(s) skipped in %s\n", o.program, record.skipped,
                     path.c_str());
    const std::vector<store::TRecordEntry> entries =
        serial ? store::OfSerial(record.entries, *serial) : record.entries;
    if (csv) {
        const std::string text = store::RecordCsv(entries);
        std::fwrite(text.data(), 1, text.size(), o.out);
        return Code(TExit::Done);
    }
    for (const store::TRecordEntry& e : entries) {
        std::vector<std::string> written;
        for (const auto& [name, value] : e.written)
            written.push_back(name + "=" + value);
        std::string result = e.result;
        if (e.command)
            result += " (" + Quoted(*e.command) + " answered " + Quoted(e.reply.value_or("")) + ")";
        std::fprintf(o.out, "%s\t%s\t%s\t%s\t%s\t%s\twritten: %s\tbackup: %s%s%s\n",
                     e.local.c_str(), e.serial.value_or(kSerialNotRead).c_str(), e.model.c_str(),
                     e.firmware.c_str(), e.run.c_str(), result.c_str(),
                     written.empty() ? "none" : Join(written, ", ").c_str(),
                     e.backup.value_or("none").c_str(), e.simulated ? "\tsimulated" : "",
                     e.port ? ("\tport: " + *e.port).c_str() : "");
    }
    return Code(TExit::Done);
}

} // namespace cli
