// The parameter read-back as the window shows it: conversations with the simulated unit,
// and the read-back's edges driven by hand.
#include "support/SimLink.h"
#include "support/ConversationPeer.h"
#include "support/WindowWidgets.h"

using namespace testing_support;

namespace {

QString U(const char* s) {
    return QString::fromUtf8(s);
}

// Availability per model and firmware family is the core's to test (tests/core): the
// window only mirrors it, which the examples' byte-exact state checks.

using SimReadBack = SimWindowTest;

TEST_F(SimReadBack, FirmwareWithoutModelQueryShowsTheBasicSettingsOnly) {
    PlugUnit("DW730 TONAL", "201019");
    ASSERT_TRUE(RunToRest());
    ASSERT_EQ(form->Conversation().Phase(), core::TPhase::Ready);
    EXPECT_EQ(EditKIND(form)->text(), QString());
    for (QWidget* w : std::initializer_list<QWidget*>{
             RadioGroup1(form), RadioGroup3(form), RadioGroup4(form), RGChannel(form),
             RadioGroup5(form), SpeedButton2(form), SpeedButton3(form)})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    for (QWidget* w : std::initializer_list<QWidget*>{
             RgDiveComInterface(form), EdtDiveComInterface(form), RadioGroupVoiceGuideLevel(form),
             EditVoiceGuideLevel(form), GroupBoxDivingTimeSignal(form),
             CheckBoxDivingTimeSignalEnable(form), EditDivingTimeSignal(form)})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_EQ(RadioGroup4(form)->Items(), (QStringList{U("Off"), U("On")}));
    EXPECT_EQ(LabelParamCnt(form)->text(), U("ParameterCount=7"));
}

TEST_F(SimReadBack, ShowsTheStoredSetAndKeepsTheDefaultSet) {
    // Preset units hold "every setting different from the factory one".
    PlugUnit("DW720 MIV", "201036");
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(LabelParamCnt(form)->text(), U("ParameterCount=13"));
    EXPECT_EQ(testing_support::Peer(form->Conversation()).InitialParams().PhoneOutVol, -6);
    EXPECT_EQ(testing_support::Peer(form->Conversation()).InitialParams().CsgVoxNzccTh, 0.6);
    EXPECT_EQ(testing_support::Peer(form->Conversation()).InitialParams().Channel, "u");
    EXPECT_EQ(testing_support::Peer(form->Conversation()).InitialParams().VoiceGuideSwitch, 510);
    EXPECT_EQ(testing_support::Peer(form->Conversation()).InitialParams().DivingTimeSignalSw, 0);

    const std::pair<TEdit*, const char*> boxes[] = {
        {Edit5(form), "4"},
        {Edit7(form), "Off"},
        {Edit8(form), "2"},
        {EdtChannel(form), "S ch"},
        {Edit9(form), "All record"},
        {EdtDiveComInterface(form), "Beep"},
        {EditVoiceGuideLevel(form), "Low"},
        {EditDivingTimeSignal(form), "20min. 10min."},
    };
    for (auto [box, text] : boxes)
        EXPECT_EQ(box->text(), U(text)) << box->objectName().toStdString();
    EXPECT_EQ(RGChannel(form)->Items(), (QStringList{U("ch A"), U("ch S")}));
    EXPECT_EQ(RGChannel(form)->ItemIndex(), 1);
    EXPECT_TRUE(CheckBoxDivingTimeSignalEnable(form)->isChecked());
    EXPECT_EQ(ComboBoxDivingTimeSignal1(form)->currentIndex(), 1);
    EXPECT_EQ(ComboBoxDivingTimeSignal2(form)->currentIndex(), 1);
    EXPECT_TRUE(ComboBoxDivingTimeSignal1(form)->isEnabled());
}

TEST_F(SimReadBack, UnitWithoutStoredParametersShowsItsDefaults) {
    sim::Profile profile = sim::MakeProfile("DW730 VELMORAS_SPECIAL", "201036");
    profile.stored.reset();
    PlugUnit(profile);
    ASSERT_TRUE(RunUntil([&] { return ProgressBar1(form)->value() == 100; }));
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::ReadingCurrent);
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(Edit5(form)->text(), U("3"));   // PhoneOutVol -6
    EXPECT_EQ(Edit8(form)->text(), U("Off")); // VOXSw 0
    EXPECT_EQ(EdtChannel(form)->text(), U("A ch"));
    // The default set carries no receive-only switch: its dive-computer value is shown.
    EXPECT_EQ(EdtDiveComInterface(form)->text(), U("Off"));
    EXPECT_EQ(RgDiveComInterface(form)->title(), U("Recive only"));
    EXPECT_EQ(EditVoiceGuideLevel(form)->text(), U("Middle"));
    EXPECT_EQ(EditDivingTimeSignal(form)->text(), U("Off"));
}

