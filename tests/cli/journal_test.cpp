// Backups, restore and the service record on the command line: a backup before the first
// write of every kind of run, nothing written without one, restore back to what the unit
// held, and one record line per run with how it ended.
#include "CliCases.h"
#include "store/Backups.h"
#include "store/ServiceRecord.h"

#include "support/FileSizeLimit.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>
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

// The settings of a unit, as show --json prints them.
std::vector<std::pair<TSetting, std::string>> ShownValues(const sim::Profile& profile) {
    TPrinted p;
    cli::TSimBench bench(profile, 1);
    EXPECT_EQ(cli::RunShow(bench, true, p.Options()), 0);
    return Values(cli::ParseSettingsText(p.out.Text(), "shown").requests);
}
std::vector<std::pair<TSetting, std::string>> ShownValues(const std::string& preset) {
    return ShownValues(Preset(preset));
}

store::TNamedValues Named(const std::vector<std::pair<TSetting, std::string>>& values) {
    store::TNamedValues named;
    for (const auto& [setting, value] : values)
        named[std::string(params::Info(setting).name)] = value;
    return named;
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
        if (line.find(",>>SPAR") != std::string::npos ||
            line.find(",>>CLEAR") != std::string::npos) {
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

const TWriting kWritingRuns[] = {
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
             }}};

INSTANTIATE_TEST_SUITE_P(Runs, BackupFirst, ::testing::ValuesIn(kWritingRuns));

// The unit keeps what was written, but a run whose line the record did not keep fails.
class RecordLost : public ::testing::TestWithParam<TWriting> {};

TEST_P(RecordLost, FailsTheRunThatWroteTheUnit) {
    const TWriting& t = GetParam();
    const TDataHome home;
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(store::RecordPath()))); // in the way
    TPrinted p;
    cli::TSimBench bench(Preset("DW720 MIV/201036"), t.units);
    EXPECT_EQ(t.go(bench, p.Options(5000), home), 1) << p.err.Text();
    EXPECT_GT(WritesTo(bench), 0u);
    const std::string said = p.err.Text() + p.out.Text();
    EXPECT_NE(said.find("Service record not written: cannot open " + store::RecordPath()),
              std::string::npos)
        << said;
    EXPECT_NE(said.find(", but not kept in the service record"), std::string::npos) << said;
    if (t.units > 1) {
        EXPECT_NE(said.find("0 OK, " + std::to_string(t.units) + " failed"), std::string::npos)
            << said;
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, RecordLost, ::testing::ValuesIn(kWritingRuns));

// ---- what the record says was chosen and written ---------------------------------------------

// Every value of every setting the preset's unit shows, set on its own: the record names the
// choice, and says written what the unit then holds.
class RecordedValues : public ::testing::TestWithParam<std::string> {};

TEST_P(RecordedValues, AreWhatWasChosenAndWhatTheUnitThenHolds) {
    const sim::Profile profile = Preset(GetParam());
    const auto identity = params::TIdentity::FromVersion(profile.firmware, profile.model);
    const std::vector<std::pair<TSetting, std::string>> shown = ShownValues(profile);
    for (const auto& [setting, held] : shown)
        for (const std::string& value : params::SettingValues(setting, identity)) {
            if (value == held) continue;
            const std::string name(params::Info(setting).name);
            SCOPED_TRACE(name + "=" + value);
            const TDataHome home;
            TPrinted p;
            cli::TSimBench bench(profile, 1);
            ASSERT_EQ(cli::RunSet(bench, Requests({{setting, value}}), p.Options()), 0)
                << p.err.Text();
            sim::Profile after = profile;
            after.stored = StoredOf(bench);
            const store::TNamedValues holds = Named(ShownValues(after));
            ASSERT_EQ(holds.at(name), value);
            const std::vector<store::TRecordEntry> record = Recorded();
            ASSERT_EQ(record.size(), 1u);
            EXPECT_EQ(record[0].before, Named(shown));
            EXPECT_EQ(record[0].chosen, (store::TNamedValues{{name, value}}));
            EXPECT_EQ(record[0].written, holds);
        }
}

INSTANTIATE_TEST_SUITE_P(Presets, RecordedValues,
                         ::testing::Values("DW720 MIV/201036", "DW730 VELMORAS_SPECIAL/201036",
                                           "DW720 KEL/201016"),
                         PresetTestName);

