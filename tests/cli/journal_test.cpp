// Backups, restore and the service record on the command line: a backup before the first
// write of every kind of run, nothing written without one, restore back to what the unit
// held, and one record line per run with how it ended.
#include "CliCases.h"
#include "store/Backups.h"
#include "store/ServiceRecord.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <functional>
#include <memory>

using namespace cli_cases;
using cli::TSetting;

namespace {

std::vector<store::TRecordEntry> Recorded(const std::string& path = store::RecordPath()) {
    return store::ReadRecord(path).entries;
}

std::vector<store::TBackupFile> BackupsOf(const std::string& serial) {
    return store::ListBackups(store::BackupFolder(), serial);
}

std::string Write(const TDataHome& home, const std::string& name, const std::string& text) {
    const std::string path = home.Path(name);
    QFile file(QString::fromStdString(path));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qsizetype>(text.size()));
    return path;
}

std::vector<std::pair<TSetting, std::string>> Values(const std::vector<cli::TRequest>& requests) {
    std::vector<std::pair<TSetting, std::string>> values;
    for (const cli::TRequest& r : requests)
        values.emplace_back(r.setting, r.value);
    return values;
}

// The settings of a fresh unit of the preset, as show --json prints them.
std::vector<std::pair<TSetting, std::string>> ShownValues(const std::string& preset) {
    TPrinted p;
    cli::TSimBench bench(Preset(preset), 1);
    EXPECT_EQ(cli::RunShow(bench, true, p.Options()), 0);
    return Values(cli::ParseSettingsText(p.out.Text(), "shown").requests);
}

// The profile of a unit that has had the requests applied, as it then keeps them.
sim::Profile Changed(sim::Profile profile, const std::vector<cli::TRequest>& requests) {
    const TDataHome elsewhere;
    TPrinted p;
    cli::TSimBench bench(profile, 1);
    EXPECT_EQ(cli::RunSet(bench, requests, p.Options()), 0) << p.err.Text();
    profile.stored = StoredOf(bench);
    return profile;
}

// ---- a backup before the first write of every run ---------------------------------------------

struct TWriting {
    const char* command;
    const char* run; // as the record names it
    int units;
    std::function<int(cli::TSimBench&, const cli::TCommandOptions&, const TDataHome&)> go;
};

void PrintTo(const TWriting& t, std::ostream* out) {
    *out << t.command;
}

class BackupFirst : public ::testing::TestWithParam<TWriting> {};

TEST_P(BackupFirst, PrecedesTheFirstWriteAndTheRecordNamesIt) {
    const TWriting& t = GetParam();
    const TDataHome home;
    TPrinted p;
    TCapture log;
    cli::TCommandOptions options = p.Options(5000);
    options.session.log = log.File();
    cli::TSimBench bench(Preset("DW720 MIV/201036"), t.units);
    ASSERT_EQ(t.go(bench, options, home), 0) << p.err.Text();

    const std::vector<store::TRecordEntry> record = Recorded();
    ASSERT_EQ(record.size(), static_cast<std::size_t>(t.units));
    // Nothing goes to the unit but after a backup, within the run it belongs to.
    bool backedUp = false;
    int backups = 0;
    for (const std::string& line : log.Lines()) {
        if (line.find(",  Backup saved: ") != std::string::npos) backedUp = ++backups > 0;
        if (line.find(",  Service record: ") != std::string::npos) backedUp = false;
        if (line.find(",>>SPAR") != std::string::npos || line.find(",>>CLEAR") != std::string::npos) {
            EXPECT_TRUE(backedUp) << line;
        }
    }
    EXPECT_EQ(backups, t.units);
    for (int n = 1; n <= t.units; ++n) {
        const std::string serial = cli::NthSerial("SV0000000001", n);
        const auto files = BackupsOf(serial);
        ASSERT_EQ(files.size(), 1u) << serial;
        const std::string& path = files.front().path;
        const std::vector<std::string> said = p.err.Lines();
        EXPECT_NE(std::find(said.begin(), said.end(), "sonavelle-cli: backup saved: " + path),
                  said.end())
            << p.err.Text();
        // What the unit held before the run.
        const store::TBackup backup = store::ReadBackup(path);
        ASSERT_TRUE(backup) << backup.error;
        EXPECT_EQ(Values(backup.requests), ShownValues("DW720 MIV/201036"));
        const store::TRecordEntry& entry = record[static_cast<std::size_t>(n - 1)];
        EXPECT_EQ(entry.serial, serial);
        EXPECT_EQ(entry.run, t.run);
        EXPECT_EQ(entry.result, "saved");
        EXPECT_EQ(entry.backup, QFileInfo(QString::fromStdString(path)).fileName().toStdString());
    }
}

