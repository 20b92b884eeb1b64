// Backups of a unit's settings: what is read back is what was written, for every simulated
// unit; the unit's serial number never reaches the file system as it is; nothing is ever
// overwritten and only the newest are kept, not even by conversations backing up at once; a
// file that is not a whole backup of this tool gives one line and no settings; the data folder
// is the same from every thread.
#include "StoreCases.h"
#include "store/Backups.h"
#include "store/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "support/FileSizeLimit.h"

#include <unistd.h>

#include <cstring>

#include <algorithm>
#include <atomic>
#include <latch>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
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

    std::vector<std::string> expected, got;
    for (const params::TSettingInfo& info : store::kSettings)
        if (const auto value = store::ChosenValue(c, info.id))
            expected.push_back(std::string(info.name) + "=" + *value);
    const store::TBackup backup = store::ReadBackup(written.path);
    if (expected.empty()) {
        // Nothing a restore could bring back: kept, but never taken.
        EXPECT_EQ(backup.error, written.path + ": a backup that holds no settings");
        EXPECT_TRUE(store::RestorableBackups(folder, c).empty());
        return;
    }
    ASSERT_TRUE(backup) << backup.error;
    EXPECT_EQ(store::RestorableBackups(folder, c).size(), 1u);
    EXPECT_EQ(backup.identity.model, c.Identity().model);
    EXPECT_EQ(backup.identity.version, c.Identity().version);
    EXPECT_EQ(backup.serial, c.Serial());
    EXPECT_EQ(backup.utc, "2026-12-08T05:01:02Z");
    EXPECT_EQ(backup.local, "2026-12-08T14:01:02+09:00");
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

TEST(FileName, SpellsEachSerialNumberOneToOneInSafeCharactersWhateverTheCase) {
    const struct {
        const char* what;
        std::optional<std::string> serial;
        const char* name; // nullptr: only the rules are checked
    } cases[] = {
        {"digits and dash", "201036-4711", "201036-4711"},
        {"not read", std::nullopt, "no-serial.DW730-TONAL-201036"},
        {"blank: not read", "  \t", "no-serial.DW730-TONAL-201036"},
        {"a blank", "SV 12", "SV_2012"},
        {"an underscore", "SV_12", "SV_5F12"},
        {"lower case", "sv12", "_73_7612"},
        {"upper case", "SV12", "SV12"},
        {"mixed case", "Sv12", "S_7612"},
        {"a device of Windows", "CON", "_43ON"},
        {"a port of Windows", "COM1", "_43OM1"},
        {"not a port", "COM12", "COM12"},
        {"an option", "-rf", "_2D_72_66"},
        {"a dot", "SV.1", "SV_2E1"},
        {"the folder above", "..", "_2E_2E"},
        {"the folder", ".", "_2E"},
        {"a way out", "../../etc/passwd", nullptr},
        {"a slash", "a/b", nullptr},
        {"a colon", "a:b", nullptr},
        {"a backslash", "a\\b", nullptr},
        {"a NUL", std::string("a\0b", 3), "_61_00_62"},
        {"escapes", "\xff\xfe\x1b[2J", "_FF_FE_1B_5B2J"},
        {"just short enough", std::string(64, 'X'), nullptr},
        {"too long", std::string(65, 'X'), nullptr},
        {"too long, another end", std::string(64, 'X') + "Y", nullptr},
        {"too long in escapes", std::string(70, 'x'), nullptr},
        {"long, cut at an escape", std::string(45, 'X') + "_____", nullptr},
    };
    std::set<std::string> names, folded;
    for (const auto& c : cases) {
        const std::string name =
            store::UnitFileName(c.serial, params::TIdentity::FromVersion("201036", "DW730 TONAL"));
        if (c.name) {
            EXPECT_EQ(name, c.name) << c.what;
        }
        ASSERT_FALSE(name.empty()) << c.what;
        EXPECT_LE(name.size(), 64u) << c.what;
        EXPECT_NE(name.front(), '.') << c.what;
        EXPECT_NE(name.front(), '-') << c.what;
        EXPECT_TRUE(std::all_of(name.begin(), name.end(),
                                [](char ch) {
                                    return std::isalnum(static_cast<unsigned char>(ch)) ||
                                           ch == '.' || ch == '_' || ch == '-';
                                }))
            << c.what << ": " << name;
        names.insert(name);
        folded.insert(QString::fromStdString(name).toLower().toStdString());
    }
    EXPECT_EQ(std::string(64, 'X'), store::UnitFileName(std::string(64, 'X'), {}));
    // Only the two units whose serial number was not read share a name, even where case is
    // not told apart (Windows).
    EXPECT_EQ(names.size(), std::size(cases) - 1);
    EXPECT_EQ(folded.size(), names.size());
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

// ---- the order of a unit's backups, and which are kept ---------------------------------------

std::string Created(const TDataHome& home, const std::string& name, const std::string& text) {
    const std::string path = home.Path(name);
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).path());
    QFile file(QString::fromStdString(path));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) << path;
    file.write(text.data(), static_cast<qint64>(text.size()));
    return path;
}

