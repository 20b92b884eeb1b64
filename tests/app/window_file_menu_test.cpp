// The File menu's settings files, backups and service record, on the window with a
// simulated unit and a fresh data folder. None of the items writes to the unit.
#include "store/DataFolder.h"
#include "store/ServiceRecord.h"
#include "store/Vocabulary.h"
#include "support/SimLink.h"
#include "support/WindowWidgets.h"

#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>

#include <map>

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
    dialogs->yes = {true}; // the settings chosen, not the unit's
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

    dialogs->picks = {0};
    Restore1(form)->trigger();
    ASSERT_EQ(dialogs->items.size(), 1u);
    EXPECT_TRUE(dialogs->items[0].ends_with("   volume, hands-free")) << dialogs->items[0];
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