const auto kVolume2 = [] { return Requests({{TSetting::Volume, "2"}}); };

INSTANTIATE_TEST_SUITE_P(
    Runs, BackupFirst,
    ::testing::Values(
        TWriting{"set", "apply", 1,
                 [](cli::TSimBench& b, const cli::TCommandOptions& o, const TDataHome&) {
                     return cli::RunSet(b, kVolume2(), o);
                 }},
        TWriting{"default", "default", 1,
                 [](cli::TSimBench& b, const cli::TCommandOptions& o, const TDataHome&) {
                     return cli::RunDefault(b, o);
                 }},
        TWriting{"batch", "apply", 2,
                 [](cli::TSimBench& b, const cli::TCommandOptions& o, const TDataHome&) {
                     return cli::RunBatch(b, kVolume2(), 0, o);
                 }},
        TWriting{"restore", "restore", 1,
                 [](cli::TSimBench& b, const cli::TCommandOptions& o, const TDataHome& home) {
                     return cli::RunRestore(b, Write(home, "v.txt", "volume = 2\n"), o);
                 }}));

// ---- without a backup nothing is written, and a dry run keeps nothing -----------------------

TEST(NoBackup, WritesNothingAndSaysWhyUnlessAskedToWriteWithoutOne) {
    for (const bool noBackup : {false, true}) {
        const TDataHome home;
        // A file where the backups' folder goes: no backup can be made, whoever runs the test.
        ASSERT_TRUE(QDir().mkpath(QFileInfo(QString::fromStdString(store::BackupFolder())).path()));
        ASSERT_TRUE(QFile(QString::fromStdString(store::BackupFolder())).open(QIODevice::WriteOnly));
        TPrinted p;
        cli::TCommandOptions o = p.Options();
        o.backups = !noBackup;
        cli::TSimBench bench(Preset("DW730 TONAL/201036"), 1);
        EXPECT_EQ(cli::RunSet(bench, Requests({{TSetting::Volume, "2"}}), o), noBackup ? 0 : 1);
        const std::vector<store::TRecordEntry> record = Recorded();
        if (!noBackup) {
            EXPECT_EQ(WritesTo(bench), 0u);
            EXPECT_TRUE(record.empty());
            EXPECT_EQ(p.err.Lines().back(),
                      "sonavelle-cli: the settings of this unit could not be backed up: folder not "
                      "writable: " +
                          store::BackupFolder() +
                          "; nothing was written (--no-backup writes without one)");
            continue;
        }
        EXPECT_GT(WritesTo(bench), 0u);
        ASSERT_EQ(record.size(), 1u);
        EXPECT_EQ(record[0].result, "saved");
        EXPECT_EQ(record[0].backup, std::nullopt);
    }
}

TEST(DryRun, KeepsNeitherABackupNorARecord) {
    const TDataHome home;
    TPrinted p;
    cli::TCommandOptions o = p.Options();
    o.dryRun = true;
    cli::TSimBench set(Preset("DW730 TONAL/201036"), 1), restore(Preset("DW730 TONAL/201036"), 1);
    EXPECT_EQ(cli::RunSet(set, Requests({{TSetting::Volume, "2"}}), o), 0);
    EXPECT_EQ(cli::RunRestore(restore, Write(home, "v.txt", "volume = 2\n"), o), 0);
    EXPECT_EQ(QDir(QString::fromStdString(home.Path())).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{QStringLiteral("v.txt")});
}

// ---- restore ---------------------------------------------------------------------------------

