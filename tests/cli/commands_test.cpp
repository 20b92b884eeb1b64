// The commands as they print: show as text and as JSON that set --from takes back, set and
// default with their one line, list, and batch over several units with a line for each and
// a summary.
#include "CliCases.h"
#include "cli/Commands.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>

using namespace cli_cases;
using cli::TSetting;

namespace {

// ---- show --json, taken back by set --from ---------------------------------------------------

class ShowJson : public ::testing::TestWithParam<std::string> {};

TEST_P(ShowJson, IsTakenBackBySetFromAsWhatTheUnitAlreadyHas) {
    const sim::Profile profile = Preset(GetParam());
    TPrinted shown;
    {
        cli::TSimBench bench(profile, 1);
        ASSERT_EQ(cli::RunShow(bench, true, shown.Options()), 0) << shown.err.Text();
    }
    const std::string text = shown.out.Text();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << text;
    const QJsonObject unit = doc.object().value(QStringLiteral("unit")).toObject();
    EXPECT_EQ(unit.value(QStringLiteral("firmware")).toString().toStdString(), profile.firmware);
    EXPECT_EQ(unit.value(QStringLiteral("serial")).toString().toStdString(), profile.serial);
    const bool shownSettings = doc.object().value(QStringLiteral("settingsShown")).toBool();

    const cli::TRequests parsed = cli::ParseSettingsText(text, "show.json");
    ASSERT_TRUE(parsed) << parsed.error;
    // The model as the unit told it (firmware before 201020 is not asked).
    const auto identity = params::TIdentity::FromVersion(
        profile.firmware, unit.value(QStringLiteral("model")).toString().toStdString());
    std::size_t available = 0;
    for (const cli::TSettingInfo& info : cli::kSettings)
        available += params::SettingValues(info.id, identity).empty() ? 0 : 1;
    EXPECT_EQ(parsed.requests.size(), available);
    if (!shownSettings) {
        EXPECT_TRUE(parsed.requests.empty());
        return;
    }

    TPrinted set;
    cli::TSimBench bench(profile, 1);
    const int code = cli::RunSet(bench, parsed.requests, set.Options());
    if (params::Adjustable(identity)) {
        EXPECT_EQ(code, 0) << set.err.Text();
        EXPECT_EQ(set.out.Text(),
                  profile.serial + ": nothing to change: the unit already has these settings\n");
    } else {
        EXPECT_EQ(code, 2) << set.err.Text();
    }
    EXPECT_EQ(WritesTo(bench), 0u);
}

INSTANTIATE_TEST_SUITE_P(Presets, ShowJson, ::testing::ValuesIn(Presets()), PresetTestName);

// ---- show, set, default, list ------------------------------------------------------------------

TEST(Show, PrintsTheIdentityAndEverySettingWithWhatItTakes) {
    TPrinted p;
    cli::TSimBench bench(Preset("DW720 MIV/201036"), 1);
    EXPECT_EQ(cli::RunShow(bench, false, p.Options()), 0);
    EXPECT_EQ(p.err.Lines(), std::vector<std::string>{"sonavelle-cli: waiting for the unit (plug "
                                                      "it in now)"});
    const std::vector<std::string> lines = p.out.Lines();
    const std::vector<std::string> head(lines.begin(), lines.begin() + 6);
    EXPECT_EQ(head,
              (std::vector<std::string>{"model            DW720 MIV", "firmware         201036",
                                        "language         English", "serial number    SV0000000001",
                                        "clock            set to 2026-03-02 09:30:00", ""}));
    const auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("channel          S        shown as \"S ch\"; takes A S")) << p.out.Text();
    EXPECT_TRUE(has("receive-only     (not on this unit)")) << p.out.Text();
    EXPECT_TRUE(has("air-check        20/10    shown as \"20min. 10min.\"; takes off 10/5 10/10 "
                    "20/5 20/10 30/5 30/10 2/1"))
        << p.out.Text();
}

