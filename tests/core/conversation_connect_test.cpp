// A unit plugged in, for every firmware family and model, against the simulated unit: the
// identity, the commands in their order, and the panel the conversation ends with.
#include "ConversationCases.h"
#include "support/ConversationPeer.h"
#include "support/CoreRig.h"
#include "support/VirtualHid.h"

#include "hid/HidControllerClass.h"
#include "hid/sim/ManualMainThread.h"
#include "hid/sim/TransceiverModel.h"

#include <algorithm>
#include <memory>

using namespace testing_support;
using namespace conversation_cases;

namespace {

constexpr std::string_view kNotSupported =
    "The Sonavelle firmware you have is not supported in this tool.\r\n"
    "Please update to the latest version.";

// The settings panel proper: hidden for a unit the tool does not support.
constexpr TControl kSettingsPanel[] = {
    TControl::GroupBox1, TControl::RadioGroup3, TControl::GroupBox2,    TControl::RadioGroup4,
    TControl::RGChannel, TControl::RadioGroup5, TControl::SpeedButton2, TControl::SpeedButton3};

struct TShown {
    int index;
    std::string_view text;
};

// What a preset unit's current set shows (see sim::PresetCurrentSet).
TShown PresetShown(const TCase& c, TSetting s) {
    switch (s) {
    case TSetting::Volume:
        return {3, "4"};
    case TSetting::AutoSwitching:
        return {0, "Off"};
    case TSetting::HandsFree:
        return c.sensitivity() ? TShown{2, "2"} : TShown{1, "On"};
    // The unit's own second channel, whether or not the tool knows the model.
    case TSetting::Channel:
        return {1, c.model() == "DW720 MIV" ? "S ch" : "B ch"};
    case TSetting::Recorder:
        return {3, "All record"};
    case TSetting::DiveCom:
        return {1, c.velmoras() ? "On" : "Beep"};
    case TSetting::VoiceGuide:
        return {0, "Low"};
    case TSetting::AirCheck:
        return {4, "20min. 10min."}; // tag: code of 20 min. / 10 min.
    }
    return {-1, ""};
}

class ConnectTest : public ::testing::TestWithParam<TCase> {
  protected:
    void ExpectNoErrors() const {
        EXPECT_TRUE(rig.dialogs.errors.empty()) << rig.dialogs.errors.front();
        EXPECT_EQ(rig.LogCount("Error"), 0);
        EXPECT_EQ(rig.LogCount("WRITE1_ERROR"), 0);
    }
    // Plugs the unit and runs the conversation until it rests at the step. Returns the
    // commands after the clock command, which must carry the local time, not UTC.
    std::vector<std::string> Connect(core::TPhase restsAt) {
        const TCase& c = GetParam();
        rig.PlugUnit(c.model(), c.version);
        EXPECT_TRUE(rig.RunToRest());
        EXPECT_EQ(rig.conversation.Phase(), restsAt);
        const auto sent = rig.SentSinceMark();
        if (sent.empty()) return {};
        EXPECT_EQ(sent.front(), "RTC SET " + std::to_string(rig.conversation.ClockValue()));
        EXPECT_EQ(rig.sim->ClockSeconds(), rig.conversation.ClockValue());
        const auto atStart = core::ClockValueAt(TManualClock::kStartUtcMs + TManualClock::kZoneMs);
        EXPECT_GE(rig.conversation.ClockValue(), atStart);
        EXPECT_LE(rig.conversation.ClockValue(), core::ClockValueAt(rig.clock.now.wallMs));
        return {sent.begin() + 1, sent.end()};
    }
    const sim::Profile& Unit() const { return rig.sim->GetProfile(); }

    TCoreRig rig;
};

using UploadFamily = ConnectTest;

TEST_P(UploadFamily, UploadsTheInformationFileThenLetsGo) {
    const TCase& c = GetParam();
    const auto sent = Connect(core::TPhase::Closing);
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[0], "VER");
    EXPECT_EQ(sent[1], "UPLS DWINFO.INI");
    EXPECT_TRUE(std::all_of(sent.begin() + 2, sent.end(),
                            [](const std::string& s) { return s.starts_with("UPLR"); }));

    EXPECT_EQ(rig.conversation.UploadedFile(), sim::BuildInfoFile(Unit()));
    EXPECT_EQ(rig[TControl::Edit2].text, Unit().serial);
    EXPECT_EQ(rig[TControl::Edit1].text, c.version);
    EXPECT_EQ(rig[TControl::EditKIND].text, "");
    EXPECT_TRUE(rig.LogHas("Upload : Done"));
    EXPECT_TRUE(rig[TControl::Label3].visible);
    for (TControl ctl : kSettingsPanel)
        EXPECT_FALSE(rig[ctl].visible) << ControlName(ctl);
    ExpectNoErrors();