std::vector<std::string> AdjustablePresets() {
    std::vector<std::string> names;
    for (const std::string& name : PresetsShowingSettings()) {
        const sim::Profile p = Preset(name);
        if (params::Adjustable(params::TIdentity::FromVersion(p.firmware, p.model)))
            names.push_back(name);
    }
    return names;
}

// Another value for every setting the unit shows.
std::vector<cli::TRequest> AllChanged(const std::string& preset) {
    const sim::Profile p = Preset(preset);
    const auto identity = params::TIdentity::FromVersion(p.firmware, p.model);
    std::vector<std::pair<TSetting, std::string>> changed;
    for (const auto& [setting, value] : ShownValues(preset)) {
        // Before 201020 the model is not asked, and a channel the vocabulary calls by
        // another model's name ("B" for a DW720 MIV's S) is written back as that name's code:
        // only its own value goes back as it was.
        if (setting == TSetting::Channel && p.firmware < "201020") continue;
        for (const std::string& other : params::SettingValues(setting, identity))
            if (other != value) {
                changed.emplace_back(setting, other);
                break;
            }
    }
    return Requests(changed);
}

class RestoreRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(RestoreRoundTrip, BringsBackWhatTheUnitHeldBeforeASet) {
    const sim::Profile before = Preset(GetParam());
    const TDataHome home;
    TPrinted set, restore;
    cli::TSimBench first(before, 1);
    ASSERT_EQ(cli::RunSet(first, AllChanged(GetParam()), set.Options()), 0) << set.err.Text();
    sim::Profile after = before;
    after.stored = StoredOf(first);
    ASSERT_NE(after.stored, before.stored);
    cli::TSimBench second(after, 1);
    ASSERT_EQ(cli::RunRestore(second, "", restore.Options()), 0) << restore.err.Text();
    EXPECT_EQ(StoredOf(second), before.stored);
    const std::vector<store::TRecordEntry> record = Recorded();
    ASSERT_EQ(record.size(), 2u);
    EXPECT_EQ(record[1].run, "restore");
}

INSTANTIATE_TEST_SUITE_P(Presets, RestoreRoundTrip, ::testing::ValuesIn(AdjustablePresets()),
                         PresetTestName);

// A backup of SV0000000001 (a DW720 MIV/201036 with volume 4, channel S) restored onto
// another unit whose volume is 1.
struct TForeign {
    const char* onto;
    const char* serial;
    bool anyUnit;
    int exit;
    std::vector<std::string> said; // after "waiting for the unit"
};

void PrintTo(const TForeign& t, std::ostream* out) {
    *out << t.onto << " " << t.serial << (t.anyUnit ? " --any-unit" : "");
}

class RestoreForeign : public ::testing::TestWithParam<TForeign> {};

TEST_P(RestoreForeign, TakesWhatThisUnitHasAndRefusesAnotherSerialNumber) {
    const TForeign& t = GetParam();
    const TDataHome home;
    TPrinted made, p;
    {
        cli::TSimBench source(Preset("DW720 MIV/201036"), 1);
        ASSERT_EQ(cli::RunSet(source, Requests({{TSetting::Volume, "1"}}), made.Options()), 0);
    }
    const std::string backup = BackupsOf("SV0000000001").at(0).path;
    sim::Profile target = Preset(t.onto);
    target.serial = t.serial;
    cli::TSimBench bench(Changed(target, Requests({{TSetting::Volume, "1"}})), 1);
    cli::TCommandOptions o = p.Options();
    o.anyUnit = t.anyUnit;
    o.backups = false;
    EXPECT_EQ(cli::RunRestore(bench, backup, o), t.exit);
    std::vector<std::string> said = p.err.Lines();
    said.erase(said.begin());
    for (std::string& line : said)
        if (const auto at = line.find(backup); at != std::string::npos) line.replace(at, backup.size(), "BACKUP");
    EXPECT_EQ(said, t.said);
    EXPECT_EQ(WritesTo(bench) > 0, t.exit == 0);
    EXPECT_EQ(p.out.Text(),
              t.exit == 0
                  ? t.serial + std::string(": 1 setting(s) changed (volume); written and saved\n")
                  : "");
}