TEST(Show, AnAirCheckOutsideTheWindowsTableIsNoValueRatherThanOff) {
    // What set --from takes must not switch another unit's air check off.
    sim::Profile profile = Preset("DW720 KEL/201036");
    ASSERT_TRUE(profile.stored->Set("DivingTimeSignalSw", "4097")); // first after 1 s, every 1 s
    TPrinted p;
    cli::TSimBench bench(profile, 1);
    ASSERT_EQ(cli::RunShow(bench, true, p.Options()), 0);
    const QJsonObject root =
        QJsonDocument::fromJson(QByteArray::fromStdString(p.out.Text())).object();
    EXPECT_FALSE(
        root.value(QStringLiteral("settings")).toObject().contains(QStringLiteral("air-check")));
    const QJsonObject air = root.value(QStringLiteral("details"))
                                .toObject()
                                .value(QStringLiteral("air-check"))
                                .toObject();
    EXPECT_TRUE(air.value(QStringLiteral("value")).isNull());
    EXPECT_EQ(air.value(QStringLiteral("shown")).toString(), QStringLiteral("unknown"));
}

TEST(Show, OfAnUnsupportedUnitSaysWhyNoSettingsAreShown) {
    TPrinted p;
    cli::TSimBench bench(Preset("DW720 MIV/202000"), 1);
    EXPECT_EQ(cli::RunShow(bench, false, p.Options()), 0);
    EXPECT_EQ(p.out.Lines().back(),
              "settings not shown: The Sonavelle firmware you have is not supported in this "
              "tool. Please update to the latest version.");
}

TEST(Show, EscapesControlCharactersFromTheUnitAndSaysASerialNumberWasNotRead) {
    sim::Profile odd = Preset("DW730 TONAL/201036");
    odd.serial = "SV\x1b[2J\x07";
    sim::Profile unread = odd;
    unread.faults.split = {"GSER"}; // NUL bytes where the serial number would be
    for (const auto& [profile, serial] :
         {std::pair{odd, std::string("SV\\x1b[2J\\x07")}, std::pair{unread, std::string()}}) {
        TPrinted text, json;
        cli::TSimBench first(profile, 1), second(profile, 1);
        ASSERT_EQ(cli::RunShow(first, false, text.Options()), 0);
        ASSERT_EQ(cli::RunShow(second, true, json.Options()), 0);
        EXPECT_EQ(text.out.Lines().at(3),
                  "serial number    " + (serial.empty() ? "(not read)" : serial));
        const QJsonValue got = QJsonDocument::fromJson(QByteArray::fromStdString(json.out.Text()))
                                   .object()[QStringLiteral("unit")][QStringLiteral("serial")];
        EXPECT_EQ(got, serial.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(serial)));
    }
}

TEST(Set, PrintsHowManySettingsChanged) {
    TPrinted p;
    cli::TSimBench bench(Preset("DW720 MIV/201029"), 1);
    EXPECT_EQ(cli::RunSet(bench, Requests({{TSetting::Volume, "2"}, {TSetting::Channel, "A"}}),
                          p.Options()),
              0);
    EXPECT_EQ(p.out.Text(), Preset("DW720 MIV/201029").serial +
                                ": 2 setting(s) changed (volume, channel); written and saved\n");
}

TEST(Set, OfASettingTheUnitDoesNotHaveWritesNothing) {
    TPrinted p;
    cli::TSimBench bench(Preset("DW730 TONAL/201036"), 1);
    const auto requests = cli::ParseSettingsText("volume=1\nchannel=B\n", "bench.txt").requests;
    EXPECT_EQ(cli::RunSet(bench, requests, p.Options()), 2);
    EXPECT_EQ(p.err.Lines().back(),
              "sonavelle-cli: bench.txt:2: this unit (DW730 TONAL 201036) has no channel");
    EXPECT_EQ(p.out.Text(), "");
    EXPECT_EQ(WritesTo(bench), 0u);
}

TEST(Default, PrintsThatTheFactorySettingsAreBack) {
    TPrinted p;
    const sim::Profile profile = Preset("DW720 KEL/201026");
    cli::TSimBench bench(profile, 1);
    EXPECT_EQ(cli::RunDefault(bench, p.Options()), 0);
    EXPECT_EQ(p.out.Text(), profile.serial + ": factory settings restored\n");
    EXPECT_EQ(StoredOf(bench), profile.defaults);
}

