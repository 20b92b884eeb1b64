// What the window tells of a run that did not end saved and of a unit it cannot write to:
// the log lies outside the window, so each failure is told once, in a box, with what to do.
// And the log itself, shown from the Info menu, copied and saved.
#include "support/SimLink.h"
#include "support/WindowWidgets.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <ostream>
#include <stdexcept>

using namespace testing_support;

namespace {

class WindowFailures : public SimWindowTest {
  protected:
    // Ticks on well past the end of any run: a failure told once stays told once.
    void RunOn() {
        RunUntil([this] { return !dialogs->failures.empty(); }, 3000);
        for (int i = 0; i < 2000; ++i)
            Step();
    }
};

// ---- runs that write ----------------------------------------------------------------------

class WindowRunFailures;

struct RunRow {
    const char* name;
    std::function<void(sim::Faults&)> fault;
    bool isDefault;                                    // Default rather than Apply
    std::function<void(WindowRunFailures&)> meanwhile; // after the press
    const char* says;                                  // null: nothing is told
};

void PrintTo(const RunRow& row, std::ostream* os) {
    *os << row.name;
}

class WindowRunFailures : public WindowFailures, public ::testing::WithParamInterface<RunRow> {
  public:
    void Unplug() { UnplugUnit(); }
    void FailWrites() { unit->FailWrites = true; }
    void Steps(int count) {
        for (int i = 0; i < count; ++i)
            Step();
    }
};

TEST_P(WindowRunFailures, AreToldOnceWithWhatToDo) {
    const RunRow& row = GetParam();
    sim::Profile profile = sim::MakeProfile("DW720 MIV", "201036");
    if (row.fault) row.fault(profile.faults);
    PlugUnit(profile);
    ASSERT_TRUE(RunToRest());
    ASSERT_TRUE(dialogs->failures.empty());
    if (row.isDefault) {
        SpeedButton3(form)->click();
    } else {
        auto* volume = RadioGroup1(form);
        volume->Button((volume->ItemIndex() + 1) % static_cast<int>(volume->Items().size()))
            ->click();
        SpeedButton2(form)->click();
    }
    if (row.meanwhile) row.meanwhile(*this);
    RunOn();
    if (!row.says) {
        EXPECT_TRUE(dialogs->failures.empty()) << dialogs->failures.front();
        return;
    }
    ASSERT_EQ(dialogs->failures.size(), 1u);
    EXPECT_NE(dialogs->failures[0].find(row.says), std::string::npos) << dialogs->failures[0];
    EXPECT_TRUE(dialogs->errors.empty() && dialogs->messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    , WindowRunFailures,
    ::testing::Values(
        RunRow{"Saved", nullptr, false, nullptr, nullptr},
        RunRow{"DefaultSaved", nullptr, true, nullptr, nullptr},
        RunRow{"SaveRefused", [](sim::Faults& f) { f.ng = {"SAVE"}; }, false, nullptr,
               "The save was not confirmed: it answered \"NG\" to \"SAVE\". "},
        RunRow{"SettingRefused", [](sim::Faults& f) { f.ng = {"SPAR"}; }, false, nullptr,
               "The unit refused a setting: it answered \"NG\" to \"SPAR "},
        RunRow{"ClearRefused", [](sim::Faults& f) { f.ng = {"CLEAR"}; }, true, nullptr,
               "did not restore its factory settings: it answered \"NG\" to \"CLEAR\"."},
        RunRow{"GarbledRefusal", [](sim::Faults& f) { f.garbage = {"SAVE"}; }, false, nullptr,
               "The save was not confirmed"},
        RunRow{"WentAway", nullptr, false,
               [](WindowRunFailures& test) {
                   test.Steps(5);
                   test.Unplug();
               },
               "The unit went away before the run ended"},
        RunRow{"WriteFailed", nullptr, false, [](WindowRunFailures& test) { test.FailWrites(); },
               "could not be written to (WRITE1_ERROR,"}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- a unit that cannot be written to -----------------------------------------------------

struct UnwritableRow {
    const char* name;
    hid::TErrorKind kind;
    const char* says;
};

void PrintTo(const UnwritableRow& row, std::ostream* os) {
    *os << row.name;
}

class WindowUnwritableUnit : public WindowTest,
                             public ::testing::WithParamInterface<UnwritableRow> {};

TEST_P(WindowUnwritableUnit, IsToldOnceAndAgainWhenTheUserTriesAgain) {
    unit = hid->Plug(TransceiverVendorID, 0x7802, false);
    unit->FailWrites = true;
    unit->FailKind = GetParam().kind;
    hid->NotifyChange();
    Tick(100);
    ASSERT_EQ(dialogs->failures.size(), 1u);
    EXPECT_NE(dialogs->failures[0].find(GetParam().says), std::string::npos)
        << dialogs->failures[0];

    hid->Plug(0x1209, 0x0001); // another device comes and goes: the same unit, told already
    Tick(100);
    EXPECT_EQ(dialogs->failures.size(), 1u);

    ButtonReconnect(form)->click(); // the user tries again
    Tick(100);
    EXPECT_EQ(dialogs->failures.size(), 2u);

    hid->Unplug(unit);
    unit = hid->Plug(TransceiverVendorID, 0x7802, false);
    unit->FailWrites = true;
    unit->FailKind = GetParam().kind;
    hid->NotifyChange(); // plugged in afresh
    Tick(100);
    EXPECT_EQ(dialogs->failures.size(), 3u);
    EXPECT_TRUE(dialogs->errors.empty());
}

INSTANTIATE_TEST_SUITE_P(
    , WindowUnwritableUnit,
    ::testing::Values(UnwritableRow{"NoUdevRule", hid::TErrorKind::AccessDenied,
                                    "Install the udev rule 70-sonavelle.rules"},
                      UnwritableRow{
                          "OtherError", hid::TErrorKind::Other,
                          "Its settings cannot be read. Unplug it and plug it in again."}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- the log ------------------------------------------------------------------------------

TEST_F(WindowFailures, ShowLogShowsEveryLineAndSavesThemAsTheLogFileHasThem) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    PlugUnit("DW730 TONAL", "201036");
    ASSERT_TRUE(RunToRest());
    form->WriteLog(std::string("OK \xE9"), kLogReceived); // the unit's bytes, one a character
    const QString path = QDir(dir.path()).filePath(QStringLiteral("saved.log"));
    dialogs->saveLog = true;
    dialogs->files = {path.toStdString()};

    Find<QAction>(form, "ShowLog1")->trigger();
    EXPECT_EQ(QString::fromStdString(dialogs->log), form->LogLines().join(QLatin1Char('\n')));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()),
              form->LogLines().join(QLatin1Char('\n')) + QLatin1Char('\n'));
    EXPECT_TRUE(form->LogLines().back().endsWith(QStringLiteral("<<OK \u00E9")));
}

// ---- the message boxes themselves ---------------------------------------------------------

// Answers the dialog about to be shown, from inside its event loop.
template <typename D> void WhenShown(std::function<void(D&)> answer) {
    QMetaObject::invokeMethod(
        qApp,
        [answer = std::move(answer)] {
            auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
            if (!dialog) {
                ADD_FAILURE() << "no dialog shown";
                QApplication::closeAllWindows();
                return;
            }
            answer(*dialog);
        },
        Qt::QueuedConnection);
}

QPushButton* Button(QWidget& dialog, const char* text) {
    for (auto* b : dialog.findChildren<QPushButton*>())
        if (b->text().remove(QLatin1Char('&')) == QLatin1String(text)) return b;
    throw std::logic_error(std::string("no button ") + text);
}

TEST(LogWindow, ShowsTheLinesReadOnlyToCopyAndSave) {
    TMessageBoxDialogs dialogs(nullptr);
    int saved = 0;
    QString shown;
    bool readOnly = false;
    WhenShown<QDialog>([&](QDialog& dialog) {
        auto* text = dialog.findChild<QPlainTextEdit*>();
        ASSERT_NE(text, nullptr);
        shown = text->toPlainText();
        readOnly = text->isReadOnly();
        Button(dialog, "Copy all")->click();
        Button(dialog, "Save as...")->click();
        Button(dialog, "Close")->click();
    });
    dialogs.ShowLog("Log", "first\nsecond \u00E9", [&] { ++saved; });
    EXPECT_EQ(shown, QStringLiteral("first\nsecond \u00E9"));
    EXPECT_TRUE(readOnly);
    EXPECT_EQ(QApplication::clipboard()->text(), shown);
    EXPECT_EQ(saved, 1);
}

struct AnswerRow {
    const char* name;
    std::function<void(QMessageBox&)> answer;
    std::optional<std::size_t> expected;
};

void PrintTo(const AnswerRow& row, std::ostream* os) {
    *os << row.name;
}

class MessageBoxQuestion : public ::testing::TestWithParam<AnswerRow> {};

TEST_P(MessageBoxQuestion, ButtonsAreNamedForTheirAnswersAndEscapeCancels) {
    TMessageBoxDialogs dialogs(nullptr);
    QStringList shown;
    WhenShown<QMessageBox>([&](QMessageBox& box) {
        for (QAbstractButton* b : box.buttons())
            shown << b->text().remove(QLatin1Char('&'));
        GetParam().answer(box);
    });
    EXPECT_EQ(dialogs.AskWhich("caption", "Which?", {"Chosen settings", "Unit's settings"}),
              GetParam().expected);
    shown.sort();
    EXPECT_EQ(shown, (QStringList{QStringLiteral("Cancel"), QStringLiteral("Chosen settings"),
                                  QStringLiteral("Unit's settings")}));
}

INSTANTIATE_TEST_SUITE_P(
    , MessageBoxQuestion,
    ::testing::Values(
        AnswerRow{"Escape", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); },
                  std::nullopt},
        AnswerRow{"Return", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); },
                  std::nullopt},
        AnswerRow{"Cancel", [](QMessageBox& box) { Button(box, "Cancel")->click(); }, std::nullopt},
        AnswerRow{"First", [](QMessageBox& box) { Button(box, "Chosen settings")->click(); },
                  std::size_t{0}},
        AnswerRow{"Second", [](QMessageBox& box) { Button(box, "Unit's settings")->click(); },
                  std::size_t{1}}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