// ---- without a backup nothing is written, and a dry run keeps nothing -----------------------

TEST(NoBackup, WritesNothingAndSaysWhyUnlessAskedToWriteWithoutOne) {
    for (const bool noBackup : {false, true}) {
        const TDataHome home;
        // A file where the backups' folder goes: no backup can be made, whoever runs the test.
        ASSERT_TRUE(QDir().mkpath(QFileInfo(QString::fromStdString(store::BackupFolder())).path()));
        ASSERT_TRUE(
            QFile(QString::fromStdString(store::BackupFolder())).open(QIODevice::WriteOnly));
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
    EXPECT_EQ(QDir(QString::fromStdString(home.Path()))
                  .entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
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
        if (const auto at = line.find(backup); at != std::string::npos)
            line.replace(at, backup.size(), "BACKUP");
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
    EXPECT_EQ(
        list.out.Lines(),
        (std::vector<std::string>{
            "2026-03-02T09:30:01\tSV0000000001_000002_20260302-093001.json\tas the unit is now",
            "2026-03-02T09:30:01\tSV0000000001_000001_20260302-093001.json\t"
            "differs in volume: 1 -> 4 (PhoneOutVol -12 -> -3)"}));
    EXPECT_EQ(WritesTo(c), 0u);
}

// What restore refuses before it writes anything: a file that is not settings of this tool,
// or no backup of the unit at all.
struct TRefusedSource {
    const char* name;
    std::optional<std::string> text; // the file's; none: no --from (the newest backup)
    const char* message;             // after "sonavelle-cli: PATH"
};

void PrintTo(const TRefusedSource& t, std::ostream* out) {
    *out << t.name;
}

class RestoreRefuses : public ::testing::TestWithParam<TRefusedSource> {};

TEST_P(RestoreRefuses, InOneLineWritingNothing) {
    const TRefusedSource& t = GetParam();
    const TDataHome home;
    TPrinted p;
    const std::string path = t.text ? Write(home, "file", *t.text) : "";
    cli::TSimBench bench(Preset("DW730 TONAL/201036"), 1);
    EXPECT_EQ(cli::RunRestore(bench, path, p.Options()), 2);
    const std::string expected =
        "sonavelle-cli: " + (path.empty() ? std::string() : path) + t.message;
    EXPECT_TRUE(p.err.Lines().back().starts_with(expected)) << p.err.Lines().back() << "\n"
                                                            << expected;
    EXPECT_EQ(WritesTo(bench), 0u);
    EXPECT_TRUE(Recorded().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sources, RestoreRefuses,
    ::testing::Values(
        TRefusedSource{"another_product",
                       R"({"settings": {"volume": "2"}, "backup": {"product": "Other tool"}})",
                       ": not a backup of the Sonavelle customize tool"},
        TRefusedSource{
            "damaged_backup",
            R"({"settings": {"volume": "2"}, "backup": {"product": "Sonavelle customize tool"}})",
            ": a damaged backup"},
        TRefusedSource{"cut_short", R"({"unit": {"model": "DW730 TONAL", "serial": "SV0)",
                       ":1: not valid JSON"},
        TRefusedSource{"binary",
                       std::string("\x7f"
                                   "ELF\x02\x01\x00\x00",
                                   8),
                       ":1: not a text file"},
        TRefusedSource{"too_large", std::string(2 << 20, 'x'), ": too large for a settings file"},
        TRefusedSource{"unknown_setting", "chanel = A\n", ":1: unknown setting 'chanel'"},
        TRefusedSource{"empty", "", ": holds no settings; nothing written"},
        TRefusedSource{"comments_only", "# bench 3\n\n", ": holds no settings; nothing written"},
        TRefusedSource{"backup_without_settings",
                       R"({"unit": {"model": "DW730 TONAL", "firmware": "201036", "serial": null},
                           "settings": {}, "raw": {},
                           "backup": {"product": "Sonavelle customize tool", "utc": "", "local": ""}})",
                       ": a backup that holds no settings"},
        TRefusedSource{"no_backup", std::nullopt,
                       "no backup of this unit (SV0000000001_*.json) in "}));

// ---- which backup restore takes ---------------------------------------------------------------