TEST_F(SimReadBack, ReconnectSkipsTheDefaultSetUntilTheUnitIsUnplugged) {
    PlugUnit("DW730 TONAL", "201036");
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(testing_support::Peer(form->Conversation()).InitialReadCount(), 1);
    auto count = [&](const std::string& command) {
        const auto& sent = sim->Received();
        return std::count(sent.begin(), sent.end(), command);
    };
    EXPECT_EQ(count("GETTMPPARAM"), 1);

    ButtonReconnect(form)->click();
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Ready);
    EXPECT_EQ(count("GETTMPPARAM"), 1);
    EXPECT_EQ(count("GPAR"), 2);
    EXPECT_EQ(Edit5(form)->text(), U("4"));
    EXPECT_EQ(testing_support::Peer(form->Conversation()).InitialParams().PhoneOutVol,
              -6); // kept from the first read-back

    UnplugUnit();
    EXPECT_TRUE(LogHas(U("  Clear initParamReadCnt.")));
    ReplugUnit();
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(count("GETTMPPARAM"), 2);
    EXPECT_EQ(testing_support::Peer(form->Conversation()).InitialReadCount(), 1);
}

class UnplugDuringReadBack : public SimWindowTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(UnplugDuringReadBack, LeavesTheStepAndAPlugInStartsAtTwo) {
    PlugUnit("DW740 NEW", "201036");
    ASSERT_TRUE(
        RunUntil([&] { return params::StepNumber(form->Conversation().Phase()) == GetParam(); }));
    Step(); // a reply or two into it
    ASSERT_EQ(params::StepNumber(form->Conversation().Phase()), GetParam());
    UnplugUnit();
    EXPECT_EQ(params::StepNumber(form->Conversation().Phase()), GetParam());
    EXPECT_FALSE(form->Timer().Enabled());
    ReplugUnit();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::SendingClock);
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Ready);
}

INSTANTIATE_TEST_SUITE_P(Steps, UnplugDuringReadBack, ::testing::Values(7, 8));

TEST_F(SimReadBack, MalformedRealInTheDefaultSetIsShownAndTheReadBackWaits) {
    sim::Profile profile = sim::MakeProfile("DW730 TONAL", "201036");
    profile.defaults->Set("CsgVoxNzccTh", "0,6");
    PlugUnit(profile);
    ASSERT_FALSE(RunToRest(3000));
    EXPECT_EQ(
        form->Conversation().Phase(),
        core::TPhase::ReadingDefaults); // one reply short of the count; "Reconnect" is the way out
    EXPECT_EQ(dialogs->errors, QStringList{U("'0,6' is not a valid floating point value")});
    EXPECT_TRUE(LogTexts().filter(U("not a valid")).isEmpty()); // the box alone tells of it
    EXPECT_EQ(LabelParamCnt(form)->text(), U("ParameterCount=12"));
    EXPECT_EQ(ProgressBar1(form)->value(), 20 + 40 * 12 / 13);
    EXPECT_EQ(testing_support::Peer(form->Conversation()).InitialParams().CsgVoxNzccTh, 0);
}

// ---- The read-back driven reply by reply ----

class ReadBack : public WindowTest {
  protected:
    void Connected(const char* version, const char* model = "DW730 TONAL") {
        PlugTransceiver();
        SetIdentity(version, model, std::string(version) >= "201020",
                    std::string(version) >= "201033");
        testing_support::Peer(form->Conversation()).SetPhase(core::TPhase::ReadingDefaults);
    }
    void ToStepEight(const char* version, const char* model = "DW730 TONAL") {
        Connected(version, model);
        testing_support::Peer(form->Conversation()).SetPhase(core::TPhase::ReadingCurrent);
        testing_support::Peer(form->Conversation()).RestartReadBackWait();
    }
};

