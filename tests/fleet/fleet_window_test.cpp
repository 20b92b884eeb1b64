// The fleet window serving simulated units on virtual time, headless: the test calls each
// step itself, answers the window's questions, and reads the widgets by name.
#include "fleet/FleetWindow.h"
#include "sim/Profile.h"
#include "store/DataFolder.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace {

using fleet::TFleetWindow;
using fleet::TStage;

// Answers as the test says; remembers what was asked and shown.
struct TAnswers {
    std::optional<std::string> file;
    bool confirm = false;
    std::vector<std::string> questions, errors;
};

class TRecordedDialogs final : public fleet::TFleetDialogs {
  public:
    explicit TRecordedDialogs(TAnswers& answers) : a_(answers) {}
    std::optional<std::string> ChooseSettingsFile() override { return a_.file; }
    bool Confirm(std::string_view, std::string_view question) override {
        a_.questions.emplace_back(question);
        return a_.confirm;
    }
    void ShowError(std::string_view, std::string_view text) override {
        a_.errors.emplace_back(text);
    }

  private:
    TAnswers& a_;
};

// A preset unit; with ngTo, it answers NG to that command.
sim::Profile Unit(const std::string& preset, const std::string& ngTo = {}) {
    sim::Profile unit = *sim::FindPreset(preset);
    if (!ngTo.empty()) unit.faults.ng.insert(ngTo);
    return unit;
}

class FleetWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(data_.isValid());
        before_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(data_.path()));
    }
    void TearDown() override {
        window_.reset();
        qputenv("XDG_DATA_HOME", before_);
    }

    // Units plugged in one every everyMs of their time (0: together), settings as a file's.
    TFleetWindow& Open(std::vector<sim::Profile> units, std::int64_t everyMs,
                       const std::string& settings = "volume = 2\n",
                       fleet::TPace pace = fleet::TPace::Manual) {
        cli::TCommandOptions options;
        options.session.simulated = true;
        window_ = std::make_unique<TFleetWindow>(
            [units, everyMs] { return std::make_unique<cli::TSimBench>(units, everyMs); }, options,
            std::make_unique<TRecordedDialogs>(answers_), pace);
        if (!settings.empty()) {
            const std::string path = data_.filePath(QStringLiteral("bench.conf")).toStdString();
            QFile file(QString::fromStdString(path));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(settings.c_str());
            file.close();
            answers_.file = path;
            Click("SettingsFileButton");
        }
        return *window_;
    }
    template <typename T = QWidget> T* Find(const char* name) const {
        T* widget = window_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void Click(const char* name) { Find<QPushButton>(name)->click(); }
    bool Enabled(const char* name) const { return Find<QPushButton>(name)->isEnabled(); }
    // Steps until done() holds or the fleet is idle; done() sees the window after each step.
    void Run(const std::function<bool()>& done = {}) {
        for (int ms = 0; ms < 120000; ++ms) {
            if ((done && done()) || window_->Fleet().Stage() == TStage::Idle) return;
            window_->Step();
        }
        FAIL() << "still running after 120 s of simulated time";
    }
    QTableWidget& Table() const { return *Find<QTableWidget>("UnitTable"); }
    std::string Cell(int row, int column) const {
        const QTableWidgetItem* item = Table().item(row, column);
        return item ? item->text().toStdString() : std::string();
    }
    std::string Summary() const { return Find<QLabel>("SummaryLabel")->text().toStdString(); }
    std::vector<std::string> Results() const {
        std::vector<std::string> results;
        for (int row = 0; row < Table().rowCount(); ++row)
            results.push_back(Cell(row, TFleetWindow::Result));
        return results;
    }
    QStringList Files(const QString& folder) const {
        QStringList files;
        const QDir dir(QString::fromStdString(store::DataFolder()) + u'/' + folder);
        for (const QString& sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            files += QDir(dir.filePath(sub)).entryList(QDir::Files);
        return files;
    }
    QStringList RecordLines() const {
        QFile file(QString::fromStdString(store::DataFolder()) +
                   QStringLiteral("/service-record.jsonl"));
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir data_;
    QByteArray before_;
    TAnswers answers_;
    std::unique_ptr<TFleetWindow> window_;
};

const std::vector<sim::Profile> kFour{Unit("DW730 TONAL/201036"), Unit("DW720 MIV/201033"),
                                      Unit("DW730 VELMORAS_SPECIAL/201036"), Unit("PX510/201036")};

TEST_F(FleetWindow, ServesFourUnitsEachInItsRowBackedUpAndRecordedAsTheCommandLineDoes) {
    Open(kFour, 100);
    EXPECT_FALSE(Enabled("StopTakingButton"));
    ASSERT_TRUE(Enabled("StartButton"));
    Click("StartButton");
    EXPECT_FALSE(Enabled("StartButton"));
    EXPECT_FALSE(Enabled("SettingsFileButton"));
    // Every state each row went through, and whether a write was seen part done.
    std::vector<std::set<std::string>> states(4);
    bool partWritten = false;
    const auto look = [&] {
        for (int row = 0; row < Table().rowCount(); ++row) {
            states[static_cast<std::size_t>(row)].insert(Cell(row, TFleetWindow::State));
            const int done =
                static_cast<QProgressBar*>(Table().cellWidget(row, TFleetWindow::Progress))
                    ->value();
            partWritten = partWritten || (done > 0 && done < 100);
        }
        return false;
    };
    Run(look);
    look();
    ASSERT_EQ(Table().rowCount(), 4);
    // The last one is over before it is unplugged.
    const std::set<std::string> steps{"identifying", "writing", "checking", "finished"};
    for (int row = 0; row < 4; ++row) {
        const sim::Profile& unit = kFour[static_cast<std::size_t>(row)];
        EXPECT_EQ(Cell(row, TFleetWindow::Port), "sim:hid#" + std::to_string(row + 1));
        EXPECT_EQ(Cell(row, TFleetWindow::Serial), cli::NthSerial(unit.serial, row + 1));
        EXPECT_EQ(Cell(row, TFleetWindow::Model), unit.model);
        EXPECT_EQ(Cell(row, TFleetWindow::Firmware), unit.firmware);
        for (const std::string& step : steps)
            EXPECT_TRUE(states[static_cast<std::size_t>(row)].count(step)) << row << " " << step;
    }
    EXPECT_TRUE(partWritten);
    EXPECT_EQ(Results(), std::vector<std::string>(4, "OK"));
    EXPECT_EQ(Summary(), "4 unit(s): 4 OK, 0 failed");
    EXPECT_TRUE(Enabled("StartButton"));
    // The command line's files: a backup of each unit, a record line each naming this program.
    EXPECT_EQ(Files(QStringLiteral("backups")).size(), 4);
    const QStringList record = RecordLines();
    ASSERT_EQ(record.size(), 4);
    for (const QString& line : record)
        EXPECT_TRUE(line.contains(QStringLiteral("\"sonavelle-fleet "))) << line.toStdString();
}

// The program's own pace: its timer runs while a run is under way, and stops with it.
TEST_F(FleetWindow, ItsTimerDrivesTheRunToItsEnd) {
    Open(kFour, 0, "volume = 2\n", fleet::TPace::Timer);
    Click("StartButton");
    QElapsedTimer waited;
    waited.start();
    while (window_->Fleet().Stage() != TStage::Idle && waited.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    EXPECT_EQ(window_->Fleet().Stage(), TStage::Idle);
    EXPECT_EQ(Summary(), "4 unit(s): 4 OK, 0 failed");
}

TEST_F(FleetWindow, FailedUnitsAreShownFailedWithTheirReasonAndTheOthersServed) {
    Open({Unit("DW730 TONAL/201036"), Unit("PX510/201036"), Unit("DW730 TONAL/201036", "SAVE")}, 0,
         "voice-guide = high\n");
    Click("StartButton");
    Run();
    const std::vector<std::string> results = Results();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0], "OK");
    EXPECT_NE(results[1].find("FAILED: "), std::string::npos) << results[1];
    EXPECT_NE(results[1].find("this unit (PX510 201036) has no voice-guide"), std::string::npos)
        << results[1];
    EXPECT_EQ(results[2].rfind("FAILED: ", 0), 0u) << results[2];
    EXPECT_NE(results[2].find("save"), std::string::npos) << results[2];
    EXPECT_EQ(Summary(), "3 unit(s): 1 OK, 2 failed\n"
                         "failed: SV0000000002 at sim:hid#2, SV0000000003 at sim:hid#3");
}

// Either stop, pressed while the first unit writes and the second is still to come.
struct TStop {
    const char* button;
    TStage during;       // the stage right after the press
    const char* summary; // its first line, once over
    const char* result;  // the first unit's, its beginning
    friend void PrintTo(const TStop& stop, std::ostream* os) { *os << stop.button; }
};

class FleetWindowStops : public FleetWindow, public ::testing::WithParamInterface<TStop> {};

TEST_P(FleetWindowStops, EndTheRunAsTheButtonSays) {
    const TStop& stop = GetParam();
    Open({Unit("DW730 TONAL/201036"), Unit("DW720 MIV/201033")}, 5000);
    Click("StartButton");
    Run([&] { return Cell(0, TFleetWindow::State) == "writing"; });
    ASSERT_EQ(Cell(0, TFleetWindow::State), "writing");
    Click(stop.button);
    EXPECT_EQ(window_->Fleet().Stage(), stop.during);
    EXPECT_FALSE(Enabled("StopTakingButton"));
    Run();
    EXPECT_EQ(Table().rowCount(), 1);
    EXPECT_EQ(Cell(0, TFleetWindow::Result).rfind(stop.result, 0), 0u)
        << Cell(0, TFleetWindow::Result);
    EXPECT_EQ(Summary().substr(0, Summary().find('\n')), stop.summary);
    // Stopped or not, the unit's run is in the record.
    EXPECT_EQ(RecordLines().size(), 1);
}

// Closing asks first while units are in progress; Yes stops them at once, recorded.
TEST_F(FleetWindow, ClosingWithUnitsInProgressAsksAndStopsThemOnYes) {
    Open({Unit("DW730 TONAL/201036")}, 0);
    window_->show();
    Click("StartButton");
    Run([&] { return Cell(0, TFleetWindow::State) == "writing"; });
    answers_.confirm = false;
    EXPECT_FALSE(window_->close());
    EXPECT_EQ(window_->Fleet().Stage(), TStage::Serving);
    answers_.confirm = true;
    EXPECT_TRUE(window_->close());
    EXPECT_EQ(answers_.questions.size(), 2u);
    EXPECT_EQ(Cell(0, TFleetWindow::Result).rfind("FAILED: ", 0), 0u);
    EXPECT_EQ(RecordLines().size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Buttons, FleetWindowStops,
                         ::testing::Values(TStop{"StopTakingButton", TStage::Finishing,
                                                 "1 unit(s): 1 OK, 0 failed", "OK"},
                                           TStop{"StopNowButton", TStage::Idle,
                                                 "1 unit(s): 0 OK, 1 failed", "FAILED: "}),
                         [](const ::testing::TestParamInfo<TStop>& stop) {
                             return std::string(stop.param.button);
                         });

// The first unit's settings, read and shown before they are taken.
struct TTemplate {
    const char* unit;
    bool confirm;
    const char* source; // what the window shows as chosen then ("": nothing)
    const char* error;  // the beginning of the error shown ("": none)
    friend void PrintTo(const TTemplate& t, std::ostream* os) {
        *os << t.unit << (t.confirm ? ", Yes" : ", No");
    }
};

class FleetWindowTemplate : public FleetWindow, public ::testing::WithParamInterface<TTemplate> {};

TEST_P(FleetWindowTemplate, IsTakenOnlyOnceConfirmed) {
    const TTemplate& t = GetParam();
    Open({Unit(t.unit), Unit(t.unit)}, 0, "");
    answers_.confirm = t.confirm;
    EXPECT_FALSE(Enabled("StartButton"));
    Click("TemplateButton");
    EXPECT_EQ(window_->Fleet().Stage(), TStage::ReadingTemplate);
    Run();
    // Only read: nothing backed up, nothing recorded, no row.
    EXPECT_TRUE(Files(QStringLiteral("backups")).isEmpty());
    EXPECT_TRUE(RecordLines().isEmpty());
    EXPECT_EQ(Table().rowCount(), 0);
    const std::string source = Find<QLabel>("SourceLabel")->text().toStdString();
    if (*t.error) {
        ASSERT_EQ(answers_.errors.size(), 1u);
        EXPECT_EQ(answers_.errors[0].rfind(t.error, 0), 0u) << answers_.errors[0];
        EXPECT_TRUE(answers_.questions.empty());
        EXPECT_EQ(source, "Settings: none chosen");
        return;
    }
    ASSERT_EQ(answers_.questions.size(), 1u);
    const std::string lines = Find<QPlainTextEdit>("SettingsView")->toPlainText().toStdString();
    EXPECT_EQ(Enabled("StartButton"), t.confirm);
    if (!t.confirm) {
        EXPECT_EQ(source, "Settings: none chosen");
        EXPECT_EQ(lines, "");
        return;
    }
    EXPECT_EQ(source, std::string("Settings: ") + t.source);
    // The question showed the lines that are now chosen.
    EXPECT_NE(answers_.questions[0].find(lines), std::string::npos) << answers_.questions[0];
    EXPECT_NE(lines.find("volume = 4\n"), std::string::npos) << lines;
    Click("StartButton");
    Run();
    EXPECT_EQ(Summary(), "2 unit(s): 2 OK, 0 failed");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FleetWindowTemplate,
    ::testing::Values(TTemplate{"DW720 MIV/201033", true,
                                "the settings of SV0000000001 (DW720 MIV 201033)", ""},
                      TTemplate{"DW720 MIV/201033", false, "", ""},
                      TTemplate{"DW730 TONAL/105", true, "",
                                "The settings of SV0000000001 at sim:hid#1 could not be read: "}),
    [](const ::testing::TestParamInfo<TTemplate>& answer) {
        std::string name = std::string(answer.param.unit) + (answer.param.confirm ? "_Yes" : "_No");
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

TEST_F(FleetWindow, ARowOpensThatUnitsLogKeptUpToDate) {
    Open(kFour, 0);
    Click("StartButton");
    Run([&] { return Table().rowCount() == 4 && Cell(1, TFleetWindow::State) == "writing"; });
    window_->OpenLog(1);
    const auto* log = Find<QPlainTextEdit>("UnitLogText");
    ASSERT_NE(log, nullptr);
    const int before = log->blockCount();
    Run();
    ASSERT_EQ(window_->Fleet().UnitCount(), 4u);
    const cli::TServedUnit& unit = window_->Fleet().UnitAt(1);
    QString expected;
    for (const std::string& line : unit.log)
        expected += QString::fromStdString(line) + u'\n';
    expected.chop(1);
    EXPECT_GT(log->blockCount(), before);
    EXPECT_EQ(log->toPlainText(), expected);
    EXPECT_TRUE(expected.contains(QStringLiteral("[sim:hid#2]")));
    EXPECT_FALSE(expected.contains(QStringLiteral("[sim:hid#1]")));
}

} // namespace