INSTANTIATE_TEST_SUITE_P(
    Units, RestoreForeign,
    ::testing::Values(
        TForeign{"DW730 TONAL/201036",
                 "SV0000000001",
                 false,
                 0,
                 {"sonavelle-cli: skipped: auto-switching=off (this unit (DW730 TONAL 201036) has "
                  "no auto-switching)",
                  "sonavelle-cli: skipped: channel=S (this unit (DW730 TONAL 201036) has no "
                  "channel)",
                  "sonavelle-cli: skipped: recorder=all (this unit (DW730 TONAL 201036) has no "
                  "recorder)"}},
        TForeign{"DW720 MIV/201036",
                 "SV0000000002",
                 false,
                 2,
                 {"sonavelle-cli: BACKUP is a backup of the unit SV0000000001, not of this one "
                  "(SV0000000002); nothing written (--any-unit restores it)"}},
        TForeign{"DW720 MIV/201036", "SV0000000002", true, 0, {}}));

TEST(RestoreList, NamesEachBackupNewestFirstWithWhatItWouldChangeAndWritesNothing) {
    const TDataHome home;
    const sim::Profile original = Preset("DW730 TONAL/201036");
    TPrinted first, second, list;
    cli::TSimBench a(original, 1);
    ASSERT_EQ(cli::RunSet(a, Requests({{TSetting::Volume, "1"}}), first.Options()), 0);
    sim::Profile volume1 = original;
    volume1.stored = StoredOf(a);
    cli::TSimBench b(volume1, 1), c(volume1, 1);
    ASSERT_EQ(cli::RunSet(b, Requests({{TSetting::Volume, "2"}}), second.Options()), 0);
    EXPECT_EQ(cli::RunRestoreList(c, list.Options()), 0);
    EXPECT_EQ(list.out.Lines(),
              (std::vector<std::string>{
                  "2026-03-02T09:30:01\tSV0000000001_20260302-093001-2.json\tas the unit is now",
                  "2026-03-02T09:30:01\tSV0000000001_20260302-093001.json\tdiffers in volume"}));
    EXPECT_EQ(WritesTo(c), 0u);
}

// What restore refuses before it writes anything: a file that is not settings of this tool,
// or no backup of the unit at all.
struct TRefusedSource {
    const char* name;
    std::string text;     // the file's; empty: no --from (the newest backup, and there is none)
    const char* message;  // after "sonavelle-cli: PATH"
};

void PrintTo(const TRefusedSource& t, std::ostream* out) {
    *out << t.name;
}

class RestoreRefuses : public ::testing::TestWithParam<TRefusedSource> {};

TEST_P(RestoreRefuses, InOneLineWritingNothing) {
    const TRefusedSource& t = GetParam();
    const TDataHome home;
    TPrinted p;
    const std::string path = t.text.empty() ? "" : Write(home, "file", t.text);
    cli::TSimBench bench(Preset("DW730 TONAL/201036"), 1);
    EXPECT_EQ(cli::RunRestore(bench, path, p.Options()), 2);
    const std::string expected =
        "sonavelle-cli: " + (path.empty() ? std::string() : path) + t.message;
    EXPECT_TRUE(p.err.Lines().back().starts_with(expected))
        << p.err.Lines().back() << "\n" << expected;
    EXPECT_EQ(WritesTo(bench), 0u);
    EXPECT_TRUE(Recorded().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sources, RestoreRefuses,
    ::testing::Values(
        TRefusedSource{"another_product",
                       R"({"settings": {"volume": "2"}, "backup": {"product": "Other tool"}})",
                       ": not a backup of the Sonavelle customize tool"},
        TRefusedSource{"damaged_backup",
                       R"({"settings": {"volume": "2"}, "backup": {"product": "Sonavelle customize tool"}})",
                       ": a damaged backup"},
        TRefusedSource{"cut_short", R"({"unit": {"model": "DW730 TONAL", "serial": "SV0)",
                       ":1: not valid JSON"},
        TRefusedSource{"binary", std::string("\x7f" "ELF\x02\x01\x00\x00", 8), ":1: not a text file"},
        TRefusedSource{"too_large", std::string(2 << 20, 'x'), ": too large for a settings file"},
        TRefusedSource{"unknown_setting", "chanel = A\n", ":1: unknown setting 'chanel'"},
        TRefusedSource{"no_backup", "", "no backup of this unit (SV0000000001_*.json) in "}));