struct CountRow {
    const char* version;
    int expected;
};

class ExpectedCount : public ReadBack, public ::testing::WithParamInterface<CountRow> {};

TEST_P(ExpectedCount, EndsTheDefaultSetAndMovesTheBar) {
    Connected(GetParam().version);
    const int n = GetParam().expected;
    for (int i = 1; i < n; ++i)
        Answer("OK RecordSw 1");
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::ReadingDefaults);
    EXPECT_EQ(ProgressBar1(form)->value(), 20 + 40 * (n - 1) / n);
    Answer("OK ChannelChangeSw 0"); // not counted
    Answer("OK TxModeSw 1");        // not counted
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::ReadingDefaults);
    Answer("OK RecordSw 2");
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::ReadingCurrent);
    EXPECT_EQ(Commands().back(), "GPAR");
    EXPECT_EQ(ProgressBar1(form)->value(), 60);
    EXPECT_EQ(LabelParamCnt(form)->text(), QStringLiteral("ParameterCount=%1").arg(n));
    EXPECT_EQ(testing_support::Peer(form->Conversation()).InitialReadCount(), 1);
    EXPECT_EQ(testing_support::Peer(form->Conversation()).LastReadVersion(), GetParam().version);
    EXPECT_EQ(form->Conversation().CurrentReceivedCount(), 0);
    EXPECT_EQ(testing_support::Peer(form->Conversation()).InitialParams().RecordSw, 2);
}

INSTANTIATE_TEST_SUITE_P(Versions, ExpectedCount,
                         ::testing::Values(CountRow{"201016", 7}, CountRow{"201019", 7},
                                           CountRow{"201020", 8}, CountRow{"201025", 8},
                                           CountRow{"201026", 9}, CountRow{"201028", 9},
                                           CountRow{"201029", 10}, CountRow{"201032", 10},
                                           CountRow{"201033", 12}, CountRow{"201035", 12},
                                           CountRow{"201036", 13}, CountRow{"201999", 13}));

TEST_F(ReadBack, UnreadableRepliesRaiseTheErrorBoxAndAreDropped) {
    Connected("201036");
    Answer("OK CsgVoxNzccTh abc");
    Answer("OK PhoneOutVol");
    Answer("OK RxLevel x");
    EXPECT_EQ(dialogs->errors, (QStringList{U("'abc' is not a valid floating point value"),
                                            U("'OK PhoneOutVol' has no parameter value")}));
    EXPECT_EQ(testing_support::Peer(form->Conversation()).InitialReceivedCount(),
              1); // the integer fell back to its default
    EXPECT_EQ(testing_support::Peer(form->Conversation()).InitialParams().RxLevel, 28000);
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::ReadingDefaults);
    Answer("OK CsgVoxNzccTh 0.5");
    EXPECT_EQ(testing_support::Peer(form->Conversation()).InitialParams().CsgVoxNzccTh, 0.5);
    EXPECT_EQ(LabelParamCnt(form)->text(), U("ParameterCount=2"));
}

TEST_F(ReadBack, RepliesTooShortToReadAreShownByTheBoxAloneNotLogged) {
    Connected("201036");
    Answer("RxLevel 25000"); // no status word: the value would be the third token
    Answer("OK ChannelC");
    testing_support::Peer(form->Conversation()).SetPhase(core::TPhase::ReadingCurrent);
    testing_support::Peer(form->Conversation()).RestartReadBackWait();
    Answer("OK");
    Answer("RxLevel 25000");
    EXPECT_EQ(dialogs->errors, (QStringList{U("'RxLevel 25000' has no parameter value"),
                                            U("'OK ChannelC' has no parameter value"),
                                            U("'RxLevel 25000' has no parameter value")}));
    // The whole log since the connection: each reply as received, and the status lines.
    const QStringList log = LogTexts();
    QStringList received, notes;
    for (const QString& line : log.mid(log.lastIndexOf(U("  Connect device : Sonavelle"))))
        (line.startsWith(U("<<")) ? received : notes) << line;
    EXPECT_EQ(notes,
              (QStringList{U("  Connect device : Sonavelle"), U("  7 status"), U("  8 status")}));
    EXPECT_EQ(received.size(), 4);
    EXPECT_EQ(testing_support::Peer(form->Conversation()).InitialReceivedCount(), 0);
    EXPECT_EQ(form->Conversation().CurrentReceivedCount(), 0);
}

