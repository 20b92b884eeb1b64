// The command line against the window on the same unit: the real window in virtual time,
// chosen through its widgets as a person would, and a session on the same profile with the
// same choices. show reads what the window shows; Apply and Default send the same commands.
#include "CliCases.h"
#include "cli/Commands.h"
#include "demo/DemoRig.h"
#include "support/WindowWidgets.h"

#include <QJsonDocument>
#include <QJsonArray>
#include <QJsonObject>
#include <QRadioButton>

using namespace cli_cases;
using cli::TSetting;
using core::TControl;

namespace {

class TQuietDialogs final : public TDialogs {
  public:
    void ShowErrorBox(const QString& t) override { shown << t; }
    void ShowErrorMessage(const QString& c, const QString& t) override {
        shown << c + QLatin1Char('|') + t;
    }
    void ShowAbout(const QString& c, const QStringList&) override { shown << c; }
    QStringList shown;
};

// The window with the unit plugged in, identified and read back.
class TWindow {
  public:
    explicit TWindow(const sim::Profile& profile)
        : rig_(profile, std::make_unique<TQuietDialogs>(), demo::TTimeMode::Virtual) {}

    // Plugged in after the start, as a person does; true once the conversation rests.
    bool Connect() {
        if (!rig_.Settle()) return false;
        rig_.Plug();
        return TickUntil([&] {
            const core::TConversation& c = Conversation();
            return (c.Connected() && c.Running() && c.Phase() == core::TPhase::Ready) ||
                   (c.Phase() == core::TPhase::Closing && !c.Running());
        });
    }
    bool TickUntil(const std::function<bool()>& done, int maxTicks = 20000) {
        for (int i = 0; i < maxTicks; ++i) {
            if (done()) return true;
            if (!rig_.Tick()) return false;
        }
        return done();
    }
    // Clicks the button and waits until the run has ended (or waits at a refused write).
    bool Press(QAbstractButton* button) {
        if (!button->isEnabled()) return false;
        button->click();
        return TickUntil(
            [&] { return Conversation().Phase() == core::TPhase::Ready || Conversation().LastRun().refusal.has_value(); });
    }

    TForm1& Form() { return rig_.Form(); }
    std::optional<sim::ParamSet> Stored() {
        return rig_.Unit().Inspect([](sim::Transceiver& u) { return u.Stored(); });
    }
    const core::TConversation& Conversation() { return rig_.Form().Conversation(); }
    std::vector<std::string> Log() {
        std::vector<std::string> lines;
        for (const QString& line : Form().LogLines())
            lines.push_back(line.toStdString());
        return lines;
    }