    rig.Step(); // the closing step checks the unit in
    EXPECT_FALSE(rig.conversation.Connected());
    EXPECT_FALSE(rig.conversation.Running());
    EXPECT_FALSE(rig[TControl::File1].enabled);
}

INSTANTIATE_TEST_SUITE_P(Units, UploadFamily, ::testing::ValuesIn(Cases(TKind::Upload)), CaseName);

using UnsupportedFamily = ConnectTest;

TEST_P(UnsupportedFamily, ReadsTheSerialNumberAndShowsTheNotice) {
    const TCase& c = GetParam();
    EXPECT_EQ(Connect(core::TPhase::Closing), (std::vector<std::string>{"VER", "GSER"}));
    EXPECT_EQ(rig[TControl::Edit1].text, c.version);
    EXPECT_EQ(rig[TControl::Edit2].text, Unit().serial);
    EXPECT_FALSE(rig.conversation.Identity().extendedFirmware);
    EXPECT_TRUE(rig[TControl::Label3].visible);
    EXPECT_EQ(rig[TControl::Label3].text, kNotSupported);
    for (TControl ctl : kSettingsPanel)
        EXPECT_FALSE(rig[ctl].visible) << ControlName(ctl);
    ExpectNoErrors();
    rig.Step();
    EXPECT_FALSE(rig.conversation.Connected());
}

INSTANTIATE_TEST_SUITE_P(Units, UnsupportedFamily, ::testing::ValuesIn(Cases(TKind::Unsupported)),
                         CaseName);

using SupportedFamily = ConnectTest;

TEST_P(SupportedFamily, IdentifiesReadsBackAndOffersWhatTheModelHas) {
    const TCase& c = GetParam();
    const auto sent = Connect(core::TPhase::Ready);
    ASSERT_EQ(rig.conversation.Phase(), core::TPhase::Ready);
    std::vector<std::string> expected{"VER"};
    if (c.family->asksModel) expected.push_back("KIND");
    if (c.family->asksLanguage) expected.push_back("LANGUAGE");
    for (const char* s : {"GSER", "GETTMPPARAM", "GPAR"})
        expected.push_back(s);
    EXPECT_EQ(sent, expected);

    // Identity, as data and as shown.
    const params::TIdentity& id = rig.conversation.Identity();
    EXPECT_EQ(id.version, c.version);
    EXPECT_EQ(id.model, c.knownModel());
    EXPECT_EQ(id.extendedFirmware, c.family->asksModel);
    EXPECT_EQ(id.phoneVolume, c.family->asksLanguage);
    EXPECT_EQ(rig[TControl::Edit1].text, c.version);
    EXPECT_EQ(rig[TControl::EditKIND].text, c.knownModel());
    EXPECT_EQ(rig[TControl::Label8].visible, c.family->asksModel);
    EXPECT_EQ(rig[TControl::EditLanguage].text, c.family->asksLanguage ? Unit().language : "");
    EXPECT_EQ(rig[TControl::Label13].visible, c.family->asksLanguage);
    EXPECT_EQ(rig[TControl::Edit2].text, Unit().serial);

    // Both read-backs complete.
    EXPECT_EQ(testing_support::Peer(rig.conversation).ExpectedParamCnt(), c.family->expectedCount);
    EXPECT_EQ(rig[TControl::LabelParamCnt].text,
              "ParameterCount=" + std::to_string(c.family->expectedCount));
    EXPECT_EQ(rig[TControl::ProgressBar1].position, 100);

    // The lists follow the version and the model.
    EXPECT_EQ(rig[TControl::RadioGroup4].items.size(), c.sensitivity() ? 6u : 2u);
    EXPECT_EQ(rig[TControl::Label9].visible, c.sensitivity());
    // Until a model text arrives the list is the window's own.
    const std::vector<std::string> channels =
        !c.extended() ? std::vector<std::string>{"A ch", "B ch", "C ch"}
        : c.miv()     ? std::vector<std::string>{"ch A", "ch S"}
                      : std::vector<std::string>{"ch A", "ch B", "ch C"};
    EXPECT_EQ(rig[TControl::RGChannel].items, channels);
    EXPECT_EQ(rig[TControl::RgDiveComInterface].text,
              c.velmoras() ? "Recive only" : "Dive-computer interface");

    // Each setting: enabled exactly where the model offers it, showing the unit's value.
    for (TSetting s : kSettings) {
        SCOPED_TRACE(SettingName(s));
        const bool offered = c.Offers(s);
        EXPECT_EQ(rig[ChoiceOf(s)].enabled, offered);
        EXPECT_EQ(rig[BoxOf(s)].enabled, offered);
        if (!offered) continue;
        const TShown shown = PresetShown(c, s);
        EXPECT_EQ(rig[BoxOf(s)].text, shown.text);
        EXPECT_EQ(rig[BoxOf(s)].tag, shown.index);
        if (s != TSetting::AirCheck) {
            EXPECT_EQ(rig[ChoiceOf(s)].itemIndex, shown.index);
        } else {
            EXPECT_TRUE(rig[TControl::CheckBoxDivingTimeSignalEnable].checked);
            EXPECT_EQ(rig[TControl::ComboBoxDivingTimeSignal1].itemIndex, 1);
            EXPECT_EQ(rig[TControl::ComboBoxDivingTimeSignal2].itemIndex, 1);
        }
    }
    // Without the air check nothing of it may be left on, or Apply would count it.
    if (!c.Offers(TSetting::AirCheck)) {
        EXPECT_FALSE(rig[TControl::CheckBoxDivingTimeSignalEnable].checked);
        EXPECT_FALSE(rig[TControl::GroupBoxDivingTimeSignal].enabled);
        EXPECT_FALSE(rig[TControl::ComboBoxDivingTimeSignal1].enabled);
        EXPECT_EQ(rig[TControl::ComboBoxDivingTimeSignal1].itemIndex, -1);
    }
    EXPECT_EQ(rig[TControl::SpeedButton2].enabled, c.Adjustable());
    EXPECT_EQ(rig[TControl::SpeedButton3].enabled, c.Adjustable());
    EXPECT_FALSE(rig[TControl::Label3].visible);
    EXPECT_TRUE(rig[TControl::Timer1].enabled);
    EXPECT_TRUE(rig[TControl::File1].enabled);
    ExpectNoErrors();
}