TEST_F(ReadBack, ChannelPairOfAnEarlierConnectionIsForgotten) {
    ToStepEight("201036", "DW740 NEW");
    Answer("OK Channel u");
    Answer("OK BaseFreq 3");
    ASSERT_EQ(EdtChannel(form)->text(), U("B ch"));

    // Each half alone, on a fresh connection, shows nothing.
    for (const char* half : {"OK Channel l", "OK BaseFreq 2"}) {
        hid->Unplug(unit);
        ToStepEight("201036", "DW740 NEW");
        Answer(half);
        EXPECT_EQ(RGChannel(form)->ItemIndex(), -1) << half;
        EXPECT_EQ(EdtChannel(form)->text(), QString()) << half;
        Answer("OK Channel u");
        Answer("OK BaseFreq 3");
    }
}

TEST_F(ReadBack, CurrentValuesEndOneSecondAfterTheLastReplyByTheClock) {
    ToStepEight("201036");
    const QDateTime start = clock->now;
    clock->now = start.addMSecs(500);
    hid->Deliver(unit, LineReport("OK TxSquelchSw 0"));
    form->Timer1Timer();
    EXPECT_EQ(Edit7(form)->text(), U("Off"));
    EXPECT_EQ(ProgressBar1(form)->value(), 63); // 60 + 40 / 13

    clock->now = start.addMSecs(1499);
    form->Timer1Timer();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::ReadingCurrent);
    // A clock set back neither ends the read-back nor holds it open for an hour.
    clock->now = start.addSecs(-3600);
    form->Timer1Timer();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::ReadingCurrent);
    clock->now = clock->now.addMSecs(999);
    form->Timer1Timer();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::ReadingCurrent);
    clock->now = clock->now.addMSecs(1);
    form->Timer1Timer();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Ready);
    EXPECT_FALSE(RadioGroup3(form)->isEnabled()); // shown, but TONAL has no such setting
    EXPECT_FALSE(RadioGroup1(form)->isEnabled()); // nothing shown
    EXPECT_TRUE(Edit5(form)->isEnabled());
}

TEST_F(ReadBack, CurrentReadBackErrorIsShownAndTheStepGoesOn) {
    ToStepEight("201036", "DW740 NEW");
    Answer("OK VOXSw 1");
    Answer("OK CsgVoxNzccTh 0.7.1");
    Answer("OK Channel");
    EXPECT_EQ(dialogs->errors.size(), 2);
    EXPECT_EQ(Edit8(form)->text(), U("5")); // no threshold read yet: 0 is the most sensitive
    EXPECT_EQ(form->Conversation().CurrentReceivedCount(), 1);
    Answer("OK CsgVoxNzccTh 0.75");
    EXPECT_EQ(Edit8(form)->text(), U("2"));
    clock->now = clock->now.addSecs(1);
    Tick();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Ready);
    EXPECT_TRUE(RadioGroup4(form)->isEnabled());
    EXPECT_FALSE(RadioGroup1(form)->isEnabled()); // no value shown
    EXPECT_TRUE(Edit5(form)->isEnabled());
}

TEST_F(ReadBack, OddValuesNeverBreakTheReadBack) {
    ToStepEight("201036", "DW740");
    const std::string replies[] = {"OK PhoneOutVol 1e308",
                                   "OK PhoneOutVol nan",
                                   "OK CsgVoxNzccTh -0",
                                   "OK VOXSw 2147483648",
                                   "OK RecordSw -2147483648",
                                   "OK DivingTimeSignalSw -2147483648",
                                   "OK DivingTimeSignalSw 2147483647",
                                   "OK BaseFreq 99999999999999",
                                   std::string("OK Channel \xFF\x01u", 14),
                                   "OK VoiceGuideSwitch -",
                                   "OK DiveConWarningSw +-3",
                                   std::string(200, 'x') + " Led y"};
    for (const auto& reply : replies)
        Answer(reply);
    EXPECT_EQ(dialogs->errors, QStringList{U("'nan' is not a valid floating point value")});
    EXPECT_EQ(Edit5(form)->text(), U("5"));        // a huge volume is the loudest
    EXPECT_EQ(Edit8(form)->text(), U("5"));        // on by default, threshold -0
    EXPECT_EQ(RadioGroup5(form)->ItemIndex(), -1); // limited to -1
    EXPECT_EQ(EditDivingTimeSignal(form)->text(), U("unknown"));
    EXPECT_EQ(EditVoiceGuideLevel(form)->text(), U("High")); // malformed: 0, which is "High"
    EXPECT_EQ(testing_support::Peer(form->Conversation()).CurrentParams().Led, "y");
    EXPECT_EQ(testing_support::Peer(form->Conversation()).CurrentParams().Channel, "\xFF");
    clock->now = clock->now.addSecs(1);
    Tick();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Ready);
    EXPECT_FALSE(RadioGroup5(form)->isEnabled());
}

