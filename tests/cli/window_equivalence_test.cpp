// The command line against the window on the same unit: the real window in virtual time,
// chosen through its widgets as a person would, and a session on the same profile with the
// same choices. show reads what the window shows (Apply and Default are the core's, tested there).
#include "CliCases.h"
#include "cli/Commands.h"
#include "demo/DemoRig.h"
#include "support/Recording.h"
#include "support/WindowWidgets.h"

#include <QJsonDocument>
#include <QJsonArray>
#include <QJsonObject>
#include <QRadioButton>

using namespace cli_cases;
using cli::TSetting;
using core::TControl;

namespace {

// The window with the unit plugged in, identified and read back.
class TWindow {
  public:
    explicit TWindow(const sim::Profile& profile)
        : rig_(profile, std::make_unique<testing_support::TRecordingDialogs>(),
               demo::TTimeMode::Virtual) {}

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
        return TickUntil([&] {
            return Conversation().Phase() == core::TPhase::Ready ||
                   Conversation().LastRun().refusal.has_value();
        });
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

} // namespace