std::string Contents(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "(none)";
}

TEST(Backups, GoInTheOrderWrittenWhateverTheClockAndNoNameIsUsedTwice) {
    TDataHome home;
    TCoreRig rig;
    Connect(rig, sim::MakeProfile("DW730 TONAL", "201036"));
    const std::string folder = home.Path();
    const std::string unit = "SV0000000001";
    // Another unit's backup is none of this unit's business.
    const std::string other = Created(home, "SV0000000002_20261208-140102.json", "");
    // This unit's from before backups were numbered, in the flat layout (listed, never
    // removed) and in its folder (kept as the oldest).
    const std::string flat = unit + "_20261208-120000.json";
    Created(home, flat, "");
    const std::string older = unit + "_20261209-090000.json";
    Created(home, unit + "/" + older,
            Contents(
                store::WriteBackup(rig.conversation, home.Path("x"), rig.clock.Now(), kTool).path));
    std::vector<std::string> written;
    const auto write = [&](int keep) {
        const auto w = store::WriteBackup(rig.conversation, folder, rig.clock.Now(), kTool, keep);
        EXPECT_TRUE(w) << w.error;
        written.push_back(QFileInfo(QString::fromStdString(w.path)).fileName().toStdString());
    };
    write(0);
    write(0); // the same second
    EXPECT_EQ(Names(store::ListBackups(folder, unit)),
              (std::vector<std::string>{unit + "_000002_20261208-140102.json",
                                        unit + "_000001_20261208-140102.json", older, flat}));
    // The clock set back an hour (the end of summer time), then four runs keeping two: the
    // newest is the one written last, and a name freed by pruning is not taken again.
    rig.clock.Advance(-3600 * 1000);
    for (int i = 0; i < 4; ++i)
        write(2);
    EXPECT_EQ(Names(store::ListBackups(folder, unit)),
              (std::vector<std::string>{unit + "_000006_20261208-130102.json",
                                        unit + "_000005_20261208-130102.json", flat}));
    EXPECT_EQ(std::set<std::string>(written.begin(), written.end()).size(), written.size());
    const auto newest = store::RestorableBackups(folder, rig.conversation);
    ASSERT_FALSE(newest.empty());
    EXPECT_EQ(newest.front().path, home.Path(unit + "/" + written.back()));
    EXPECT_EQ(Contents(other), "");
}

// Files among a unit's backups that no restore may take: never taken for the newest,
// never counted among those kept, never removed.
TEST(Backups, ThatAreNotWholeBackupsOfTheUnitAreNeverTakenCountedOrRemoved) {
    TDataHome home;
    TCoreRig rig;
    Connect(rig, sim::MakeProfile("DW730 TONAL", "201036"));
    const std::string folder = home.Path(), unit = "SV0000000001";
    const auto good = store::WriteBackup(rig.conversation, folder, rig.clock.Now(), kTool);
    ASSERT_TRUE(good) << good.error;
    const std::string text = Contents(good.path);
    const std::string bad[] = {
        Created(home, unit + "/" + unit + "_000002_20261208-140103.json", ""),
        Created(home, unit + "/" + unit + "_000003_20261208-140104.json", text.substr(0, 900)),
        Created(home, unit + "/" + unit + "_000004_20261208-140105.json",
                Replaced(text, "\"SV0000000001\"", "\"SV0000000002\"")),
        Created(home, unit + "/" + unit + "_000005_20261208-140106.json",
                Replaced(text, "\"settings\": {", "\"settings\": {}, \"was\": {")),
    };
    auto restorable = store::RestorableBackups(folder, rig.conversation);
    ASSERT_EQ(restorable.size(), 1u);
    EXPECT_EQ(restorable.front().path, good.path);

    // Keeping one: the new one, numbered past the bad ones; the older good one goes.
    const auto next = store::WriteBackup(rig.conversation, folder, rig.clock.Now(), kTool, 1);
    ASSERT_TRUE(next) << next.error;
    EXPECT_EQ(QFileInfo(QString::fromStdString(next.path)).fileName().toStdString(),
              unit + "_000006_20261208-140102.json");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(good.path)));
    for (const std::string& path : bad)
        EXPECT_TRUE(QFile::exists(QString::fromStdString(path))) << path;
    restorable = store::RestorableBackups(folder, rig.conversation);
    ASSERT_EQ(restorable.size(), 1u);
    EXPECT_EQ(restorable.front().path, next.path);
}