TEST(List, MarksTheTransceiver) {
    TPrinted p;
    cli::TSimBench bench(Preset("DW720 KEL/201026"), 1);
    EXPECT_EQ(cli::RunList(bench, p.Options()), 0);
    const std::vector<std::string> lines = p.out.Lines();
    ASSERT_EQ(lines.size(), 1u) << p.out.Text();
    EXPECT_TRUE(lines[0].starts_with("3a5c:7802\t")) << lines[0];
    EXPECT_TRUE(lines[0].ends_with("\tSonavelle Transceiver\t<- the transceiver")) << lines[0];
}

TEST(List, WithoutATransceiverIsNoUnit) {
    TPrinted p;
    sim::Profile other = Preset("DW720 KEL/201026");
    other.vendorId = 0x04D8;
    cli::TSimBench bench(other, 1);
    EXPECT_EQ(cli::RunList(bench, p.Options()), 3);
    EXPECT_EQ(p.out.Lines().size(), 1u);
    EXPECT_EQ(p.err.Text(), "sonavelle-cli: no transceiver among 1 HID device(s)\n");
}

TEST(List, ADeviceThatCannotBeOpenedIsListedWithItsReason) {
    TPrinted p;
    sim::Profile none = Preset("DW720 KEL/201026");
    none.access = sim::Access::None;
    cli::TSimBench bench(none, 1);
    EXPECT_EQ(cli::RunList(bench, p.Options()), 3);
    EXPECT_EQ(p.out.Text(), "----:----\tsim:hid#1\t\t<- cannot be opened (The system cannot find "
                            "the file specified.)\n");
    EXPECT_EQ(p.err.Text(),
              "sonavelle-cli: no transceiver among 1 HID device(s) (1 cannot be used)\n");
}

// ---- batch
// ---------------------------------------------------------------------------------------

struct TBatch {
    explicit TBatch(const sim::Profile& profile, int units) : bench(profile, units) {}
    int Run(const std::vector<cli::TRequest>& requests, int maxUnits = 0) {
        return cli::RunBatch(bench, requests, maxUnits, printed.Options(5000));
    }
    TPrinted printed;
    cli::TSimBench bench;
};

TEST(Batch, AppliesToEachUnitWithOneLineEachAndASummary) {
    TBatch batch(Preset("DW720 MIV/201036"), 3);
    const auto requests = Requests({{TSetting::Volume, "2"}, {TSetting::Channel, "S"}});
    EXPECT_EQ(batch.Run(requests), 0);
    EXPECT_EQ(batch.printed.out.Lines(), (std::vector<std::string>{
                                             "SV0000000001\tDW720 MIV\t201036\tOK",
                                             "SV0000000002\tDW720 MIV\t201036\tOK",
                                             "SV0000000003\tDW720 MIV\t201036\tOK",
                                             "3 unit(s): 3 OK, 0 failed",
                                         }));
    EXPECT_EQ(
        batch.printed.Said(),
        (std::vector<std::string>{
            "sonavelle-cli: plug in unit 1 (Ctrl-C stops)", "sonavelle-cli: unplug the unit",
            "sonavelle-cli: plug in unit 2 (Ctrl-C stops)", "sonavelle-cli: unplug the unit",
            "sonavelle-cli: plug in unit 3 (Ctrl-C stops)", "sonavelle-cli: unplug the unit"}));
    // The last unit keeps what was applied.
    EXPECT_NE(StoredOf(batch.bench), Preset("DW720 MIV/201036").stored);
}

TEST(Batch, StopsAfterTheCountGiven) {
    TBatch batch(Preset("PX510/201036"), 5);
    EXPECT_EQ(batch.Run(Requests({{TSetting::Volume, "5"}}), 2), 0);
    EXPECT_EQ(batch.printed.out.Lines().back(), "2 unit(s): 2 OK, 0 failed");
    EXPECT_EQ(batch.bench.UnitsPlugged(), 2);
}

