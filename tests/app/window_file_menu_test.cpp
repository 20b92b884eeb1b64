// The File menu's settings files, backups and service record, on the window with a
// simulated unit and a fresh data folder. None of the items writes to the unit.
#include "store/DataFolder.h"
#include "store/ServiceRecord.h"
#include "store/Requests.h"
#include "store/Vocabulary.h"
#include "support/SimLink.h"
#include "support/WindowWidgets.h"

#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <ostream>

using namespace testing_support;

namespace {

using TValues = std::map<std::string, std::optional<std::string>>;

class WindowFileMenu : public SimWindowTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(data.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
        journal = store::TJournalOptions{};
        SimWindowTest::SetUp();
    }
    void TearDown() override {
        SimWindowTest::TearDown();
        if (xdg.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", xdg);
    }

    void Ready(std::string_view model = "DW720 MIV") {
        PlugUnit(model, "201036");
        ASSERT_TRUE(RunToRest());
    }
    void Apply() {
        SpeedButton2(form)->click();
        ASSERT_TRUE(RunToRest());
    }
    // Clicks the item after the one checked, as the user would.
    static void ChooseOther(TRadioGroup* group) {
        group->Button((group->ItemIndex() + 1) % static_cast<int>(group->Items().size()))->click();
    }
    // Each setting's value as the unit holds it, or as chosen now.
    TValues Held() const { return Values(store::HeldValue); }
    TValues Chosen() const { return Values(store::ChosenValue); }
    template <typename F> TValues Values(F valueOf) const {
        TValues out;
        for (const auto& info : params::kSettings)
            out[std::string(info.name)] = valueOf(form->Conversation(), info.id);
        return out;
    }
    std::string Path(const std::string& name) const {
        return QDir(data.path()).filePath(QString::fromStdString(name)).toStdString();
    }
    void WriteFile(const std::string& name, const QByteArray& bytes) const {
        QFile file(QString::fromStdString(Path(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QTemporaryDir data;
    const QByteArray xdg = qgetenv("XDG_DATA_HOME");
};

// ---- the four items -----------------------------------------------------------------------

struct ItemRow {
    const char* name;
    void (*handler)(TForm1&);
    bool needsUnit;
    bool choosesOld; // afterwards the volume chosen is the one before the Apply
};

class WindowFileItems : public WindowFileMenu, public ::testing::WithParamInterface<ItemRow> {};

TEST_P(WindowFileItems, EnabledWhenTheyMakeSenseAndWriteNothingToTheUnit) {
    const ItemRow& row = GetParam();
    auto* item = Find<QAction>(form, row.name);
    EXPECT_EQ(item->isEnabled(), !row.needsUnit);
    row.handler(*form); // a disabled item refuses when triggered all the same
    EXPECT_EQ(dialogs->choosers.empty() && dialogs->listHeading.empty(), row.needsUnit);

    Ready();
    EXPECT_TRUE(item->isEnabled());
    const std::string before = *Held()["volume"];
    ChooseOther(RadioGroup1(form));
    Apply(); // backed up, then recorded
    const std::string after = *Held()["volume"];
    ASSERT_NE(before, after);
    WriteFile("old.txt", QByteArray("volume = ") + before.c_str());
    dialogs->files = {Path(row.choosesOld ? "old.txt" : "saved.txt")};
    dialogs->picks = {0};
    dialogs->choosers.clear();
    const std::size_t sent = unit->Sent.size();

    item->trigger();
    EXPECT_EQ(unit->Sent.size(), sent);
    EXPECT_EQ(Chosen()["volume"], row.choosesOld ? before : after);
    EXPECT_EQ(dialogs->choosers.size(), std::string(row.name) == "ServiceRecord1" ? 0u : 1u);
    EXPECT_TRUE(dialogs->messages.empty() && dialogs->informations.empty());
}

INSTANTIATE_TEST_SUITE_P(
    , WindowFileItems,
    ::testing::Values(
        ItemRow{"SaveSettings1", [](TForm1& f) { f.SaveSettings1Click(); }, true, false},
        ItemRow{"LoadSettings1", [](TForm1& f) { f.LoadSettings1Click(); }, true, true},
        ItemRow{"Restore1", [](TForm1& f) { f.Restore1Click(); }, true, true},
        ItemRow{"ServiceRecord1", [](TForm1& f) { f.ServiceRecord1Click(); }, false, false},
        ItemRow{"SaveRecordCsv1", [](TForm1& f) { f.SaveRecordCsv1Click(); }, false, false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(WindowFileMenu, TheRecordSavedAsCsvHoldsTheRunsOfTheDay) {
    Ready();
    ChooseOther(RadioGroup1(form));
    Apply();
    dialogs->files = {Path("record.csv")};
    SaveRecordCsv1(form)->trigger();
    QFile file(QString::fromStdString(Path("record.csv")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3); // a header, one run, nothing after the last line end
    EXPECT_TRUE(lines[0].startsWith("utc,local,tool,run,"));
    EXPECT_TRUE(lines[1].contains(",apply,") && lines[1].contains(",saved,")) << lines[1].data();
}

// ---- settings files -----------------------------------------------------------------------

class WindowSettingsFile : public WindowFileMenu,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(WindowSettingsFile, SavedOnOneUnitLoadOntoAnotherWithWhatItLacksSkipped) {
    Ready("DW720 MIV");
    ChooseOther(RadioGroup1(form));
    ChooseOther(RGChannel(form));
    const TValues chosen = Chosen();
    const std::string path = Path(std::string("unit") + GetParam());
    dialogs->which = {0}; // the settings chosen, not the unit's
    dialogs->files = {path};
    SaveSettings1(form)->trigger();
    EXPECT_EQ(dialogs->questions.size(), 1u);

    UnplugUnit();
    Ready("DW730 TONAL"); // no auto-switching, channel or recorder
    dialogs->files = {path};
    LoadSettings1(form)->trigger();
    const TValues loaded = Chosen();
    for (const auto& [name, value] : loaded)
        if (value) {
            EXPECT_EQ(value, chosen.at(name)) << name;
        }
    ASSERT_EQ(dialogs->informations.size(), 1u);
    for (const char* name : {"auto-switching", "channel", "recorder"})
        EXPECT_NE(dialogs->informations[0].find("\n" + std::string(name) + " = "),
                  std::string::npos)
            << name;
    EXPECT_TRUE(dialogs->messages.empty());
}

INSTANTIATE_TEST_SUITE_P(, WindowSettingsFile, ::testing::Values(".json", ".txt"),
                         [](const auto& p) { return std::string(p.param + 1); });

// Which settings are saved is asked with buttons named for them; Cancel (and Escape, which
// answers it) saves nothing and opens no chooser.
struct SaveWhich {
    const char* name;
    std::optional<std::size_t> answer;
    bool chosen; // the file holds the settings chosen rather than the unit's; none: no file
};

void PrintTo(const SaveWhich& row, std::ostream* os) {
    *os << row.name;
}

class WindowSaveWhich : public WindowFileMenu, public ::testing::WithParamInterface<SaveWhich> {};

TEST_P(WindowSaveWhich, TheAnswerNamesWhatIsSaved) {
    Ready();
    ChooseOther(RadioGroup1(form));
    const std::string path = Path("unit.txt");
    dialogs->which = {GetParam().answer};
    dialogs->files = {path};
    SaveSettings1(form)->trigger();
    ASSERT_EQ(dialogs->questions.size(), 1u);
    EXPECT_EQ(dialogs->answers, (std::vector<std::string>{"Chosen settings", "Unit's settings"}));
    const bool saved = GetParam().answer.has_value();
    EXPECT_EQ(dialogs->choosers.size(), saved ? 1u : 0u);
    EXPECT_EQ(QFile::exists(QString::fromStdString(path)), saved);
    if (!saved) return;
    const store::TRequests file = store::LoadSettingsFile(path);
    ASSERT_TRUE(file) << file.error;
    const auto volume =
        std::find_if(file.requests.begin(), file.requests.end(), [](const store::TRequest& r) {
            return r.setting == params::TSetting::Volume;
        });
    ASSERT_NE(volume, file.requests.end());
    EXPECT_EQ(volume->value, *(GetParam().chosen ? Chosen() : Held())["volume"]);
}

INSTANTIATE_TEST_SUITE_P(, WindowSaveWhich,
                         ::testing::Values(SaveWhich{"Chosen", 0, true},
                                           SaveWhich{"Unit", 1, false},
                                           SaveWhich{"Cancelled", std::nullopt, false}),
                         [](const auto& p) { return std::string(p.param.name); });

// Both choosers offer settings files by every name they go by, the command line's bench
// files (.conf) among them, first; and any file at all.
struct OfferedName {
    const char* item;
    const char* file;
};

void PrintTo(const OfferedName& row, std::ostream* os) {
    *os << row.item << " " << row.file;
}

class WindowSettingsFilter : public WindowFileMenu,
                             public ::testing::WithParamInterface<OfferedName> {};

TEST_P(WindowSettingsFilter, OffersSettingsFilesFirstAndAllFiles) {
    Ready();
    Find<QAction>(form, GetParam().item)->trigger();
    ASSERT_EQ(dialogs->choosers.size(), 1u);
    const QStringList filters =
        QString::fromStdString(dialogs->filters).split(QStringLiteral(";;"));
    EXPECT_EQ(filters.back(), QStringLiteral("All files (*)"));
    // As the chooser reads its first filter: the patterns inside its parentheses.
    const QString first = filters.front();
    const qsizetype open = first.indexOf(QLatin1Char('('));
    const QStringList patterns =
        first.mid(open + 1, first.lastIndexOf(QLatin1Char(')')) - open - 1).split(QLatin1Char(' '));
    const QString name = QString::fromLatin1(GetParam().file);
    EXPECT_TRUE(std::any_of(patterns.begin(), patterns.end(), [&](const QString& pattern) {
        return QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern))
            .match(name)
            .hasMatch();
    })) << first.toStdString();
}

INSTANTIATE_TEST_SUITE_P(, WindowSettingsFilter,
                         ::testing::Values(OfferedName{"LoadSettings1", "bench.conf"},
                                           OfferedName{"LoadSettings1", "unit.txt"},
                                           OfferedName{"LoadSettings1", "unit.json"},
                                           OfferedName{"SaveSettings1", "bench.conf"},
                                           OfferedName{"SaveSettings1", "unit.json"}),
                         [](const auto& p) {
                             std::string name = std::string(p.param.item) + "_" + p.param.file;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

struct BadFile {
    const char* name;
    QByteArray bytes; // %V: a volume other than the unit's
    const char* says;
};

void PrintTo(const BadFile& f, std::ostream* os) {
    *os << f.name;
}

class WindowBadSettingsFile : public WindowFileMenu,
                              public ::testing::WithParamInterface<BadFile> {};

TEST_P(WindowBadSettingsFile, OneMessageAndNothingChosen) {
    Ready();
    const TValues held = Held();
    QByteArray bytes = GetParam().bytes;
    WriteFile(GetParam().name, bytes.replace("%V", *held.at("volume") == "1" ? "2" : "1"));
    dialogs->files = {Path(GetParam().name)};
    LoadSettings1(form)->trigger();
    ASSERT_EQ(dialogs->messages.size(), 1u);
    EXPECT_NE(dialogs->messages[0].find(GetParam().says), std::string::npos)
        << dialogs->messages[0];
    EXPECT_TRUE(dialogs->informations.empty());
    EXPECT_EQ(Chosen(), held);
}

INSTANTIATE_TEST_SUITE_P(
    , WindowBadSettingsFile,
    ::testing::Values(
        BadFile{"corrupt.json", "{\"settings\": {\"volume\": \"%V\",", "not valid JSON"},
        BadFile{"binary.txt", QByteArray("volume = %V\n\0\x01\x02", 16), "not a text file"},
        BadFile{"large.txt", "volume = %V\n" + QByteArray(2 << 20, '#'), "too large"},
        BadFile{"other.json", "{\"product\": \"a mixer\", \"volume\": \"%V\"}",
                "no \"settings\" object"},
        BadFile{"unknown.txt", "volume = %V\nloudness = 11\n", "unknown setting 'loudness'"}),
    [](const auto& p) {
        return QFileInfo(QString::fromLatin1(p.param.name)).baseName().toStdString();
    });

// ---- backups and the record ---------------------------------------------------------------

TEST_F(WindowFileMenu, RestoringTheBackupOfAnApplyUndoesIt) {
    Ready();
    const TValues before = Held();
    ChooseOther(RadioGroup1(form));
    ChooseOther(RadioGroup4(form));
    Apply();
    ASSERT_NE(Held(), before);
    // A newer file among the unit's backups that holds nothing is never offered.
    QFile empty(QString::fromStdString(store::BackupFolder() +
                                       "/SV0000000001/SV0000000001_000099_20260302-093001.json"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();

    dialogs->picks = {0};
    Restore1(form)->trigger();
    ASSERT_EQ(dialogs->items.size(), 1u);
    // The values that differ, as the unit reported them and as the backup has them.
    EXPECT_EQ(dialogs->items[0].substr(19), "   volume: 5 -> 4 (PhoneOutVol 0 -> -3), "
                                            "hands-free: 3 -> 2 (CsgVoxNzccTh 0.6 -> 0.7)");
    Apply();
    UnplugUnit();
    ReplugUnit();
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(Held(), before);

    std::vector<std::string> runs;
    for (const auto& entry : store::ReadRecord(store::RecordPath()).entries)
        runs.push_back(entry.run);
    EXPECT_EQ(runs, (std::vector<std::string>{"apply", "restore"}));
    EXPECT_EQ(LogTexts().filter(QStringLiteral("  Backup saved: ")).size(), 2);
    EXPECT_EQ(LogTexts().filter(QStringLiteral("  Service record: saved")).size(), 2);
}

// Values no item of the window writes come back as the unit reported them, and the boxes
// show what a read-back of them shows.
TEST_F(WindowFileMenu, RestoreWritesBackTheValuesTheUnitReported) {
    sim::Profile odd = sim::MakeProfile("DW720 MIV", "201036");
    ASSERT_TRUE(odd.stored->Set("PhoneOutVol", "-7"));
    ASSERT_TRUE(odd.stored->Set("DivingTimeSignalSw", "1234"));
    PlugUnit(odd);
    ASSERT_TRUE(RunToRest());
    const TValues before = Held();
    ChooseOther(RadioGroup1(form));
    CheckBoxDivingTimeSignalEnable(form)->click();
    Apply();
    ASSERT_NE(sim->Stored()->Get("PhoneOutVol"), "-7");

    dialogs->picks = {0};
    Restore1(form)->trigger();
    Apply();
    EXPECT_EQ(sim->Stored()->Get("PhoneOutVol"), "-7");
    EXPECT_EQ(sim->Stored()->Get("DivingTimeSignalSw"), "1234");
    EXPECT_EQ(Held(), before);
    EXPECT_EQ(form->Conversation().Setting(params::TSetting::AirCheck).raw, "1234");
}

class WindowFailedBackup : public WindowFileMenu, public ::testing::WithParamInterface<bool> {};

TEST_P(WindowFailedBackup, AsksAndWritesOnlyOnYes) {
    Ready();
    // A file where the backups' folder would be.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(store::DataFolder())));
    QFile blocker(QString::fromStdString(store::BackupFolder()));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    ChooseOther(RadioGroup1(form));
    dialogs->yes = {GetParam()};
    const std::size_t sent = unit->Sent.size();
    Apply();
    ASSERT_EQ(dialogs->questions.size(), 1u);
    EXPECT_TRUE(dialogs->questions[0].starts_with(
        "The settings of this unit could not be backed up: folder not writable: "));
    EXPECT_TRUE(dialogs->questions[0].ends_with(". Write anyway?"));
    EXPECT_EQ(unit->Sent.size() > sent, GetParam());
}

INSTANTIATE_TEST_SUITE_P(, WindowFailedBackup, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? "Yes" : "No"; });

} // namespace