TEST(Backups, OfUnitsWithoutASerialNumberAreKeptAllAndNeverRestoredAutomatically) {
    TDataHome home;
    const std::string folder = home.Path();
    std::vector<std::string> paths;
    for (int unit = 0; unit < 2; ++unit) {
        TCoreRig rig;
        sim::Profile profile = sim::MakeProfile("DW730 TONAL", "201036");
        profile.faults.ng = {"GSER"};
        Connect(rig, profile);
        ASSERT_EQ(store::UnitFileName(rig.conversation), "no-serial.DW730-TONAL-201036");
        const auto w = store::WriteBackup(rig.conversation, folder, rig.clock.Now(), kTool, 1);
        ASSERT_TRUE(w) << w.error;
        paths.push_back(w.path);
        EXPECT_TRUE(store::RestorableBackups(folder, rig.conversation).empty());
    }
    for (const std::string& path : paths)
        EXPECT_TRUE(QFile::exists(QString::fromStdString(path))) << path;
}

// "SV 1" and "SV_1" once shared a name: their old files are still restored, each to its unit.
TEST(Backups, WithTheOlderSharedNamesGoEachToTheUnitTheyName) {
    TDataHome home;
    const std::string folder = home.Path();
    std::map<std::string, std::string> own, old;
    for (const char* serial : {"SV 1", "SV_1"}) {
        TCoreRig rig;
        sim::Profile profile = sim::MakeProfile("DW730 TONAL", "201036");
        profile.serial = serial;
        Connect(rig, profile);
        own[serial] = store::WriteBackup(rig.conversation, folder, rig.clock.Now(), kTool).path;
        old[serial] = Created(home,
                              std::string("SV_1/SV_1_20261208-1") + (serial[2] == ' ' ? "1" : "2") +
                                  "0000.json",
                              Contents(own[serial]));
    }
    for (const char* serial : {"SV 1", "SV_1"}) {
        TCoreRig rig;
        sim::Profile profile = sim::MakeProfile("DW730 TONAL", "201036");
        profile.serial = serial;
        Connect(rig, profile);
        std::vector<std::string> paths;
        for (const store::TBackupFile& file : store::RestorableBackups(folder, rig.conversation))
            paths.push_back(file.path);
        EXPECT_EQ(paths, (std::vector<std::string>{own[serial], old[serial]})) << serial;
    }
}

// Conversations of one process back up their units at once, two of them each unit (two units
// that report one serial): every backup is written whole under a name of its own, and each
// unit's are numbered in turn.
TEST(Backups, OfManyUnitsWrittenAtOnceAreAllWholeAndNumberedInTurn) {
    TDataHome home;
    const std::string folder = home.Path();
    constexpr int kUnits = 4, kPerUnit = 2, kBackups = 3;
    std::vector<std::unique_ptr<TCoreRig>> rigs;
    for (int r = 0; r < kUnits * kPerUnit; ++r) {
        sim::Profile profile = sim::MakeProfile("DW730 TONAL", "201036");
        profile.serial = "SV-BENCH-" + std::to_string(r % kUnits);
        rigs.push_back(std::make_unique<TCoreRig>());
        Connect(*rigs.back(), profile);
        // A second apart: the two writers of a unit would not meet on one name.
        rigs.back()->clock.SetWall(kWallMs + 1000LL * r);
    }
    std::vector<std::string> errors(rigs.size());
    {
        std::latch start(static_cast<std::ptrdiff_t>(rigs.size()));
        std::vector<std::jthread> threads;
        for (std::size_t r = 0; r < rigs.size(); ++r)
            threads.emplace_back([&, r] {
                const TCoreRig& rig = *rigs[r];
                start.arrive_and_wait();
                for (int b = 0; b < kBackups && errors[r].empty(); ++b)
                    errors[r] =
                        store::WriteBackup(rig.conversation, folder, rig.clock.Now(), kTool).error;
            });
    }
    EXPECT_EQ(errors, std::vector<std::string>(rigs.size()));
    for (int u = 0; u < kUnits; ++u) {
        const TCoreRig& rig = *rigs[static_cast<std::size_t>(u)];
        const std::string unit = store::UnitFileName(rig.conversation);
        const std::vector<std::string> names = Names(store::ListBackups(folder, unit));
        EXPECT_EQ(Names(store::RestorableBackups(folder, rig.conversation)), names);
        std::vector<std::string> numbers, expected;
        for (const std::string& name : names)
            numbers.push_back(name.substr(unit.size() + 1, 6));
        for (int n = kPerUnit * kBackups; n > 0; --n)
            expected.push_back("00000" + std::to_string(n));
        EXPECT_EQ(numbers, expected) << unit;
    }
}