TEST(Batch, GoesOnAfterAUnitThatFailsAndCountsIt) {
    // Every unit refuses the recorder; each gets its line, and the batch goes on.
    sim::Profile profile = Preset("DW720 KEL/201036");
    profile.faults.ng = {"SPAR RecordSw"};
    TBatch batch(profile, 2);
    EXPECT_EQ(batch.Run(Requests({{TSetting::Volume, "1"}})), 1);
    const auto lines = batch.printed.out.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[0].starts_with("SV0000000001\tDW720 KEL\t201036\tFAILED: Apply: the unit "
                                     "answered 'NG' to 'SPAR RecordSw "))
        << lines[0];
    EXPECT_TRUE(lines[1].starts_with("SV0000000002\t")) << lines[1];
    EXPECT_EQ(lines[2], "2 unit(s): 0 OK, 2 failed");
}

TEST(Batch, GoesOnAfterAUnitThatVanished) {
    sim::Profile profile = Preset("DW720 KEL/201036");
    profile.faults.vanishAfter = 9; // seven to connect, two writes
    TBatch batch(profile, 2);
    EXPECT_EQ(batch.Run(Requests({{TSetting::Volume, "1"}})), 1);
    const auto lines = batch.printed.out.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "SV0000000001\tDW720 KEL\t201036\tFAILED: the unit went away during Apply: "
                        "written: volume, auto-switching; not written: hands-free, recorder, "
                        "dive-computer, voice-guide, air-check; not saved");
    EXPECT_TRUE(lines[1].starts_with("SV0000000002\tDW720 KEL\t201036\tFAILED: the unit went "
                                     "away"))
        << lines[1];
    EXPECT_EQ(lines[2], "2 unit(s): 0 OK, 2 failed");
}

// What the record says of a unit that the settings reached but that is not fully recorded.
struct TRecord {
    const char* name;
    void (*change)(sim::Profile&);
    const char* volume; // the unit has 4
    const char* line;
    const char* summary;
};

void PrintTo(const TRecord& r, std::ostream* out) {
    *out << r.name;
}

class BatchRecord : public ::testing::TestWithParam<TRecord> {};

TEST_P(BatchRecord, NamesWhatFailedAndTellsTheUnitsApart) {
    sim::Profile profile = Preset("DW730 TONAL/201036");
    GetParam().change(profile);
    TBatch batch(profile, 1);
    EXPECT_EQ(batch.Run(Requests({{TSetting::Volume, GetParam().volume}})), 1);
    EXPECT_EQ(batch.printed.out.Lines(),
              (std::vector<std::string>{GetParam().line, GetParam().summary}));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BatchRecord,
    ::testing::Values(
        TRecord{"GoneAfterTheSave", [](sim::Profile& p) { p.faults.vanishAfter = 19; },
                "3", // saved, then gone
                "SV0000000001\tDW730 TONAL\t201036\tFAILED: the unit went away during the check "
                "read-back; the settings were saved",
                "1 unit(s): 0 OK, 1 failed"},
        TRecord{"GoneBeforeAnyWrite", [](sim::Profile& p) { p.faults.vanishAfter = 7; },
                "4", // nothing written
                "SV0000000001\tDW730 TONAL\t201036\tFAILED: the unit went away during the check "
                "read-back; the unit had the settings",
                "1 unit(s): 0 OK, 1 failed"},
        TRecord{"SerialRefused", [](sim::Profile& p) { p.faults.ng = {"GSER"}; }, "3",
                "(not read)\tDW730 TONAL\t201036\tFAILED: the serial number was not read; "
                "the settings were applied and read back",
                "1 unit(s): 0 OK, 1 failed (1 without a serial number)"},
        TRecord{"SerialGarbled", [](sim::Profile& p) { p.faults.split = {"GSER"}; }, "3",
                "(not read)\tDW730 TONAL\t201036\tFAILED: the serial number was not read; "
                "the settings were applied and read back",
                "1 unit(s): 0 OK, 1 failed (1 without a serial number)"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(Batch, OnATerminalPrintsNothingOverTheProgressBar) {
    TBatch batch(Preset("DW730 TONAL/201036"), 2);
    cli::TCommandOptions options = batch.printed.Options(5000);
    options.session.progressBar = true;
    options.out = options.err; // both on the terminal
    EXPECT_EQ(cli::RunBatch(batch.bench, Requests({{TSetting::Volume, "3"}}), 0, options), 0);
    std::size_t bars = 0;
    for (const std::string& line : batch.printed.err.Lines()) {
        // What the terminal shows is what follows the last carriage return.
        bars += line.find("] 100%") != std::string::npos;
        EXPECT_FALSE(line.substr(line.rfind('\r') + 1).starts_with("[")) << line;
    }
    EXPECT_GT(bars, 0u) << "the bar was drawn";
}

TEST(Batch, FailsEachUnitThatLacksASettingWithoutWritingIt) {
    TBatch batch(Preset("DW730 TONAL/201036"), 2);
    const auto requests = cli::ParseSettingsText("volume=3\nchannel=a\n", "f.txt").requests;
    EXPECT_EQ(batch.Run(requests), 1);
    EXPECT_EQ(batch.printed.out.Lines(),
              (std::vector<std::string>{
                  "SV0000000001\tDW730 TONAL\t201036\tFAILED: f.txt:2: this unit (DW730 TONAL "
                  "201036) has no channel",
                  "SV0000000002\tDW730 TONAL\t201036\tFAILED: f.txt:2: this unit (DW730 TONAL "
                  "201036) has no channel",
                  "2 unit(s): 0 OK, 2 failed"}));
    EXPECT_EQ(WritesTo(batch.bench), 0u);
}

TEST(Batch, OfUnitsWhoseSettingsAreNotShownFailsEach) {
    TBatch batch(Preset("DW720 KEL/105"), 1);
    EXPECT_EQ(batch.Run(Requests({{TSetting::Volume, "3"}})), 1);
    const auto lines = batch.printed.out.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].starts_with("SV0000000001\t-\t105\tFAILED: settings not shown: "))
        << lines[0];
    EXPECT_EQ(lines[1], "1 unit(s): 0 OK, 1 failed");
}

} // namespace