sim::Profile Kept(const sim::Profile& profile, cli::TSimBench& bench) {
    sim::Profile after = profile;
    after.stored = StoredOf(bench);
    return after;
}

// The unit after "set volume=V --keep-backups K" here (backed up in the test's data folder).
sim::Profile SetHere(const sim::Profile& profile, const char* volume,
                     int keep = store::kKeepBackups) {
    TPrinted p;
    cli::TCommandOptions o = p.Options();
    o.keepBackups = keep;
    cli::TSimBench bench(profile, 1);
    EXPECT_EQ(cli::RunSet(bench, Requests({{TSetting::Volume, volume}}), o), 0) << p.err.Text();
    return Kept(profile, bench);
}

TEST(RestoreNewest, IsTheLastBackupWrittenWhenPruningFreedOlderNamesOnAClockThatStoodStill) {
    const TDataHome home;
    // Every bench starts its virtual clock at the same second: four runs in one second.
    sim::Profile unit = Preset("DW730 TONAL/201036");
    for (const char* volume : {"1", "2", "3", "4"})
        unit = SetHere(unit, volume, 2);
    // The fourth run's backup holds the volume the third one set.
    TPrinted p;
    cli::TSimBench bench(unit, 1);
    ASSERT_EQ(cli::RunRestore(bench, "", p.Options()), 0) << p.err.Text();
    const auto files = BackupsOf("SV0000000001");
    ASSERT_EQ(files.size(), 3u); // the two kept, and the restore's own
    EXPECT_EQ(p.err.Lines().at(1), "sonavelle-cli: restoring " + files.at(1).path);
    EXPECT_EQ(p.out.Text(), "SV0000000001: 1 setting(s) changed (volume); written and saved\n");
    const auto shown = ShownValues(Kept(unit, bench));
    EXPECT_NE(
        std::find(shown.begin(), shown.end(), std::make_pair(TSetting::Volume, std::string("3"))),
        shown.end());
}

TEST(RestoreNewest, PassesOverFilesThatAreNoWholeBackupOfTheUnit) {
    const TDataHome home;
    const sim::Profile original = Preset("DW730 TONAL/201036");
    const sim::Profile volume1 = SetHere(original, "1");
    const std::string good = BackupsOf("SV0000000001").at(0).path;
    // A run killed as it began (before backups were written whole), and one cut short.
    const std::string folder = "Sonavelle/Customize/backups/SV0000000001/";
    Write(home, folder + "SV0000000001_000002_20260302-093002.json", "");
    Write(home, folder + "SV0000000001_000003_20260302-093003.json", R"({"unit": {"model": "DW7)");
    TPrinted list, restore;
    cli::TSimBench listed(volume1, 1), restored(volume1, 1);
    EXPECT_EQ(cli::RunRestoreList(listed, list.Options()), 0);
    ASSERT_EQ(list.out.Lines().size(), 1u) << list.out.Text();
    EXPECT_TRUE(list.out.Lines()[0].starts_with("2026-03-02T09:30:01\tSV0000000001_000001_"));
    ASSERT_EQ(cli::RunRestore(restored, "", restore.Options()), 0) << restore.err.Text();
    EXPECT_EQ(restore.err.Lines().at(1), "sonavelle-cli: restoring " + good);
    EXPECT_EQ(StoredOf(restored), original.stored);
}

TEST(RestoreNewest, DoesNotExistForAUnitWithoutASerialNumber) {
    const TDataHome home;
    sim::Profile unit = Preset("DW730 TONAL/201036");
    unit.faults.ng = {"GSER"};
    // Two such units, each set once keeping one backup: neither's backup is removed.
    for (const char* volume : {"1", "2"})
        SetHere(unit, volume, 1);
    EXPECT_EQ(BackupsOf("no-serial.DW730-TONAL-201036").size(), 2u);
    for (const bool list : {false, true}) {
        TPrinted p;
        cli::TSimBench bench(unit, 1);
        EXPECT_EQ(list ? cli::RunRestoreList(bench, p.Options())
                       : cli::RunRestore(bench, "", p.Options()),
                  2);
        EXPECT_EQ(p.err.Lines().back(),
                  "sonavelle-cli: the serial number of this unit was not read, so no backup can be "
                  "told to be its own; nothing written (restore --from FILE takes one)");
        EXPECT_EQ(WritesTo(bench), 0u);
        EXPECT_EQ(p.out.Text(), "");
    }
}