  private:
    demo::TDemoRig rig_;
};

template <typename W> W* Widget(TForm1& form, TControl control) {
    return testing_support::Find<W>(&form, std::string(params::ControlName(control)).c_str());
}

// The choice as a person makes it: the radio button with the value's text, or the air check's
// box and its two lists.
void ChooseInWindow(TForm1& form, TSetting setting, const std::string& value) {
    if (setting == TSetting::AirCheck) {
        auto* box = testing_support::CheckBoxDivingTimeSignalEnable(&form);
        ASSERT_TRUE(box->isEnabled());
        if (box->isChecked() != (value != "off")) box->click();
        if (value == "off") return;
        const TAirCheckItems items = AirCheckItems(value);
        for (const auto& [combo, text] :
             {std::pair{testing_support::ComboBoxDivingTimeSignal1(&form), items.first},
              std::pair{testing_support::ComboBoxDivingTimeSignal2(&form), items.later}}) {
            ASSERT_TRUE(combo->isEnabled()) << text;
            const int index = combo->findText(QString::fromStdString(text));
            ASSERT_GE(index, 0) << text;
            combo->setCurrentIndex(index);
        }
        return;
    }
    auto* group = Widget<TRadioGroup>(form, cli::Info(setting).choice);
    ASSERT_TRUE(group->isEnabled()) << group->objectName().toStdString();
    const QStringList items = group->Items();
    for (int i = 0; i < items.size(); ++i) {
        if (IsWindowItem(setting, value, items[i].toStdString())) {
            group->Button(i)->click();
            return;
        }
    }
    ADD_FAILURE() << "no item for " << value << " in "
                  << items.join(QLatin1Char('|')).toStdString();
}

// ---- show reads what the window shows ------------------------------------------------------

class Show : public ::testing::TestWithParam<std::string> {};

TEST_P(Show, ReadsWhatTheWindowShows) {
    const sim::Profile profile = Preset(GetParam());
    TWindow window(profile);
    ASSERT_TRUE(window.Connect());
    TForm1& form = window.Form();

    TCapture out, err;
    cli::TCommandOptions options;
    options.out = out.File();
    options.err = err.File();
    options.session.messages = err.File();
    cli::TSimBench bench(profile, 1);
    ASSERT_EQ(cli::RunShow(bench, true, options), 0) << err.Text();
    const QJsonObject root =
        QJsonDocument::fromJson(QByteArray::fromStdString(out.Text())).object();

    const QJsonObject unit = root.value(QStringLiteral("unit")).toObject();
    EXPECT_EQ(unit.value(QStringLiteral("model")).toString(),
              testing_support::EditKIND(&form)->text());
    EXPECT_EQ(unit.value(QStringLiteral("firmware")).toString(),
              testing_support::Edit1(&form)->text());
    EXPECT_EQ(unit.value(QStringLiteral("serial")).toString(),
              testing_support::Edit2(&form)->text());
    EXPECT_EQ(unit.value(QStringLiteral("language")).toString(),
              testing_support::EditLanguage(&form)->text());
    const bool shown = root.value(QStringLiteral("settingsShown")).toBool();
    EXPECT_EQ(shown, testing_support::Label3(&form)->isHidden());
    if (!shown) return;

    const QJsonObject details = root.value(QStringLiteral("details")).toObject();
    std::map<TControl, bool> offered;
    for (const cli::TSettingInfo& info : cli::kSettings) {
        SCOPED_TRACE(info.name);
        const QJsonObject d = details
                                  .value(QString::fromUtf8(
                                      info.name.data(), static_cast<qsizetype>(info.name.size())))
                                  .toObject();
        const bool available = d.value(QStringLiteral("available")).toBool();
        offered[info.choice] = offered[info.choice] || available;
        if (!available) continue;
        const std::string value = d.value(QStringLiteral("value")).toString().toStdString();
        EXPECT_EQ(d.value(QStringLiteral("shown")).toString(),
                  Widget<TEdit>(form, info.box)->text());
        if (info.id == TSetting::AirCheck) {
            auto* box = testing_support::CheckBoxDivingTimeSignalEnable(&form);
            EXPECT_EQ(box->isChecked(), value != "off");
            if (value == "off") continue;
            const TAirCheckItems items = AirCheckItems(value);
            EXPECT_EQ(
                testing_support::ComboBoxDivingTimeSignal1(&form)->currentText().toStdString(),
                items.first);
            EXPECT_EQ(
                testing_support::ComboBoxDivingTimeSignal2(&form)->currentText().toStdString(),
                items.later);
            continue;
        }
        const auto* group = Widget<TRadioGroup>(form, info.choice);
        EXPECT_EQ(d.value(QStringLiteral("values")).toArray().size(), group->Count())
            << "a value for every item";
        ASSERT_GE(group->ItemIndex(), 0);
        const std::string item = group->Items().at(group->ItemIndex()).toStdString();
        EXPECT_TRUE(IsWindowItem(info.id, value, item))
            << value << " where the window shows " << item;
    }
    // A setting show has is one the window lets a person choose, and the other way round.
    for (const auto& [control, any] : offered) {
        auto* widget = Widget<QWidget>(form, control);
        EXPECT_EQ(widget->isEnabled(), any) << widget->objectName().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Presets, Show, ::testing::ValuesIn(Presets()), PresetTestName);

// ---- Apply and Default send what the window sends ----------------------------------------------

enum class TPick { First, Second, Last, OneChange };

struct TChoiceSet {
    const char* preset;
    TPick pick;
};

std::ostream& operator<<(std::ostream& out, const TChoiceSet& c) {
    return out << c.preset << " pick " << static_cast<int>(c.pick);
}

// The choices of a set for a unit that takes these values.
std::vector<std::pair<TSetting, std::string>> Choices(const core::TConversation& c, TPick pick) {
    std::vector<std::pair<TSetting, std::string>> choices;
    for (const cli::TSettingInfo& info : cli::kSettings) {
        const auto values = params::SettingValues(info.id, c.Identity());
        if (values.empty()) continue;
        switch (pick) {
        case TPick::First:
            choices.emplace_back(info.id, values.front());
            break;
        case TPick::Second:
            choices.emplace_back(info.id, values[1 % values.size()]);
            break;
        case TPick::Last:
        case TPick::OneChange:
            choices.emplace_back(info.id, values.back());
            break;
        }
        if (pick == TPick::OneChange) break;
    }
    return choices;
}

// The window and a session, each on a unit of the same profile.
struct TSideBySide {
    explicit TSideBySide(const std::string& preset)
        : profile(Preset(preset)), window(profile), cli(profile) {}
    ::testing::AssertionResult Connect() {
        if (!window.Connect()) return ::testing::AssertionFailure() << "the window did not connect";
        const cli::TOutcome outcome = cli.session.Connect(5000);
        if (!outcome.ok()) return ::testing::AssertionFailure() << outcome.message;
        return ::testing::AssertionSuccess();
    }
    // The commands each sent: the window's button clicked, and its command-line counterpart.
    struct TSent {
        std::vector<std::string> window, cli;
    };
    TSent Run(QAbstractButton* button, const std::function<cli::TOutcome()>& counterpart) {
        const std::size_t windowFrom = window.Log().size();
        EXPECT_TRUE(window.Press(button)) << button->objectName().toStdString();
        const std::size_t cliFrom = cli.session.LogLines().size();
        const cli::TOutcome outcome = counterpart();
        EXPECT_TRUE(outcome.ok()) << outcome.message;
        return {SentIn(window.Log(), windowFrom), SentIn(cli.session.LogLines(), cliFrom)};
    }

    const sim::Profile profile;
    TWindow window;
    TBenchRun cli;
};

class SameCommands : public ::testing::TestWithParam<TChoiceSet> {};

TEST_P(SameCommands, ApplySendsWhatTheWindowSendsForTheSameChoices) {
    TSideBySide both(GetParam().preset);
    ASSERT_TRUE(both.Connect());
    const auto choices = Choices(both.cli.c(), GetParam().pick);
    ASSERT_FALSE(choices.empty());
    for (const auto& [setting, value] : choices)
        ChooseInWindow(both.window.Form(), setting, value);

    const auto sent = both.Run(testing_support::SpeedButton2(&both.window.Form()),
                               [&] { return both.cli.session.Apply(Requests(choices)); });
    EXPECT_EQ(sent.cli, sent.window);
    EXPECT_EQ(both.cli.Stored(), both.window.Stored()) << "both units keep the same";
    if (!sent.window.empty()) {
        EXPECT_EQ(sent.window.back(), "SAVE");
    }
}

// Every firmware family, the models whose choices differ most (two channels, the receive-only
// switch, a model without voice guide or air check), every value at one end or the other.
std::vector<TChoiceSet> ChoiceSets() {
    std::vector<TChoiceSet> sets;
    for (const char* preset :
         {"DW720 KEL/201016", "DW720 QZ/201020", "DW730 TONAL/201026", "PX510/201029",
          "DW730 VELMORAS_SPECIAL/201033", "DW720 MIV/201036", "DW720 KEL/201036"})
        for (TPick pick : {TPick::First, TPick::Second, TPick::Last, TPick::OneChange})
            sets.push_back({preset, pick});
    return sets;
}

std::string ChoiceSetName(const ::testing::TestParamInfo<TChoiceSet>& info) {
    static const char* const kPicks[] = {"First", "Second", "Last", "OneChange"};
    std::string name =
        std::string(info.param.preset) + "_" + kPicks[static_cast<int>(info.param.pick)];
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Units, SameCommands, ::testing::ValuesIn(ChoiceSets()), ChoiceSetName);

class SameDefault : public ::testing::TestWithParam<std::string> {};

TEST_P(SameDefault, SendsWhatTheWindowSends) {
    TSideBySide both(GetParam());
    ASSERT_TRUE(both.Connect());
    const auto sent = both.Run(testing_support::SpeedButton3(&both.window.Form()),
                               [&] { return both.cli.session.Default(); });
    EXPECT_EQ(sent.cli, sent.window);
    EXPECT_EQ(sent.window, std::vector<std::string>{"CLEAR"});
    EXPECT_EQ(both.cli.Stored(), both.window.Stored());
}

INSTANTIATE_TEST_SUITE_P(Units, SameDefault,
                         ::testing::Values("DW720 KEL/201016", "DW730 TONAL/201026",
                                           "DW730 VELMORAS_SPECIAL/201033", "DW720 MIV/201036"),
                         PresetTestName);

} // namespace