// ---- --dry-run, --device, Ctrl-C in batch ------------------------------------------------------

namespace {

struct TDryRun {
    const char* preset;
    const char* settings;
    std::vector<std::string> printed; // set --dry-run's output, or its message when refused
    void (*change)(sim::Profile&) = nullptr;
};

void PrintTo(const TDryRun& t, std::ostream* out) {
    *out << t.preset << ": " << t.printed.back();
}

class DryRun : public ::testing::TestWithParam<TDryRun> {};

TEST_P(DryRun, WritesNothingAndNamesWhatARealRunThenChanges) {
    const TDryRun& t = GetParam();
    sim::Profile profile = Preset(t.preset);
    if (t.change) t.change(profile);
    const auto requests = cli::ParseSettingsText(t.settings, "f.txt").requests;
    const bool fits = t.printed.back().ends_with("(dry run)");

    TPrinted set, batch;
    cli::TCommandOptions setOptions = set.Options(), batchOptions = batch.Options(5000);
    setOptions.dryRun = batchOptions.dryRun = true;
    cli::TSimBench setBench(profile, 1), batchBench(profile, 2);
    EXPECT_EQ(cli::RunSet(setBench, requests, setOptions), fits ? 0 : 2);
    EXPECT_EQ(fits ? set.out.Lines() : std::vector<std::string>{set.err.Lines().back()}, t.printed);
    EXPECT_EQ(cli::RunBatch(batchBench, requests, 0, batchOptions), fits ? 0 : 1);
    const std::vector<std::string> changes(t.printed.begin(), t.printed.end() - 1);
    const std::string line =
        !fits             ? "FAILED: " + t.printed.back().substr(std::strlen("sonavelle-cli: "))
        : changes.empty() ? "nothing would change"
                          : "would change " + cli::Join(changes, ", ");
    const auto lines = batch.out.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[0].ends_with("\t" + line)) << lines[0];
    EXPECT_TRUE(lines[1].ends_with("\t" + line)) << lines[1];
    EXPECT_TRUE(lines[2].ends_with("; nothing written (dry run)")) << lines[2];
    EXPECT_EQ(WritesTo(setBench) + WritesTo(batchBench), 0u);