TEST_F(ReadBack, NoAnswerToTheCurrentQueryStillFinishes) {
    ToStepEight("201036", "PX510");
    clock->now = clock->now.addSecs(1);
    Tick();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Ready);
    EXPECT_FALSE(RadioGroup1(form)->isEnabled());
    EXPECT_TRUE(Edit5(form)->isEnabled());
    EXPECT_TRUE(SpeedButton2(form)->isEnabled());
    EXPECT_FALSE(GroupBoxDivingTimeSignal(form)->isEnabled()); // PX510 has no air check
}

// ---- Display operations: values in and out of their tables ----

struct ShowRow {
    const char* version;
    const char* model;
    std::string reply;
    const char* control; // the choice
    int item;            // expected item index, -2: unchanged
    const char* text;    // expected box text, nullptr: unchanged
    int tag;             // -2: unchanged
};

class ShowValue : public ReadBack, public ::testing::WithParamInterface<ShowRow> {};

TEST_P(ShowValue, SetsChoiceBoxAndTagOrLeavesThem) {
    const auto& r = GetParam();
    ToStepEight(r.version, r.model);
    auto* choice = form->findChild<TRadioGroup*>(U(r.control));
    ASSERT_NE(choice, nullptr);
    TEdit* box = nullptr;
    for (auto [c, b] : std::initializer_list<std::pair<TRadioGroup*, TEdit*>>{
             {RadioGroup1(form), Edit5(form)},
             {RadioGroup3(form), Edit7(form)},
             {RadioGroup4(form), Edit8(form)},
             {RGChannel(form), EdtChannel(form)},
             {RadioGroup5(form), Edit9(form)},
             {RgDiveComInterface(form), EdtDiveComInterface(form)},
             {RadioGroupVoiceGuideLevel(form), EditVoiceGuideLevel(form)}})
        if (c == choice) box = b;
    choice->SetItemIndex(0);
    const auto boxId = *params::ControlNamed(box->objectName().toStdString());
    testing_support::Peer(form->Conversation()).SetTag(boxId, 42);
    SetPanelText(boxId, "before");
    Answer(r.reply);
    EXPECT_EQ(choice->ItemIndex(), r.item == -2 ? 0 : r.item);
    EXPECT_EQ(box->text(), r.text ? U(r.text) : U("before"));
    EXPECT_EQ(box->Tag, r.tag == -2 ? 42 : r.tag);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ShowValue,
    ::testing::Values(
        ShowRow{"201019", "", "OK RxLevel 22000", "RadioGroup1", 0, "1", 0},
        ShowRow{"201019", "", "OK RxLevel 22001", "RadioGroup1", 1, "2", 1},
        ShowRow{"201019", "", "OK RxLevel 65536", "RadioGroup1", 4, "5", 4},
        ShowRow{"201019", "", "OK RxLevel 65537", "RadioGroup1", -2, nullptr, -2},
        ShowRow{"201019", "", "OK RxLevel -1", "RadioGroup1", -2, nullptr, -2},
        ShowRow{"201020", "", "OK RxLevel 22000", "RadioGroup1", -2, nullptr, -2},
        ShowRow{"201020", "DW720 KEL", "OK RxOutLevel 12744", "RadioGroup1", 2, "3", 2},
        ShowRow{"201020", "DW720 KEL", "OK RxOutLevel 12745", "RadioGroup1", 3, "4", 3},
        ShowRow{"201020", "DW730 VELMORAS_SPECIAL", "OK RxOutLevel 12744", "RadioGroup1", 3, "4",
                3},
        ShowRow{"201020", "DW740", "OK RxOutLevel 12744", "RadioGroup1", 4, "5", 4},
        ShowRow{"201033", "DW740", "OK RxOutLevel 12744", "RadioGroup1", -2, nullptr, -2},
        ShowRow{"201033", "", "OK PhoneOutVol -9", "RadioGroup1", 1, "2", 1},
        ShowRow{"201033", "", "OK PhoneOutVol -9.5", "RadioGroup1", 0, "1", 0},
        ShowRow{"201033", "", "OK PhoneOutVol 0.5", "RadioGroup1", 4, "5", 4},
        ShowRow{"201033", "", "OK PhoneOutVolTrx -12", "RadioGroup1", -2, nullptr, -2},
        ShowRow{"201025", "", "OK VOXSw 3", "RadioGroup4", 1, "On", 1},
        ShowRow{"201026", "", "OK VOXSw 0", "RadioGroup4", 0, "Off", 0},
        ShowRow{"201036", "", "OK TxSquelchSw 1", "RadioGroup3", 1, "On", 1},
        ShowRow{"201036", "", "OK TxSquelchSw 2", "RadioGroup3", -2, nullptr, -2},
        ShowRow{"201036", "", "OK Channel l", "RGChannel", -2, nullptr, -2},
        ShowRow{"201036", "", "OK RecordSw 7", "RadioGroup5", 4, nullptr, 7},
        ShowRow{"201036", "", "OK RecordSw -5", "RadioGroup5", -1, nullptr, -5},
        ShowRow{"201036", "", "OK RecordSw 0", "RadioGroup5", 0, "OFF", 0},
        ShowRow{"201036", "", "OK DiveConWarningSw 2", "RgDiveComInterface", 1, "Beep", 1},
        ShowRow{"201036", "", "OK DiveConWarningSw 9", "RgDiveComInterface", 0, "Off", 0},
        ShowRow{"201036", "DW730 VELMORAS_SPECIAL", "OK DiveConWarningSw 3", "RgDiveComInterface",
                -2, nullptr, -2},
        ShowRow{"201036", "DW730 VELMORAS_SPECIAL", "OK TxModeSw 0", "RgDiveComInterface", 1, "On",
                1},
        ShowRow{"201036", "DW740", "OK TxModeSw 0", "RgDiveComInterface", -2, nullptr, -2},
        ShowRow{"201036", "", "OK VoiceGuideSwitch 0", "RadioGroupVoiceGuideLevel", 2, "High", 2},
        ShowRow{"201036", "", "OK VoiceGuideSwitch 120", "RadioGroupVoiceGuideLevel", 0, "Low",
                0}));

