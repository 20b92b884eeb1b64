// Backups of a unit's settings: what is read back is what was written, for every simulated
// unit; the unit's serial number never reaches the file system as it is; nothing is ever
// overwritten and only the newest are kept; a file that is not a whole backup of this tool
// gives one line and no settings.
#include "StoreCases.h"
#include "store/Backups.h"
#include "store/DataFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using namespace store_cases;
using testing_support::TCoreRig;

namespace {

const std::string kTool = "store-test 1.0";

std::vector<std::string> Names(const std::vector<store::TBackupFile>& files) {
    std::vector<std::string> names;
    for (const auto& f : files)
        names.push_back(QFileInfo(QString::fromStdString(f.path)).fileName().toStdString());
    return names;
}

// ---- round trip ----------------------------------------------------------------------------

class RoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(RoundTrip, GivesBackTheUnitsSettingsIdentityAndRawValues) {
    TDataHome home;
    TCoreRig rig;
    Connect(rig, *sim::FindPreset(GetParam()));
    const core::TConversation& c = rig.conversation;
    const std::string folder = store::BackupFolder();
    ASSERT_EQ(folder, home.Path("Sonavelle/Customize/backups"));

    const store::TBackupWritten written = store::WriteBackup(c, folder, rig.clock.Now(), kTool);
    ASSERT_TRUE(written) << written.error;
    const auto listed = store::ListBackups(folder, store::UnitFileName(c));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].path, written.path);
    EXPECT_EQ(listed[0].local, "2026-12-08T14:01:02");

    const store::TBackup backup = store::ReadBackup(written.path);
    ASSERT_TRUE(backup) << backup.error;
    EXPECT_EQ(backup.identity.model, c.Identity().model);
    EXPECT_EQ(backup.identity.version, c.Identity().version);
    EXPECT_EQ(backup.serial, c.Serial());
    EXPECT_EQ(backup.utc, "2026-12-08T05:01:02Z");
    EXPECT_EQ(backup.local, "2026-12-08T14:01:02+09:00");
    std::vector<std::string> expected, got;
    for (const params::TSettingInfo& info : store::kSettings)
        if (const auto value = store::ChosenValue(c, info.id))
            expected.push_back(std::string(info.name) + "=" + *value);
    for (const store::TRequest& r : backup.requests)
        got.push_back(std::string(store::Info(r.setting).name) + "=" + r.value);
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected);
    EXPECT_EQ(backup.raw.size(), c.UnitValues().All().size());
    for (const auto& [command, value] : c.UnitValues().All())
        EXPECT_EQ(backup.raw.at(command.substr(5, command.size() - 6)), value) << command;
    // Restored onto the same unit: everything fits, nothing differs.
    EXPECT_TRUE(store::SplitForUnit(backup.requests, c.Identity()).skipped.empty());
    EXPECT_TRUE(store::Differences(backup.requests, c).empty());
}