    // Apply, pressed after the dry run, changes what it named.
    TBenchRun run(profile);
    ASSERT_TRUE(run.session.Connect(5000).ok());
    const cli::TPreview preview = run.session.Preview(requests);
    EXPECT_EQ(preview.changes, changes);
    if (!fits) return;
    ASSERT_TRUE(run.session.Apply(requests).ok());
    EXPECT_EQ(run.c().Changed(), preview.changed);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, DryRun,
    ::testing::Values(
        TDryRun{"DW720 MIV/201029",
                "volume=2\nchannel=A\n",
                {"volume: 4 -> 2", "channel: S -> A",
                 "2 setting(s) would change (volume, channel); nothing written (dry run)"}},
        TDryRun{"DW730 TONAL/201036",
                "volume=4\n",
                {"nothing would change; nothing written (dry run)"}},
        // The air check is written back with the unit's own value: no change, not named.
        TDryRun{"DW720 KEL/201036",
                "volume=1\n",
                {"volume: 4 -> 1", "1 setting(s) would change (volume); nothing written (dry run)"},
                [](sim::Profile& p) { p.stored->Set("DivingTimeSignalSw", "4097"); }},
        TDryRun{"DW720 KEL/201036",
                "air-check=off\n",
                {"air-check: ? ('4097') -> off",
                 "1 setting(s) would change (air-check); nothing written (dry run)"},
                [](sim::Profile& p) { p.stored->Set("DivingTimeSignalSw", "4097"); }},
        TDryRun{"DW730 TONAL/201036",
                "volume=1\nchannel=B\n",
                {"sonavelle-cli: f.txt:2: this unit (DW730 TONAL 201036) has no channel"}}));

struct TDevice {
    const char* device;
    int exit;
    std::vector<std::string> said; // after "waiting for the unit"
    int written;                   // the unit set (from 0); -1: none
    int marked;                    // the line list marks; -1: none
};

void PrintTo(const TDevice& t, std::ostream* out) {
    *out << "--device " << t.device;
}

class Device : public ::testing::TestWithParam<TDevice> {};