// ---- a restore file is read once --------------------------------------------------------------

#ifndef _WIN32
TEST(RestoreFrom, APipeIsReadOnceAndAnotherUnitsBackupInItIsRefused) {
    const TDataHome home;
    {
        TPrinted made;
        cli::TSimBench source(Preset("DW720 MIV/201036"), 1);
        ASSERT_EQ(cli::RunSet(source, Requests({{TSetting::Volume, "1"}}), made.Options()), 0);
    }
    QFile file(QString::fromStdString(BackupsOf("SV0000000001").at(0).path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    sim::Profile other = Preset("DW720 MIV/201036");
    other.serial = "SV0000000002";
    for (const bool anyUnit : {false, true}) {
        // As "cat BACKUP | sonavelle-cli restore --from /dev/stdin" gives it.
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        ASSERT_EQ(::write(ends[1], text.constData(), static_cast<std::size_t>(text.size())),
                  text.size());
        ::close(ends[1]);
        const std::string path = "/dev/fd/" + std::to_string(ends[0]);
        TPrinted p;
        cli::TCommandOptions o = p.Options();
        o.anyUnit = anyUnit;
        o.backups = false;
        cli::TSimBench bench(Changed(other, Requests({{TSetting::Volume, "2"}})), 1);
        EXPECT_EQ(cli::RunRestore(bench, path, o), anyUnit ? 0 : 2) << p.err.Text();
        ::close(ends[0]);
        if (anyUnit) {
            EXPECT_EQ(p.out.Text(),
                      "SV0000000002: 1 setting(s) changed (volume); written and saved\n");
            continue;
        }
        EXPECT_EQ(p.err.Lines().back(),
                  "sonavelle-cli: " + path +
                      " is a backup of the unit SV0000000001, not of this one (SV0000000002); "
                      "nothing written (--any-unit restores it)");
        EXPECT_EQ(WritesTo(bench), 0u);
    }
}

TEST(RestoreFrom, ANamedPipeNobodyWritesIsAWaitThatCtrlCEnds) {
    const TDataHome home;
    const std::string fifo = home.Path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    TPrinted p;
    cli::TSimBench bench(Preset("DW730 TONAL/201036"), 1);
    cli::RequestStop(); // pressed before the wait: the wait ends at its first look
    const int exit = cli::RunRestore(bench, fifo, p.Options());
    cli::ClearStopRequest();
    EXPECT_EQ(exit, 2);
    EXPECT_EQ(p.err.Lines(), std::vector<std::string>{"sonavelle-cli: " + fifo + ": interrupted"});
    EXPECT_EQ(WritesTo(bench), 0u);
}

// ---- a backup that cannot be written whole ----------------------------------------------------

TEST(BackupCutShort, WritesNothingToTheUnitFailsInOneLineAndKeepsTheLastGoodBackup) {
    const TDataHome home;
    const sim::Profile unit = SetHere(Preset("DW730 TONAL/201036"), "1");
    const auto before = BackupsOf("SV0000000001");
    ASSERT_EQ(before.size(), 1u);
    const std::string folder = home.Backups() + "/SV0000000001";
    EXPECT_TRUE(testing_support::WithFileSizeLimit(1024, [&] {
        TPrinted p;
        cli::TCommandOptions o = p.Options();
        o.keepBackups = 1;
        cli::TSimBench bench(unit, 1);
        const int exit = cli::RunSet(bench, Requests({{TSetting::Volume, "2"}}), o);
        const std::string expected = "sonavelle-cli: the settings of this unit could not be backed "
                                     "up: backup not written: " +
                                     folder + "/SV0000000001_000002_20260302-093001.json (" +
                                     std::strerror(EFBIG) +
                                     "); nothing was written (--no-backup writes without one)";
        const bool ok = exit == 1 && WritesTo(bench) == 0 && p.out.Text().empty() &&
                        p.err.Lines().back() == expected;
        if (!ok) std::fprintf(stderr, "exit %d\n%s", exit, p.err.Text().c_str());
        return ok;
    }));
    const auto after = BackupsOf("SV0000000001");
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].path, before[0].path);
    EXPECT_EQ(QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden).size(), 1);
}
#endif