INSTANTIATE_TEST_SUITE_P(Presets, RoundTrip, ::testing::ValuesIn(sim::PresetNames()),
                         [](const auto& param) {
                             std::string name = param.param;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

TEST(Restore, TakesWhatTheOtherUnitHasAndSaysWhyItSkipsTheRest) {
    TDataHome home;
    TCoreRig rig;
    Connect(rig, sim::MakeProfile("DW720 KEL", "201036"));
    const auto backup = store::ReadBackup(
        store::WriteBackup(rig.conversation, home.Path(), rig.clock.Now(), kTool).path);
    ASSERT_TRUE(backup) << backup.error;
    const auto split =
        store::SplitForUnit(backup.requests, params::TIdentity::FromVersion("201036", "PX510"));
    // volume is all the PX510 has of these.
    ASSERT_EQ(split.skipped.size(), 6u);
    EXPECT_EQ(split.skipped[0].reason, "this unit (PX510 201036) has no air-check");
    EXPECT_EQ(split.taken.size() + split.skipped.size(), backup.requests.size());
}

// ---- file names ----------------------------------------------------------------------------

TEST(FileName, KeepsToSafeCharactersAndTellsEveryUnitApart) {
    const struct {
        std::optional<std::string> serial;
        const char* name; // nullptr: only the rules are checked
    } cases[] = {
        {"201036-4711", "201036-4711"},
        {std::nullopt, "DW730_TONAL_201036"},
        {"  \t", nullptr}, // blank: not read, so the model and firmware
        {"SV 12", "SV_12"},
        {"SV_12", "SV_12"}, // the blank above comes close; nothing else does
        {"../../etc/passwd", nullptr},
        {"..", nullptr},
        {".", nullptr},
        {"._", nullptr},
        {"a/b", nullptr},
        {"a:b", nullptr},
        {"a\\b", nullptr},
        {std::string("a\0b", 3), nullptr},
        {"\xff\xfe\x1b[2J", nullptr},
        {std::string(70, 'x'), nullptr},
        {std::string(200, 'x'), nullptr},
    };
    std::set<std::string> names;
    for (const auto& c : cases) {
        const std::string name =
            store::UnitFileName(c.serial, params::TIdentity::FromVersion("201036", "DW730 TONAL"));
        EXPECT_EQ(name, c.name ? c.name : name);
        ASSERT_FALSE(name.empty());
        EXPECT_LE(name.size(), 64u);
        EXPECT_NE(name.front(), '.');
        EXPECT_TRUE(std::all_of(name.begin(), name.end(), [](char ch) {
            return std::isalnum(static_cast<unsigned char>(ch)) || ch == '.' || ch == '_' ||
                   ch == '-';
        })) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), std::size(cases) - 2); // the two blanks and the two "SV 12"
}

// ---- never overwritten, the newest kept -----------------------------------------------------

TEST(Backups, AreNeverOverwrittenAndOnlyTheNewestOfTheUnitAreKept) {
    TDataHome home;
    TCoreRig rig;
    Connect(rig, sim::MakeProfile("DW730 TONAL", "201036"));
    const std::string folder = home.Path();
    // Another unit's backup is none of this unit's business.
    QFile other(QString::fromStdString(home.Path("SV0000000002_20261208-140102.json")));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();
    // One of this unit's, from before each unit had a folder: listed, never removed.
    const std::string unit = "SV0000000001";
    const std::string flat = unit + "_20261208-120000.json";
    QFile old(QString::fromStdString(home.Path(flat)));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.close();
    const auto write = [&](int keep) {
        const auto written =
            store::WriteBackup(rig.conversation, folder, rig.clock.Now(), kTool, keep);
        EXPECT_TRUE(written) << written.error;
    };
    for (int i = 0; i < 3; ++i)
        write(0);
    EXPECT_EQ(Names(store::ListBackups(folder, unit)),
              (std::vector<std::string>{unit + "_20261208-140102-3.json",
                                        unit + "_20261208-140102-2.json",
                                        unit + "_20261208-140102.json", flat}));
    rig.clock.Advance(1000);
    write(2);
    EXPECT_EQ(Names(store::ListBackups(folder, unit)),
              (std::vector<std::string>{unit + "_20261208-140103.json",
                                        unit + "_20261208-140102-3.json", flat}));
    // The clock set back: the backup just written is kept all the same.
    rig.clock.Advance(-3600 * 1000);
    write(1);
    EXPECT_EQ(Names(store::ListBackups(folder, unit)),
              (std::vector<std::string>{unit + "_20261208-130103.json", flat}));
    EXPECT_TRUE(other.exists());
}

// ---- files that are no backup of this tool --------------------------------------------------

struct TBadFile {
    const char* name;
    std::string (*text)();
    std::string error; // after "FILE"
};

std::string ValidBackup() {
    TCoreRig rig;
    Connect(rig, sim::MakeProfile("DW730 TONAL", "201036"));
    const TDataHome home;
    const auto written = store::WriteBackup(rig.conversation, home.Path(), rig.clock.Now(), kTool);
    QFile file(QString::fromStdString(written.path));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll().toStdString();
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

class BadBackup : public ::testing::TestWithParam<TBadFile> {};

TEST_P(BadBackup, IsOneLineNamingTheFileAndNoSettings) {
    const TDataHome home;
    const std::string path = home.Path("b.json");
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const std::string text = GetParam().text();
    file.write(text.data(), static_cast<qint64>(text.size()));
    file.close();
    const store::TBackup backup = store::ReadBackup(path);
    EXPECT_FALSE(backup);
    EXPECT_EQ(backup.error, path + GetParam().error);
    EXPECT_TRUE(backup.requests.empty());
    EXPECT_TRUE(backup.raw.empty());
}

const std::string kNotOurs = ": not a backup of the Sonavelle customize tool";

INSTANTIATE_TEST_SUITE_P(
    Files, BadBackup,
    ::testing::Values(
        TBadFile{"Empty", [] { return std::string(); }, kNotOurs},
        TBadFile{"Truncated", [] { return ValidBackup().substr(0, 300); },
                 ":12: not valid JSON (unterminated object)"},
        TBadFile{"Corrupt", [] { return std::string("{\"unit\": {\"model\" \"DW720\"}}"); },
                 ":1: not valid JSON (missing name separator)"},
        TBadFile{"Binary",
                 [] {
                     return std::string("\x7f"
                                        "ELF\x02\x01\x01\0\0\0",
                                        10);
                 },
                 kNotOurs},
        TBadFile{"TooLarge", [] { return "{\"a\": \"" + std::string(1 << 20, 'x') + "\"}"; },
                 ": too large for a backup"},
        TBadFile{"OtherProduct",
                 [] { return Replaced(ValidBackup(), "Sonavelle customize tool", "Other tool"); },
                 kNotOurs},
        TBadFile{"SettingsFile", [] { return std::string("volume = 3\n"); }, kNotOurs},
        TBadFile{"ShowJson", [] { return Replaced(ValidBackup(), "\"backup\"", "\"later\""); },
                 kNotOurs},
        TBadFile{"UnknownSetting",
                 [] { return Replaced(ValidBackup(), "\"volume\": \"", "\"loudness\": \""); },
                 ": settings.loudness: unknown setting 'loudness' (known: volume, "
                 "auto-switching, hands-free, channel, recorder, dive-computer, receive-only, "
                 "voice-guide, air-check)"},
        TBadFile{"NoUnit", [] { return Replaced(ValidBackup(), "\"unit\"", "\"device\""); },
                 ": a damaged backup (its unit, time or raw values are missing)"}),
    [](const auto& param) { return std::string(param.param.name); });

// ---- a folder that cannot be written --------------------------------------------------------

TEST(Backup, IntoAFolderThatCannotBeMadeOrWrittenIsAnErrorAndNoFile) {
    TDataHome home;
    TCoreRig rig;
    Connect(rig, sim::MakeProfile("DW730 TONAL", "201036"));
    // A file where the folder should be.
    QFile blocker(QString::fromStdString(home.Path("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const std::string inFile = home.Path("file") + "/backups";
    auto written = store::WriteBackup(rig.conversation, inFile, rig.clock.Now(), kTool);
    EXPECT_EQ(written.error, "folder not writable: " + inFile);
    EXPECT_TRUE(written.path.empty());

    if (::geteuid() == 0) GTEST_SKIP() << "root writes into a read-only folder";
    const std::string readOnly = home.Path("ro");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(readOnly)));
    ASSERT_TRUE(QFile::setPermissions(QString::fromStdString(readOnly),
                                      QFile::ReadOwner | QFile::ExeOwner));
    written = store::WriteBackup(rig.conversation, readOnly, rig.clock.Now(), kTool);
    EXPECT_EQ(written.error, "folder not writable: " + readOnly + " (Permission denied)");
    EXPECT_TRUE(QDir(QString::fromStdString(readOnly)).isEmpty());
    QFile::setPermissions(QString::fromStdString(readOnly),
                          QFile::WriteOwner | QFile::ReadOwner | QFile::ExeOwner);
}

} // namespace