// ---- the data folder -----------------------------------------------------------------------

TEST(DataFolder, IsTheSameFromEveryThreadAndLeavesTheApplicationsNamesAlone) {
    TDataHome home;
    const std::string folder = store::DataFolder();
    EXPECT_EQ(folder, home.Path("Sonavelle/Customize"));
    const QString organisation = QCoreApplication::organizationName();
    const QString application = QCoreApplication::applicationName();
    constexpr int kThreads = 8, kCalls = 200;
    std::vector<std::string> other(kThreads); // a folder other than `folder`; empty: none
    std::atomic<int> working{kThreads};
    bool renamed = false;
    {
        std::latch start(kThreads + 1);
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                for (int i = 0; i < kCalls; ++i)
                    if (const std::string f = store::DataFolder(); f != folder)
                        other[static_cast<std::size_t>(t)] = f;
                --working;
            });
        // Whoever else reads the application's names meanwhile reads them as they are.
        start.arrive_and_wait();
        while (working > 0)
            renamed = renamed || QCoreApplication::organizationName() != organisation ||
                      QCoreApplication::applicationName() != application;
    }
    EXPECT_EQ(other, std::vector<std::string>(kThreads));
    EXPECT_FALSE(renamed);
}

// ---- whole or none -------------------------------------------------------------------------

// Hidden names too: a temporary file left behind is a failure.
QStringList Everything(const std::string& folder) {
    return QDir(QString::fromStdString(folder))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

TEST(Backup, CutShortIsAFailureThatLeavesNothingAndKeepsTheLastGoodOne) {
    TDataHome home;
    TCoreRig rig;
    Connect(rig, sim::MakeProfile("DW730 TONAL", "201036"));
    const std::string folder = home.Path(), unitFolder = home.Path("SV0000000001");
    const auto good = store::WriteBackup(rig.conversation, folder, rig.clock.Now(), kTool, 1);
    ASSERT_TRUE(good) << good.error;
    ASSERT_GT(Contents(good.path).size(), 1024u);
    const QStringList before = Everything(unitFolder);
    // The file system takes the first KiB only.
    EXPECT_TRUE(testing_support::WithFileSizeLimit(1024, [&] {
        const auto cut = store::WriteBackup(rig.conversation, folder, rig.clock.Now(), kTool, 1);
        const std::string expected = "backup not written: " + unitFolder +
                                     "/SV0000000001_000002_20261208-140102.json (" +
                                     std::strerror(EFBIG) + ")";
        if (cut.error != expected) std::fprintf(stderr, "%s\n", cut.error.c_str());
        return cut.path.empty() && cut.error == expected;
    })) << "not refused in the one line expected";
    EXPECT_EQ(Everything(unitFolder), before);
    EXPECT_EQ(store::RestorableBackups(folder, rig.conversation).at(0).path, good.path);
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
                 ": a damaged backup (its unit, time or raw values are missing)"},
        TBadFile{
            "NoSettings",
            [] { return Replaced(ValidBackup(), "\"settings\": {", "\"settings\": {}, \"x\": {"); },
            ": a backup that holds no settings"}),
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
    EXPECT_EQ(written.error, "folder not writable: " + readOnly);
    EXPECT_TRUE(QDir(QString::fromStdString(readOnly)).isEmpty());
    QFile::setPermissions(QString::fromStdString(readOnly),
                          QFile::WriteOwner | QFile::ReadOwner | QFile::ExeOwner);
}

} // namespace