TEST_F(ReadBack, ChannelNeedsBothHalvesOfItsPair) {
    ToStepEight("201036", "DW720 MIV");
    Answer("OK Channel l");
    EXPECT_EQ(RGChannel(form)->ItemIndex(), -1);
    EXPECT_EQ(EdtChannel(form)->text(), QString());
    Answer("OK BaseFreq 3");
    EXPECT_EQ(RGChannel(form)->ItemIndex(), 1);
    EXPECT_EQ(EdtChannel(form)->text(), U("S ch"));
    EXPECT_EQ(RGChannel(form)->Items(), (QStringList{U("ch A"), U("ch S")}));
}

TEST_F(ReadBack, AirCheckValuesCheckOrClearTheBox) {
    ToStepEight("201036");
    Answer("OK DivingTimeSignalSw 2457900");
    EXPECT_EQ(EditDivingTimeSignal(form)->text(), U("10min. 5min."));
    EXPECT_EQ(EditDivingTimeSignal(form)->Tag, 1);
    EXPECT_TRUE(CheckBoxDivingTimeSignalEnable(form)->isChecked());
    // The group itself is enabled only when the read-back finishes.
    QWidget* group = GroupBoxDivingTimeSignal(form);
    EXPECT_TRUE(ComboBoxDivingTimeSignal1(form)->isEnabledTo(group));
    EXPECT_TRUE(Label12(form)->isEnabledTo(group));
    EXPECT_EQ(ComboBoxDivingTimeSignal2(form)->currentIndex(), 0);
    Answer("OK DivingTimeSignalSw " + std::to_string(600 * 4096 + 400));
    EXPECT_EQ(EditDivingTimeSignal(form)->text(), U("unknown"));
    EXPECT_EQ(EditDivingTimeSignal(form)->Tag, -1);
    EXPECT_FALSE(CheckBoxDivingTimeSignalEnable(form)->isChecked());
    EXPECT_FALSE(ComboBoxDivingTimeSignal1(form)->isEnabledTo(group));
    EXPECT_EQ(ComboBoxDivingTimeSignal1(form)->currentIndex(), -1);
    Answer("OK DivingTimeSignalSw -1"); // bits above 23 are ignored: 4095 s, 4095 s
    EXPECT_EQ(EditDivingTimeSignal(form)->text(), U("unknown"));
}