// ---- a serial number the file system must not see as it is -------------------------------------

struct THostile {
    const char* name;
    std::string serial;
};

void PrintTo(const THostile& t, std::ostream* out) {
    *out << t.name;
}

class HostileSerial : public ::testing::TestWithParam<THostile> {};

TEST_P(HostileSerial, GetsItsBackupInsideItsOwnFolderAndRestoresFromIt) {
    const TDataHome home;
    sim::Profile unit = Preset("DW730 TONAL/201036");
    unit.serial = GetParam().serial;
    TPrinted set, restore;
    cli::TSimBench first(unit, 1);
    ASSERT_EQ(cli::RunSet(first, Requests({{TSetting::Volume, "1"}}), set.Options()), 0)
        << set.err.Text();
    // The one backup, in a folder of its own inside the backups' folder; nothing else
    // anywhere in the home folder but the data folder.
    const QDir backups(QString::fromStdString(home.Backups()));
    std::vector<std::string> files;
    QDirIterator all(backups.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (all.hasNext())
        files.push_back(backups.relativeFilePath(all.next()).toStdString());
    ASSERT_EQ(files.size(), 1u) << ::testing::PrintToString(files);
    const std::string folder = files[0].substr(0, files[0].find('/'));
    EXPECT_EQ(files[0], folder + "/" + folder + "_000001_20260302-093001.json");
    EXPECT_EQ(QDir(QString::fromStdString(home.Path()))
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("Sonavelle")});
    cli::TSimBench second(Kept(unit, first), 1);
    ASSERT_EQ(cli::RunRestore(second, "", restore.Options()), 0) << restore.err.Text();
    EXPECT_EQ(StoredOf(second), unit.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Serials, HostileSerial,
    ::testing::Values(THostile{"up_and_out", "../../../evil"},
                      THostile{"up_on_windows", "..\\..\\evil"}, THostile{"absolute", "/tmp/evil"},
                      THostile{"the_folder_above", ".."}, THostile{"a_device_of_windows", "CON"},
                      THostile{"lower_case_of_another", "sv0000000001"},
                      THostile{"blank_slash_wildcard", "SV 1/.*"},
                      THostile{"too_long", std::string(300, 'x')}, THostile{"an_option", "-rf"}),
    [](const auto& param) { return std::string(param.param.name); });

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
    ::testing::Values(TEnded{"refused", [](sim::Profile& p) { p.faults.ng = {"SPAR RecordSw"}; },
                             false, 1, "refused"},
                      TEnded{"unconfirmed_save",
                             [](sim::Profile& p) { p.faults.silent = {"SAVE"}; }, false, 1,
                             "save not confirmed"},
                      // Gone as a command is written to it: the write fails first.
                      TEnded{"vanished", [](sim::Profile& p) { p.faults.vanishAfter = 9; }, false,
                             3, "write failed"},
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
                  "volume=2\tbackup: SV0000000002_000001_20260302-093003.json"});
    EXPECT_EQ(lines.err.Lines(),
              std::vector<std::string>{"sonavelle-cli: 1 damaged line(s) skipped in " +
                                       store::RecordPath()});
    EXPECT_EQ(cli::RunRecord(true, std::nullopt, csv.Options()), 0);
    EXPECT_EQ(csv.out.Text(), store::RecordCsv(entries));
}

TEST(Record, MarksTheRunsOfSimulatedUnits) {
    const TDataHome home;
    TPrinted set, lines;
    cli::TCommandOptions o = set.Options();
    o.session.simulated = true;
    cli::TSimBench bench(Preset("DW730 TONAL/201036"), 1);
    ASSERT_EQ(cli::RunSet(bench, Requests({{TSetting::Volume, "2"}}), o), 0) << set.err.Text();
    const std::vector<store::TRecordEntry> record = Recorded();
    ASSERT_EQ(record.size(), 1u);
    EXPECT_TRUE(record[0].simulated);
    EXPECT_EQ(cli::RunRecord(false, std::nullopt, lines.Options()), 0);
    ASSERT_EQ(lines.out.Lines().size(), 1u);
    EXPECT_TRUE(lines.out.Lines()[0].ends_with("\tsimulated")) << lines.out.Text();
}

} // namespace
