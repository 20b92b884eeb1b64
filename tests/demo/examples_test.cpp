// The example scenarios through the runner, in the real event loop, compared with the
// expected logs and control states in examples/expected (time stamps and the clock value
// masked). SV_UPDATE_EXPECTED=1 writes the files anew.
#include "demo/DemoRig.h"
#include "demo/ScenarioRunner.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>

namespace {

const QString kExamples = QStringLiteral(SV_EXAMPLES_DIR);

class TQuietDialogs final : public TDialogs {
  public:
    void ShowErrorBox(const QString& t) override { shown << t; }
    void ShowErrorMessage(const QString& c, const QString& t) override { shown << c + QLatin1Char('|') + t; }
    void ShowAbout(const QString& c, const QStringList&) override { shown << c; }
    QStringList shown;
};

QString Normalized(const TForm1& form) {
    static const QRegularExpression stamp(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d \\d\\d\\d,"));
    static const QRegularExpression clock(QStringLiteral("RTC SET \\d+"));
    // A status line is written by the tick, a received line by the reader's hand-over: in
    // real time the two interleave as the scheduler pleases, so the steps visited are
    // compared apart from the lines of the conversation.
    static const QRegularExpression status(QStringLiteral("^  -?\\d+ status$"));
    QStringList steps, lines;
    for (QString line : form.LogLines()) {
        line.remove(stamp);
        line.replace(clock, QStringLiteral("RTC SET <clock>"));
        (status.match(line).hasMatch() ? steps : lines) << line;
    }
    lines.prepend(steps.join(QLatin1Char(',')));
    lines << QString::fromUtf8(QJsonDocument(demo::ControlStates(form)).toJson(QJsonDocument::Indented));
    return lines.join(QLatin1Char('\n'));
}

class Examples : public ::testing::TestWithParam<const char*> {};

TEST_P(Examples, RunAsExpected) {
    const QString name = QString::fromLatin1(GetParam());
    const auto loaded = demo::LoadScenario((kExamples + QLatin1Char('/') + name + QStringLiteral(".scn")).toStdString());
    ASSERT_TRUE(loaded.Scenario) << loaded.Error;
    std::string error;
    const auto profile = demo::ScenarioProfile(*loaded.Scenario, error);
    ASSERT_TRUE(profile) << error;
    demo::TDemoRig rig(*profile, std::make_unique<TQuietDialogs>());
    const auto result = demo::RunScenario(*loaded.Scenario, rig);
    ASSERT_TRUE(result.Ok) << result.Error.toStdString() << "\n"
                           << rig.Form().LogLines().mid(rig.Form().LogLines().size() - 30).join(QLatin1Char('\n')).toStdString();

    const QString actual = Normalized(rig.Form());
    QFile expectedFile(kExamples + QStringLiteral("/expected/") + name + QStringLiteral(".txt"));
    if (qEnvironmentVariableIsSet("SV_UPDATE_EXPECTED")) {
        ASSERT_TRUE(expectedFile.open(QIODevice::WriteOnly));
        expectedFile.write(actual.toUtf8());
        return;
    }
    ASSERT_TRUE(expectedFile.open(QIODevice::ReadOnly)) << expectedFile.fileName().toStdString();
    const QStringList expected = QString::fromUtf8(expectedFile.readAll()).split(QLatin1Char('\n'));
    const QStringList got = actual.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < std::min(expected.size(), got.size()); ++i)
        ASSERT_EQ(got[i].toStdString(), expected[i].toStdString()) << "line " << i + 1;
    EXPECT_EQ(got.size(), expected.size());
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Examples,
                         ::testing::Values("connect-201036", "apply-201036", "default-201026",
                                           "old-firmware", "ng-on-save"),
                         [](const auto& p) {
                             std::string n = p.param;
                             for (auto& c : n)
                                 if (c == '-') c = '_';
                             return n;
                         });

TEST(ScenarioRunner, UnknownControlFailsBeforeAnythingRuns) {
    const auto loaded = demo::ParseScenario("unit DW730 TONAL/201036\nplug\npress SpeedButton9\n", ".");
    ASSERT_TRUE(loaded.Scenario);
    demo::TDemoRig rig(*sim::FindPreset("DW730 TONAL/201036"), std::make_unique<TQuietDialogs>());
    const auto result = demo::RunScenario(*loaded.Scenario, rig);
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(result.Error.toStdString(), "line 3: no control named 'SpeedButton9'");
    EXPECT_FALSE(rig.Plugged());
}

TEST(ScenarioRunner, ActionOnTheWrongKindOfControlFails) {
    const auto loaded = demo::ParseScenario("unit DW730 TONAL/201036\nchoose Edit1 0\n", ".");
    demo::TDemoRig rig(*sim::FindPreset("DW730 TONAL/201036"), std::make_unique<TQuietDialogs>());
    const auto result = demo::RunScenario(*loaded.Scenario, rig);
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(result.Error.toStdString(), "line 2: 'Edit1' is a TEdit, which this action cannot use");
}

TEST(ScenarioRunner, UnknownPresetIsReported) {
    demo::TScenario scenario;
    scenario.UnitPreset = "DW999/201036";
    std::string error;
    EXPECT_FALSE(demo::ScenarioProfile(scenario, error));
    EXPECT_EQ(error, "unknown unit preset 'DW999/201036'");
}

} // namespace