TEST_F(ReadBack, CheckingTheAirCheckBoxPicksTwentyAndTenMinutes) {
    CheckBoxDivingTimeSignalEnable(form)->setEnabled(true);
    GroupBoxDivingTimeSignal(form)->setEnabled(true);
    CheckBoxDivingTimeSignalEnable(form)->click();
    EXPECT_EQ(ComboBoxDivingTimeSignal1(form)->currentText(), U("in 20 min."));
    EXPECT_EQ(ComboBoxDivingTimeSignal2(form)->currentText(), U("every 10 min."));
    EXPECT_TRUE(Label11(form)->isEnabled());
    ComboBoxDivingTimeSignal1(form)->setCurrentIndex(3);
    CheckBoxDivingTimeSignalEnable(form)->click();
    EXPECT_EQ(ComboBoxDivingTimeSignal1(form)->currentIndex(), -1);
    EXPECT_FALSE(ComboBoxDivingTimeSignal2(form)->isEnabled());
    EXPECT_FALSE(Label11(form)->isEnabled());
    // One combo box still chosen: the other is left empty.
    ComboBoxDivingTimeSignal2(form)->setCurrentIndex(2);
    CheckBoxDivingTimeSignalEnable(form)->click();
    EXPECT_EQ(ComboBoxDivingTimeSignal1(form)->currentIndex(), -1);
    EXPECT_EQ(ComboBoxDivingTimeSignal2(form)->currentIndex(), 2);
}

TEST_F(ReadBack, ListsFollowTheModelAndVersionTexts) {
    RGChannel(form)->SetItemIndex(2);
    SetIdentity("", "DW720 MIV", false, false);
    EXPECT_EQ(RGChannel(form)->Items(), (QStringList{U("ch A"), U("ch S")}));
    EXPECT_EQ(RGChannel(form)->ItemIndex(), -1);
    SetIdentity("", "DW730 VELMORAS_SPECIAL", false, false);
    EXPECT_EQ(RGChannel(form)->Items(), (QStringList{U("ch A"), U("ch B"), U("ch C")}));
    EXPECT_EQ(RgDiveComInterface(form)->title(), U("Recive only"));
    EXPECT_EQ(RgDiveComInterface(form)->Items(), (QStringList{U("Off"), U("On")}));
    SetIdentity("", "dw730 velmoras_special", false, false);
    EXPECT_EQ(RgDiveComInterface(form)->title(), U("Dive-computer interface"));
    EXPECT_EQ(RgDiveComInterface(form)->Items(), (QStringList{U("Off"), U("Beep"), U("Voice")}));

    RadioGroup4(form)->SetItemIndex(1);
    SetIdentity("201026", "dw730 velmoras_special", false, false);
    EXPECT_EQ(RadioGroup4(form)->Count(), 6);
    EXPECT_EQ(RadioGroup4(form)->ItemIndex(), -1);
    EXPECT_FALSE(Label9(form)->isHidden());
    EXPECT_FALSE(Label10(form)->isHidden());
    SetIdentity("201025", "dw730 velmoras_special", false, false);
    EXPECT_EQ(RadioGroup4(form)->Items(), (QStringList{U("Off"), U("On")}));
    EXPECT_TRUE(Label9(form)->isHidden());
    EXPECT_TRUE(Label10(form)->isHidden());
}

} // namespace