// ---- the service record ----------------------------------------------------------------------

// A cable pulled once the unit has taken its first setting.
class TPulledBench final : public cli::TSimBench {
  public:
    using TSimBench::TSimBench;
    void Pass() override {
        TSimBench::Pass();
        if (UnitIn() && Unit().Inspect([](sim::Transceiver& u) {
                const auto& all = u.Received();
                return std::any_of(all.begin(), all.end(),
                                   [](const std::string& c) { return c.starts_with("SPAR"); });
            }))
            UnplugUnit();
    }
};

struct TEnded {
    const char* name;
    void (*fault)(sim::Profile&);
    bool pulled;
    int exit;
    const char* result;
};

void PrintTo(const TEnded& t, std::ostream* out) {
    *out << t.name;
}

class RecordResult : public ::testing::TestWithParam<TEnded> {};

TEST_P(RecordResult, IsOneLinePerRunSayingHowItEnded) {
    const TEnded& t = GetParam();
    const TDataHome home;
    sim::Profile profile = Preset("DW720 KEL/201036");
    if (t.fault) t.fault(profile);
    TPrinted p;
    std::unique_ptr<cli::TSimBench> bench = t.pulled ? std::make_unique<TPulledBench>(profile, 1)
                                                     : std::make_unique<cli::TSimBench>(profile, 1);
    EXPECT_EQ(cli::RunSet(*bench, Requests({{TSetting::Volume, "1"}}), p.Options(2000)), t.exit)
        << p.err.Text();
    const std::vector<store::TRecordEntry> record = Recorded();
    ASSERT_EQ(record.size(), 1u);
    EXPECT_EQ(record[0].result, t.result);
    EXPECT_TRUE(record[0].backup.has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Ends, RecordResult,
    ::testing::Values(
        TEnded{"refused", [](sim::Profile& p) { p.faults.ng = {"SPAR RecordSw"}; }, false, 1,
               "refused"},
        TEnded{"unconfirmed_save", [](sim::Profile& p) { p.faults.silent = {"SAVE"}; }, false, 1,
               "save not confirmed"},
        // Gone as a command is written to it: the write fails first.
        TEnded{"vanished", [](sim::Profile& p) { p.faults.vanishAfter = 9; }, false, 3,
               "write failed"},
        TEnded{"pulled", nullptr, true, 3, "went away"}));

TEST(Record, PrintsTheRunsOfAUnitAsLinesOrASpreadsheetAndBatchRecordGetsTheSame) {
    const TDataHome home;
    const std::string extra = home.Path("bench.jsonl");
    TPrinted batch, lines, csv;
    cli::TCommandOptions o = batch.Options(5000);
    o.records = {extra};
    cli::TSimBench bench(Preset("DW730 TONAL/201036"), 2);
    ASSERT_EQ(cli::RunBatch(bench, Requests({{TSetting::Volume, "2"}}), 0, o), 0);
    const std::vector<store::TRecordEntry> entries = Recorded();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(Recorded(extra), entries);
    // A line torn by a crash is skipped, and said once.
    QFile record(QString::fromStdString(store::RecordPath()));
    ASSERT_TRUE(record.open(QIODevice::Append));
    record.write(R"({"utc": "2026-03-)");
    record.close();

    EXPECT_EQ(cli::RunRecord(false, "SV0000000002", lines.Options()), 0);
    EXPECT_EQ(lines.out.Lines(),
              std::vector<std::string>{
                  "2026-03-02T09:30:03+00:00\tSV0000000002\tDW730 TONAL\t201036\tapply\tsaved\t"
                  "written: air-check=20/10, dive-computer=beep, hands-free=2, voice-guide=low, "
                  "volume=2\tbackup: SV0000000002_20260302-093003.json"});
    EXPECT_EQ(lines.err.Lines(), std::vector<std::string>{"sonavelle-cli: 1 damaged line(s) skipped in " + store::RecordPath()});
    EXPECT_EQ(cli::RunRecord(true, std::nullopt, csv.Options()), 0);
    EXPECT_EQ(csv.out.Text(), store::RecordCsv(entries));
}

} // namespace