INSTANTIATE_TEST_SUITE_P(Units, SupportedFamily, ::testing::ValuesIn(SupportedCases()), CaseName);

// ---- a unit beside a device this user cannot open or write to ------------------------------

// The conversation on the real controller over the simulated services, in virtual time: two
// transceivers attached together, one of them out of this user's reach.
struct TBeside {
    const char* name;
    sim::Access other; // the other's access
    bool otherFirst;   // listed before the good unit
    const char* errorBox;
};

void PrintTo(const TBeside& row, std::ostream* os) {
    *os << row.name;
}

class BesideAnUnusableDevice : public ::testing::TestWithParam<TBeside>,
                               protected testing_support::TVirtualHid {
  public:
    void Pass() { TVirtualHid::Pass(bench); }

  protected:
    TRecordingLog log;
    TRecordingDialogs dialogs;
    TRecordingView view;
    core::TUnitBench bench{core::TBenchPorts{controller.get(), &log, &dialogs, &view, &clock},
                           "9.9.9"};
    core::TConversation& conversation = bench.Unit();
};

TEST_P(BesideAnUnusableDevice, TheGoodUnitIsTakenAndIdentified) {
    const TBeside& row = GetParam();
    services.UseVirtualClock(main);
    main.SetErrorHandler([&](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            dialogs.ShowErrorBox(e.what());
        }
    });
    bench.Start();
    controller->Loaded();
    for (int i = 0; i < 10; ++i)
        Pass(); // the first look at the devices finds none

    sim::Profile good = sim::MakeProfile("DW730 TONAL", "201036");
    good.serial = "SV0000000042";
    sim::Profile other = good;
    other.serial = "SV0000000099";
    other.access = row.other;
    const auto plug = [&](const sim::Profile& p) {
        services.Plug(hid::sim::DeviceSpecOf(p, std::make_shared<hid::sim::TTransceiverModel>(p)));
    };
    if (row.otherFirst) plug(other);
    plug(good);
    if (!row.otherFirst) plug(other);

    for (int i = 0;
         i < 20000 && !(conversation.Connected() && conversation.Phase() == core::TPhase::Ready);
         ++i)
        Pass();
    EXPECT_EQ(conversation.Phase(), core::TPhase::Ready);
    EXPECT_EQ(conversation.Serial(), good.serial);
    EXPECT_TRUE(conversation.Supported());
    EXPECT_FALSE(conversation.LastRun().writeFailure.has_value());
    EXPECT_EQ(dialogs.errors,
              row.errorBox ? std::vector<std::string>{row.errorBox} : std::vector<std::string>{});
    bench.Shutdown();
    controller.reset();
}

INSTANTIATE_TEST_SUITE_P(
    Units, BesideAnUnusableDevice,
    ::testing::Values(
        TBeside{"UnopenableFirst", sim::Access::None, true, "Device cannot be opened"},
        TBeside{"UnopenableLast", sim::Access::None, false, "Device cannot be opened"},
        // Listed, but the first unit listed is the one the window takes.
        TBeside{"UnwritableLast", sim::Access::QueryOnly, false, nullptr}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