TEST_P(Device, ChoosesAmongTheUnitsAttachedOrSaysWhatItFound) {
    const TDevice& t = GetParam();
    const sim::Profile profile = Preset("DW730 TONAL/201036");
    TPrinted set, list;
    cli::TCommandOptions setOptions = set.Options(5000), listOptions = list.Options();
    setOptions.session.device = listOptions.session.device = t.device;
    cli::TSimBench bench({profile, profile, profile}), listed({profile, profile, profile});
    EXPECT_EQ(cli::RunSet(bench, Requests({{TSetting::Volume, "1"}}), setOptions), t.exit);
    auto said = set.Said();
    said.erase(said.begin());
    EXPECT_EQ(said, t.said);
    for (std::size_t unit = 0; unit < 3; ++unit)
        EXPECT_EQ(WritesTo(bench, unit) > 0, static_cast<int>(unit) == t.written) << unit;

    EXPECT_EQ(cli::RunList(listed, listOptions), t.marked < 0 ? 3 : 0);
    const auto lines = list.out.Lines();
    ASSERT_EQ(lines.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(lines[i].find("\t<- the transceiver") != std::string::npos, i == t.marked)
            << lines[i];
}

INSTANTIATE_TEST_SUITE_P(
    Choices, Device,
    ::testing::Values(
        TDevice{"sim:hid#2", 0, {}, 1, 1},
        // A command that writes identifies every unit: another may have the serial number too.
        TDevice{"SV0000000002",
                0,
                {"sonavelle-cli: passed over SV0000000001 (sim:hid#1)",
                 "sonavelle-cli: passed over SV0000000003 (sim:hid#3)"},
                1,
                0},
        TDevice{"",
                2,
                {"sonavelle-cli: 3 units are attached: SV0000000001 (sim:hid#1), SV0000000002 "
                 "(sim:hid#2), SV0000000003 (sim:hid#3); nothing written (name the unit with "
                 "--device PATH or SERIAL)"},
                -1,
                0},
        TDevice{"SV0000000009",
                3,
                {"sonavelle-cli: no unit has the serial number 'SV0000000009'; 3 identified: "
                 "SV0000000001 (sim:hid#1), SV0000000002 (sim:hid#2), SV0000000003 (sim:hid#3)"},
                -1,
                0},
        TDevice{"sim:hid#9",
                3,
                {"sonavelle-cli: no unit was plugged in at sim:hid#9 within 5 s (transceivers "
                 "attached: sim:hid#1, sim:hid#2, sim:hid#3)"},
                -1,
                -1}));

// Several units attached together, or one out of this user's reach: a command that writes (or
// says what it would write) never guesses which unit is meant; show takes the first.
struct TMeant {
    const char* name;
    std::vector<sim::Access> units; // attached together, in this order
    const char* serial;             // every unit's, when they share one
    const char* command;            // set, dry-run (set), default, show
    const char* device;
    int exit;
    std::vector<std::string> said; // after "waiting for the unit"
    int written;                   // the unit written (from 0); -1: none
};

void PrintTo(const TMeant& t, std::ostream* out) {
    *out << t.name;
}

class OneUnitMeant : public ::testing::TestWithParam<TMeant> {};

TEST_P(OneUnitMeant, IsWrittenOrTheCommandRefusesNamingEach) {
    const TMeant& t = GetParam();
    std::vector<sim::Profile> profiles;
    for (sim::Access access : t.units) {
        sim::Profile p = Preset("DW730 TONAL/201036");
        if (t.serial) p.serial = t.serial;
        p.access = access;
        profiles.push_back(p);
    }
    cli::TSimBench bench(profiles);
    TPrinted p;
    cli::TCommandOptions o = p.Options(30000);
    o.session.device = t.device;
    const std::string command = t.command;
    o.dryRun = command == "dry-run";
    const auto requests = Requests({{TSetting::Volume, "1"}});
    const int exit = command == "default" ? cli::RunDefault(bench, o)
                     : command == "show"  ? cli::RunShow(bench, false, o)
                                          : cli::RunSet(bench, requests, o);
    EXPECT_EQ(exit, t.exit) << p.err.Text();
    auto said = p.Said();
    ASSERT_FALSE(said.empty());
    said.erase(said.begin());
    EXPECT_EQ(said, t.said);
    for (std::size_t unit = 0; unit < profiles.size(); ++unit)
        EXPECT_EQ(WritesTo(bench, unit) > 0, static_cast<int>(unit) == t.written) << unit;
    // Virtual time: no wait ran out for a reply that could not come.
    EXPECT_LT(bench.Now().utcMs - cli::TSimBench::kEpochMs, 30000);
}

using enum sim::Access;
const std::string kTwoUnits = "sonavelle-cli: 2 units are attached: SV0000000001 (sim:hid#1), "
                              "SV0000000002 (sim:hid#2); nothing written (name the unit with "
                              "--device PATH or SERIAL)";
const std::string kUnwritable = "sonavelle-cli: the unit at sim:hid#1 cannot be written to: " +
                                std::string(core::kUdevRuleHint);

INSTANTIATE_TEST_SUITE_P(
    Choices, OneUnitMeant,
    ::testing::Values(
        TMeant{"TwoUnitsSet", {Full, Full}, nullptr, "set", "", 2, {kTwoUnits}, -1},
        TMeant{"TwoUnitsDryRun", {Full, Full}, nullptr, "dry-run", "", 2, {kTwoUnits}, -1},
        TMeant{"TwoUnitsDefault", {Full, Full}, nullptr, "default", "", 2, {kTwoUnits}, -1},
        TMeant{"TwoUnitsShowTheFirst", {Full, Full}, nullptr, "show", "", 0, {}, -1},
        TMeant{"OneSerialOnTwoUnits",
               {Full, Full},
               "SVABC",
               "set",
               "SVABC",
               2,
               {"sonavelle-cli: 2 attached units have the serial number 'SVABC': SVABC "
                "(sim:hid#1), SVABC (sim:hid#2); nothing written (name the unit with --device "
                "PATH)"},
               -1},
        TMeant{"OneSerialOnTwoUnitsByPath", {Full, Full}, "SVABC", "set", "sim:hid#2", 0, {}, 1},
        // The device that cannot be opened is said as the window's error box says it.
        TMeant{"UnopenableBesideAGoodUnit",
               {None, Full},
               nullptr,
               "set",
               "",
               0,
               {"error: Device cannot be opened"},
               1},
        TMeant{"UnwritableBesideAGoodUnit", {QueryOnly, Full}, nullptr, "set", "", 0, {}, 1},
        TMeant{"UnwritableAloneShow", {QueryOnly}, nullptr, "show", "", 3, {kUnwritable}, -1},
        TMeant{"UnwritableAloneSet", {QueryOnly}, nullptr, "set", "", 3, {kUnwritable}, -1}),
    [](const auto& row) { return std::string(row.param.name); });

// A bench where a person presses Ctrl-C on unit `unit` (from 1): once it has received a
// command beginning with each of `at` in turn, or, with none, instead of plugging it in.
class TInterruptedBench final : public cli::TSimBench {
  public:
    TInterruptedBench(const sim::Profile& profile, int unit, std::vector<std::string> at)
        : TSimBench(profile, 3), unit_(unit), at_(std::move(at)) {}
    void Pass() override {
        TSimBench::Pass();
        if (next_ >= at_.size() || UnitsPlugged() != unit_ || !UnitIn()) return;
        const std::string& command = at_[next_];
        if (Unit().Inspect([&](sim::Transceiver& u) {
                const auto& all = u.Received();
                return std::any_of(all.begin(), all.end(),
                                   [&](const std::string& c) { return c.starts_with(command); });
            })) {
            ++next_;
            cli::RequestStop();
        }
    }
    bool PlugNextUnit() override {
        if (!at_.empty() || UnitsPlugged() + 1 != unit_) return TSimBench::PlugNextUnit();
        cli::RequestStop();
        return false;
    }

  private:
    const int unit_;
    const std::vector<std::string> at_;
    std::size_t next_ = 0;
};

struct TInterrupt {
    int unit;
    std::vector<std::string> at;
    int exit;
    const char* second; // the second unit's result, after its serial number
    const char* summary;
};

void PrintTo(const TInterrupt& t, std::ostream* out) {
    *out << "unit " << t.unit
         << (t.at.empty() ? " not plugged in" : " at " + cli::Join(t.at, ", "));
}

class CtrlC : public ::testing::TestWithParam<TInterrupt> {
  protected:
    void SetUp() override { cli::ClearStopRequest(); }
    void TearDown() override { cli::ClearStopRequest(); }
};

TEST_P(CtrlC, FinishesTheUnitInProgressAtTheFirstAndStopsAtTheSecond) {
    const TInterrupt& t = GetParam();
    TPrinted p;
    TInterruptedBench bench(Preset("DW730 TONAL/201036"), t.unit, t.at);
    EXPECT_EQ(cli::RunBatch(bench, Requests({{TSetting::Volume, "1"}}), 0, p.Options(5000)),
              t.exit);
    std::vector<std::string> out{"SV0000000001\tDW730 TONAL\t201036\tOK"};
    if (*t.second) out.push_back(std::string("SV0000000002\tDW730 TONAL\t201036\t") + t.second);
    out.push_back(t.summary);
    EXPECT_EQ(p.out.Lines(), out);
    std::vector<std::string> err{"sonavelle-cli: plug in unit 1 (Ctrl-C stops)",
                                 "sonavelle-cli: unplug the unit",
                                 "sonavelle-cli: plug in unit 2 (Ctrl-C stops)"};
    if (!t.at.empty())
        err.push_back("sonavelle-cli: finishing this unit; Ctrl-C again stops at once");
    EXPECT_EQ(p.Said(), err);
}

INSTANTIATE_TEST_SUITE_P(
    Presses, CtrlC,
    ::testing::Values(
        TInterrupt{2, {"GSER"}, 0, "OK", "2 unit(s): 2 OK, 0 failed"},
        TInterrupt{2, {"SPAR"}, 0, "OK", "2 unit(s): 2 OK, 0 failed"},
        TInterrupt{2,
                   {"GSER", "SPAR"},
                   1,
                   "FAILED: stopped during Apply: written: none; not written: volume, hands-free, "
                   "dive-computer, voice-guide, air-check; not saved",
                   "2 unit(s): 1 OK, 1 failed"},
        TInterrupt{2, {}, 0, "", "1 unit(s): 1 OK, 0 failed"}));

} // namespace
