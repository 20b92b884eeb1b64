// restore on the command line with backups of the same model and firmware: the unit gets back
// the values it reported, whatever its tables call them; a backup whose values do not have
// the shape the unit takes is refused whole; and a channel that shows as another model's
// stays as the unit has it unless the user writes it.
#include "CliCases.h"
#include "store/Backups.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>
#include <random>

using namespace cli_cases;
using cli::TSetting;

namespace {

std::string NewestBackup() {
    const auto backups = store::ListBackups(store::BackupFolder(), "SV0000000001");
    return backups.empty() ? std::string() : backups.front().path;
}

// A set on a unit of the profile; the profile then holds what the unit kept.
int SetOn(sim::Profile& profile, const std::vector<cli::TRequest>& requests, TPrinted& p) {
    cli::TSimBench bench(profile, 1);
    const int exit = cli::RunSet(bench, requests, p.Options());
    profile.stored = StoredOf(bench);
    return exit;
}

// ---- a DW720 MIV that does not give its model: its channel S shows as B ---------------------

TEST(ChannelShownAsAnotherModels, StaysAsTheUnitHasItThroughSetAndRestore) {
    const TDataHome home;
    const sim::Profile original = Preset("DW720 MIV/201016");
    ASSERT_EQ(original.stored->Get("Channel"), "l"); // S: (l, 3)
    ASSERT_EQ(original.stored->Get("BaseFreq"), "3");

    // Chosen as it shows, with something else: no change, the unit keeps S.
    sim::Profile unit = original;
    TPrinted both, volume, restore;
    ASSERT_EQ(SetOn(unit, Requests({{TSetting::Channel, "B"}, {TSetting::Volume, "1"}}), both), 0)
        << both.err.Text();
    EXPECT_EQ(both.out.Text(), "SV0000000001: 1 setting(s) changed (volume); written and saved\n");
    EXPECT_EQ(unit.stored->Get("Channel"), "l");
    EXPECT_EQ(unit.stored->Get("BaseFreq"), "3");

    // Not chosen at all: kept too.
    ASSERT_EQ(SetOn(unit, Requests({{TSetting::Volume, "2"}}), volume), 0) << volume.err.Text();
    EXPECT_EQ(unit.stored->Get("Channel"), "l");

    // Its own first backup brings back exactly what it held.
    cli::TSimBench bench(unit, 1);
    const auto backups = store::ListBackups(store::BackupFolder(), "SV0000000001");
    ASSERT_EQ(backups.size(), 2u);
    ASSERT_EQ(cli::RunRestore(bench, backups.back().path, restore.Options()), 0)
        << restore.err.Text();
    EXPECT_EQ(StoredOf(bench), original.stored);
}

// ---- the dry run and the list compare the unit's values ---------------------------------------

// A unit holding a value no item writes exactly; a set moves it, and the dry run and the list
// of a restore then name the value that comes back.
struct TShownChange {
    const char* name;
    const char* key;
    const char* held;
    std::vector<std::pair<TSetting, std::string>> set;
    std::string line; // the dry run's, and the list's after "differs in "
};

void PrintTo(const TShownChange& t, std::ostream* out) {
    *out << t.name;
}

class RestoreNamesTheValues : public ::testing::TestWithParam<TShownChange> {};

TEST_P(RestoreNamesTheValues, ThatComeBackBesideTheSettingsNames) {
    const TShownChange& t = GetParam();
    const TDataHome home;
    sim::Profile unit = Preset("DW720 KEL/201036");
    ASSERT_TRUE(unit.stored->Set(t.key, t.held));
    TPrinted set, dry, list;
    ASSERT_EQ(SetOn(unit, Requests(t.set), set), 0) << set.err.Text();
    cli::TSimBench dryBench(unit, 1), listBench(unit, 1);
    cli::TCommandOptions o = dry.Options();
    o.dryRun = true;
    EXPECT_EQ(cli::RunRestore(dryBench, "", o), 0) << dry.err.Text();
    EXPECT_EQ(dry.out.Lines(),
              (std::vector<std::string>{t.line, "1 setting(s) would change (" +
                                                    std::string(cli::Info(t.set[0].first).name) +
                                                    "); nothing written (dry run)"}));
    EXPECT_EQ(cli::RunRestoreList(listBench, list.Options()), 0);
    ASSERT_EQ(list.out.Lines().size(), 1u);
    EXPECT_TRUE(list.out.Lines()[0].ends_with("\tdiffers in " + t.line)) << list.out.Lines()[0];
    EXPECT_EQ(WritesTo(dryBench) + WritesTo(listBench), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RestoreNamesTheValues,
    ::testing::Values(TShownChange{"volume_between_items",
                                   "PhoneOutVol",
                                   "-7",
                                   {{TSetting::Volume, "5"}},
                                   "volume: 5 -> 2 (PhoneOutVol 0 -> -7)"},
                      // Shown as "as the unit is now" while no item could name it.
                      TShownChange{"air_check_outside_the_table",
                                   "DivingTimeSignalSw",
                                   "1234",
                                   {{TSetting::AirCheck, "20/10"}},
                                   "air-check: 20/10 -> ? (DivingTimeSignalSw 4915800 -> 1234)"}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- a backup's values are checked before anything is sent --------------------------------

struct TMisshapen {
    const char* name;
    const char* key; // in the backup's "raw" object
    const char* value;
};

void PrintTo(const TMisshapen& t, std::ostream* out) {
    *out << t.name << ": raw." << t.key << " = '" << t.value << "'";
}

class MisshapenRawValue : public ::testing::TestWithParam<TMisshapen> {};

TEST_P(MisshapenRawValue, RefusesTheWholeRestoreWritingNothing) {
    const TMisshapen& t = GetParam();
    const TDataHome home;
    sim::Profile unit = Preset("DW730 TONAL/201036");
    TPrinted set, p, dry;
    ASSERT_EQ(SetOn(unit, Requests({{TSetting::Volume, "1"}}), set), 0) << set.err.Text();
    const std::string path = NewestBackup();
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    file.close();
    QJsonObject raw = root.value(QStringLiteral("raw")).toObject();
    raw[QString::fromUtf8(t.key)] = QString::fromUtf8(t.value);
    root[QStringLiteral("raw")] = raw;
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument(root).toJson());
    file.close();

    for (TPrinted* run : {&p, &dry}) {
        cli::TSimBench bench(unit, 1);
        cli::TCommandOptions o = run->Options();
        o.dryRun = run == &dry;
        EXPECT_EQ(cli::RunRestore(bench, path, o), 2);
        const std::string said = run->err.Lines().back();
        EXPECT_TRUE(said.starts_with("sonavelle-cli: " + path + ": raw.")) << said;
        EXPECT_TRUE(said.ends_with("; nothing written")) << said;
        EXPECT_EQ(said.find_first_of("\r\x1b"), std::string::npos) << said;
        EXPECT_EQ(WritesTo(bench), 0u);
        EXPECT_EQ(run->out.Text(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Values, MisshapenRawValue,
                         // One of each way a file could make the unit do what it was not asked;
                         // every shape is tested where the rule lives.
                         ::testing::Values(TMisshapen{"blank", "PhoneOutVol", "-7 0"},
                                           TMisshapen{"command_after_it", "Led", "b\rSAVE"},
                                           TMisshapen{"unknown_key", "Volume\x1b", "1"}),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- random units, random choices, then restore ---------------------------------------------

// A value of the key the unit takes, drawn from the whole range it stores.
std::string AnyValue(const std::string& key, std::mt19937& random) {
    const auto upTo = [&](std::uint32_t n) { return random() % (n + 1); };
    std::string text;
    if (key == "Channel")
        text = upTo(1) ? "u" : "l";
    else if (key == "Led")
        text = std::string(1, "yba"[upTo(2)]);
    else if (key == "PhoneOutVol" || key == "PhoneOutVolTrx")
        text = "-" + std::to_string(upTo(11)) + (upTo(1) ? ".5" : "");
    else if (key == "CsgVoxNzccTh")
        text = "0." + std::to_string(upTo(99));
    else if (key == "RxLevel" || key == "RxOutLevel")
        text = std::to_string(upTo(65535));
    else if (key == "RecordSw")
        text = std::to_string(upTo(4));
    else if (key == "BaseFreq")
        text = std::to_string(2 + upTo(2));
    else if (key == "DiveConWarningSw")
        text = std::to_string(upTo(3));
    else if (key == "VoiceGuideSwitch")
        text = std::to_string(upTo(511));
    else if (key == "DivingTimeSignalSw")
        text = std::to_string(upTo(0xFFFFFF));
    else
        text = std::to_string(upTo(1));
    return sim::NormaliseValue(key, text).value_or("?");
}

TEST(RestoreOfRandomUnits, GivesBackEveryValueTheUnitHeldBeforeRandomChoices) {
    std::mt19937 random(20261208u); // fixed: the same units on every run
    std::vector<std::string> presets;
    for (const std::string& name : PresetsShowingSettings()) {
        const sim::Profile p = Preset(name);
        if (params::Adjustable(params::TIdentity::FromVersion(p.firmware, p.model)))
            presets.push_back(name);
    }
    ASSERT_FALSE(presets.empty());
    int restored = 0;
    for (int round = 0; round < 40; ++round) {
        const TDataHome home;
        sim::Profile before = Preset(presets[random() % presets.size()]);
        std::vector<sim::ParamSet::Entry> held;
        for (const auto& [key, value] : before.stored->Entries())
            held.emplace_back(key, AnyValue(key, random));
        before.stored = sim::ParamSet(held);
        const auto identity = params::TIdentity::FromVersion(before.firmware, before.model);
        std::vector<std::pair<TSetting, std::string>> choices;
        for (const auto& info : params::kSettings) {
            const auto values = params::SettingValues(info.id, identity);
            if (!values.empty() && random() % 2 == 0)
                choices.emplace_back(info.id, values[random() % values.size()]);
        }
        SCOPED_TRACE("round " + std::to_string(round) + ": " + before.model + "/" +
                     before.firmware + " " + ::testing::PrintToString(*before.stored));
        sim::Profile after = before;
        TPrinted set, restore;
        ASSERT_EQ(SetOn(after, Requests(choices), set), 0) << set.err.Text();
        if (after.stored == before.stored) continue; // nothing written, no backup
        cli::TSimBench bench(after, 1);
        ASSERT_EQ(cli::RunRestore(bench, "", restore.Options()), 0) << restore.err.Text();
        EXPECT_EQ(StoredOf(bench), before.stored);
        ++restored;
    }
    EXPECT_GE(restored, 20);
}

} // namespace
