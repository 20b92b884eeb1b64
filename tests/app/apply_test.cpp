// Apply and Default against the simulated unit: the commands in their order, the steps the
// tool answers itself, the bar, a refused write at every step, and what the unit keeps.
#include "support/SimLink.h"
#include "support/ConversationPeer.h"
#include "support/WindowWidgets.h"

using namespace testing_support;

namespace {

QString U(const char* s) {
    return QString::fromUtf8(s);
}

class SimApply : public SimWindowTest {
  protected:
    void Connect(const char* model, const char* firmware) {
        PlugUnit(model, firmware);
        ASSERT_TRUE(RunToRest());
        ASSERT_EQ(form->Conversation().Phase(), core::TPhase::Ready);
        mark_ = sim->Received().size();
    }
    // Commands the unit took since the last Connect or Since().
    std::vector<std::string> Sent() const {
        const auto& all = sim->Received();
        return {all.begin() + static_cast<std::ptrdiff_t>(mark_), all.end()};
    }
    void Since() { mark_ = sim->Received().size(); }
    // Apply pressed through its handler (the button itself is disabled for some units).
    void Apply() { form->SpeedButton2Click(); }
    // The step numbers a run goes through, each with the bar when the step was entered.
    std::vector<std::pair<int32_t, int>> Trace(int maxTicks = 500) {
        std::vector<std::pair<int32_t, int>> steps{
            {params::StepNumber(form->Conversation().Phase()), ProgressBar1(form)->value()}};
        for (int i = 0; i < maxTicks && form->Conversation().Phase() != core::TPhase::Ready; ++i) {
            Step();
            if (params::StepNumber(form->Conversation().Phase()) != steps.back().first)
                steps.emplace_back(params::StepNumber(form->Conversation().Phase()),
                                   ProgressBar1(form)->value());
        }
        return steps;
    }
    std::string StoredValue(const char* key) const { return sim->Stored()->Get(key).value_or("-"); }

    size_t mark_ = 0;
};

TEST_F(SimApply, NothingChangedSendsNothing) {
    Connect("DW720 MIV", "201036");
    ProgressBar1(form)->setValue(77);
    SpeedButton2(form)->click();
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Ready);
    EXPECT_EQ(ProgressBar1(form)->value(), 0);
    EXPECT_EQ(SpeedButton2(form)->Tag, 0);
    EXPECT_EQ(Label4(form)->text(), QString());
}

class ToneFirmware : public SimApply, public ::testing::WithParamInterface<const char*> {};

TEST_P(ToneFirmware, OlderFirmwareAnswersTheMissingStepsItself) {
    Connect("DW730 TONAL", GetParam());
    EXPECT_FALSE(SpeedButton2(form)->isEnabled()); // this unit's settings are fixed here
    RadioGroup5(form)->SetItemIndex(1);
    Apply();
    EXPECT_EQ(SpeedButton2(form)->Tag, 1);
    EXPECT_EQ(Label4(form)->text(), U("Updating."));
    const auto trace = Trace();
    const std::vector<std::string> expected{
        "SPAR RxOutLevel 12615", "SPAR TxSquelchSw 0", "SPAR VOXsw 1",    "SPAR Led b",
        "SPAR Channel u",        "SPAR BaseFreq 3",    "SPAR RecordSw 1", "SAVE"};
    EXPECT_EQ(Sent(), expected);
    std::vector<int32_t> steps;
    for (auto [s, bar] : trace)
        steps.push_back(s);
    EXPECT_EQ(steps, (std::vector<int32_t>{10, 11, 19, 13, 14, 15, 16, 21, 22, 23, 17, 1}));
    EXPECT_EQ(StoredValue("RecordSw"), "1");
    EXPECT_EQ(Edit9(form)->text(), U("Transmitting record"));
    EXPECT_EQ(Edit9(form)->Tag, 1);
    EXPECT_EQ(Label4(form)->text(), QString());
    EXPECT_EQ(ProgressBar1(form)->value(), 100);
    EXPECT_TRUE(SpeedButton2(form)->isEnabled()); // the end of a run enables both buttons
}

TEST_P(ToneFirmware, LocallyAnsweredStepsTakeOneTickEach) {
    Connect("DW730 TONAL", GetParam());
    RadioGroup3(form)->SetItemIndex(1);
    Apply();
    ASSERT_TRUE(
        RunUntil([&] { return form->Conversation().Phase() == core::TPhase::WritingVoiceGuide; }));
    const size_t before = form->LogLines().size();
    Step();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::WritingAirCheck);
    Step();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::SendingSave);
    Step();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Saving);
    EXPECT_EQ(Sent().back(), "SAVE");
    // Only the status lines and the SAVE command were logged meanwhile.
    const QStringList log = form->LogLines().mid(static_cast<qsizetype>(before));
    EXPECT_EQ(log.filter(U(">>")).size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Versions, ToneFirmware,
                         ::testing::Values("201020", "201021", "201022", "201023", "201024",
                                           "201025"));

struct FullRun {
    const char* model;
    std::vector<std::string> commands;
};

class CurrentFirmware : public SimApply, public ::testing::WithParamInterface<FullRun> {};

TEST_P(CurrentFirmware, WritesEverySettingTheUnitHas) {
    Connect(GetParam().model, "201036");
    RadioGroup1(form)->SetItemIndex(0);
    SpeedButton2(form)->click();
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(Sent(), GetParam().commands);
    EXPECT_EQ(StoredValue("PhoneOutVol"), "-12");
    EXPECT_EQ(Edit5(form)->text(), U("1"));
    EXPECT_EQ(Edit5(form)->Tag, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Models, CurrentFirmware,
    ::testing::Values(
        FullRun{"DW730 TONAL",
                {"SPAR PhoneOutVol -12", "SPAR TxSquelchSw 0", "SPAR VOXsw 1",
                 "SPAR CsgVoxNzccTh 0.7", "SPAR Led b", "SPAR Channel u", "SPAR BaseFreq 3",
                 "SPAR RecordSw 3", "SPAR DiveConWarningSw 2", "SPAR VoiceGuideSwitch 120",
                 "SPAR DivingTimeSignalSw 4915800", "SAVE"}},
        FullRun{"DW730 VELMORAS_SPECIAL",
                {"SPAR PhoneOutVol -12", "SPAR TxSquelchSw 0", "SPAR VOXsw 1",
                 "SPAR CsgVoxNzccTh 0.7", "SPAR Led b", "SPAR Channel u", "SPAR BaseFreq 3",
                 "SPAR RecordSw 3", "SPAR TxModeSw 0", "SPAR VoiceGuideSwitch 120",
                 "SPAR DivingTimeSignalSw 4915800", "SAVE"}},
        FullRun{"DW720 MIV",
                {"SPAR PhoneOutVol -12", "SPAR TxSquelchSw 0", "SPAR VOXsw 1",
                 "SPAR CsgVoxNzccTh 0.7", "SPAR Led b", "SPAR Channel l", "SPAR BaseFreq 3",
                 "SPAR RecordSw 3", "SPAR DiveConWarningSw 2", "SPAR VoiceGuideSwitch 120",
                 "SPAR DivingTimeSignalSw 4915800", "SAVE"}},
        FullRun{"DW720 QZ",
                {"SPAR PhoneOutVol -12", "SPAR TxSquelchSw 0", "SPAR VOXsw 1",
                 "SPAR CsgVoxNzccTh 0.7", "SPAR Led b", "SPAR Channel u", "SPAR BaseFreq 3",
                 "SPAR RecordSw 3", "SPAR DiveConWarningSw 2", "SPAR DivingTimeSignalSw 4915800",
                 "SAVE"}},
        FullRun{"PX510",
                {"SPAR PhoneOutVol -12", "SPAR TxSquelchSw 0", "SPAR VOXsw 1",
                 "SPAR CsgVoxNzccTh 0.7", "SPAR Led b", "SPAR Channel u", "SPAR BaseFreq 3",
                 "SPAR RecordSw 3", "SPAR DiveConWarningSw 2", "SAVE"}}),
    [](const auto& run) {
        std::string name = run.param.model;
        for (char& c : name)
            if (c == ' ') c = '_';
        return name;
    });

TEST_F(SimApply, BarMovesByTheShareOfTheExpectedCount) {
    Connect("DW730 TONAL", "201036");
    RadioGroup1(form)->SetItemIndex(0);
    SpeedButton2(form)->click();
    const std::vector<std::pair<int32_t, int>> expected{
        {10, 23}, {11, 30}, {12, 38}, {19, 38}, {13, 46},  {14, 53}, {15, 61},
        {16, 69}, {21, 76}, {22, 84}, {23, 92}, {17, 100}, {1, 100}};
    EXPECT_EQ(Trace(), expected);
}

TEST_F(SimApply, BarStopsFullWhenTheRunHasMoreStepsThanTheCount) {
    // Seven expected parameters and nine counting steps: the bar must not be left behind at
    // the last value within its range.
    Connect("DW740 NEW", "201019");
    RadioGroup1(form)->SetItemIndex(0);
    SpeedButton2(form)->click();
    const std::vector<std::pair<int32_t, int>> expected{{10, 42},  {11, 57},  {19, 71},  {13, 85},
                                                        {14, 100}, {15, 100}, {16, 100}, {21, 100},
                                                        {22, 100}, {23, 100}, {17, 100}, {1, 100}};
    EXPECT_EQ(Trace(), expected);
    EXPECT_EQ(Sent().front(), "SPAR RxLevel 22000");
    EXPECT_EQ(StoredValue("RxLevel"), "22000");
}

TEST_F(SimApply, HalfChosenAirCheckIsSwitchedOffFirst) {
    Connect("DW720 KEL", "201036");
    ASSERT_TRUE(CheckBoxDivingTimeSignalEnable(form)->isChecked());
    ComboBoxDivingTimeSignal1(form)->setCurrentIndex(0);
    ComboBoxDivingTimeSignal2(form)->setCurrentIndex(2);
    SpeedButton2(form)->click();
    EXPECT_FALSE(CheckBoxDivingTimeSignalEnable(form)->isChecked());
    EXPECT_EQ(ComboBoxDivingTimeSignal1(form)->currentIndex(), -1);
    EXPECT_EQ(SpeedButton2(form)->Tag, 1);
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(Sent().at(10), "SPAR DivingTimeSignalSw 0");
    EXPECT_EQ(StoredValue("DivingTimeSignalSw"), "0");
    EXPECT_EQ(EditDivingTimeSignal(form)->text(), U("Off"));
    EXPECT_EQ(EditDivingTimeSignal(form)->Tag, 0);
}

TEST_F(SimApply, HandsFreeOffWritesTheDefaultThresholdBack) {
    Connect("DW740 NEW", "201029");
    RadioGroup4(form)->SetItemIndex(0);
    SpeedButton2(form)->click();
    ASSERT_TRUE(RunToRest());
    const auto sent = Sent();
    EXPECT_EQ(sent.at(0), "SPAR RxOutLevel 12615");
    EXPECT_EQ(sent.at(2), "SPAR VOXsw 0");
    EXPECT_EQ(sent.at(3), "SPAR CsgVoxNzccTh 0.6");
    EXPECT_EQ(sent.size(), 10u); // no voice guide, no air check: answered locally
    EXPECT_EQ(Edit8(form)->text(), U("Off"));
}

// A refused write leaves the run waiting at the step that got the refusal.
struct Refusal {
    const char* command;
    int32_t waitsAt;
};

class RefusedWrite : public SimApply, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedWrite, RunWaitsUntilApplyIsPressedAgain) {
    Connect("DW730 TONAL", "201036");
    sim->MutableFaults().ng = {GetParam().command};
    RadioGroup1(form)->SetItemIndex(0);
    SpeedButton2(form)->click();
    ASSERT_FALSE(
        RunUntil([&] { return form->Conversation().Phase() == core::TPhase::Ready; }, 300));
    EXPECT_EQ(params::StepNumber(form->Conversation().Phase()), GetParam().waitsAt);
    EXPECT_EQ(Sent().back().rfind(GetParam().command, 0), 0u);
    EXPECT_EQ(Label4(form)->text(), U("Updating."));
    EXPECT_FALSE(File1(form)->menuAction()->isEnabled());
    EXPECT_EQ(Edit5(form)->text(), U("4"));
    EXPECT_TRUE(dialogs->errors.isEmpty());

    sim->MutableFaults().ng.clear();
    SpeedButton2(form)->click();
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Ready);
    EXPECT_EQ(Sent().back(), "SAVE");
    EXPECT_EQ(StoredValue("PhoneOutVol"), "-12");
    EXPECT_EQ(Edit5(form)->text(), U("1"));
    EXPECT_EQ(Label4(form)->text(), QString());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RefusedWrite,
    ::testing::Values(Refusal{"SPAR PhoneOutVol", 10}, Refusal{"SPAR TxSquelchSw", 11},
                      Refusal{"SPAR VOXsw", 12}, Refusal{"SPAR CsgVoxNzccTh", 19},
                      Refusal{"SPAR Led", 13}, Refusal{"SPAR Channel", 14},
                      Refusal{"SPAR BaseFreq", 15}, Refusal{"SPAR RecordSw", 16},
                      Refusal{"SPAR DiveConWarningSw", 21}, Refusal{"SPAR VoiceGuideSwitch", 22},
                      Refusal{"SPAR DivingTimeSignalSw", 23}));

TEST_F(SimApply, RefusedSaveEndsTheRunWithTheBoxesUnchanged) {
    Connect("DW730 TONAL", "201036");
    sim->MutableFaults().ng = {"SAVE"};
    RadioGroup1(form)->SetItemIndex(0);
    SpeedButton2(form)->click();
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(Sent().back(), "SAVE");
    EXPECT_EQ(Edit5(form)->text(), U("4"));
    EXPECT_EQ(Edit5(form)->Tag, 3);
    EXPECT_EQ(Label4(form)->text(), QString());
    EXPECT_EQ(ProgressBar1(form)->value(), 100);
    EXPECT_EQ(StoredValue("PhoneOutVol"), "-3");
}

TEST_F(SimApply, RefusedWriteIsLeftByDefaultOrReconnect) {
    Connect("DW730 TONAL", "201036");
    sim->MutableFaults().ng = {"SPAR Led"};
    RadioGroup1(form)->SetItemIndex(0);
    SpeedButton2(form)->click();
    ASSERT_FALSE(
        RunUntil([&] { return form->Conversation().Phase() == core::TPhase::Ready; }, 300));
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::WritingChannel);

    SpeedButton3(form)->click();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::RestoringDefaults);
    EXPECT_EQ(Label4(form)->text(), U("Clear."));
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Ready);
    EXPECT_EQ(Edit5(form)->text(), U("3"));
    EXPECT_EQ(*sim->Stored(), *sim->Defaults());

    RadioGroup1(form)->SetItemIndex(0);
    SpeedButton2(form)->click();
    ASSERT_FALSE(
        RunUntil([&] { return form->Conversation().Phase() == core::TPhase::Ready; }, 300));
    ButtonReconnect(form)->click();
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Ready);
    EXPECT_TRUE(File1(form)->menuAction()->isEnabled());
    EXPECT_EQ(Edit5(form)->text(), U("1")); // written before the refusal, not saved
}

TEST_F(SimApply, StoredStateFollowsThePanelThenTheDefaults) {
    Connect("DW740 NEW", "201036");
    RadioGroup1(form)->SetItemIndex(1);
    RadioGroup3(form)->SetItemIndex(1);
    RadioGroup4(form)->SetItemIndex(4);
    RGChannel(form)->SetItemIndex(2);
    RadioGroup5(form)->SetItemIndex(4);
    RgDiveComInterface(form)->SetItemIndex(2);
    RadioGroupVoiceGuideLevel(form)->SetItemIndex(2);
    ComboBoxDivingTimeSignal1(form)->setCurrentIndex(2);
    ComboBoxDivingTimeSignal2(form)->setCurrentIndex(0);
    SpeedButton2(form)->click();
    EXPECT_EQ(SpeedButton2(form)->Tag, 8);
    ASSERT_TRUE(RunToRest());

    const std::pair<const char*, const char*> stored[] = {
        {"PhoneOutVol", "-9"},
        {"TxSquelchSw", "1"},
        {"VOXSw", "1"},
        {"CsgVoxNzccTh", "0.5"},
        {"Led", "a"},
        {"Channel", "l"},
        {"BaseFreq", "4"},
        {"RecordSw", "4"},
        {"DiveConWarningSw", "3"},
        {"VoiceGuideSwitch", "511"},
        {"DivingTimeSignalSw", "7373100"},
    };
    for (auto [key, value] : stored)
        EXPECT_EQ(StoredValue(key), value) << key;

    const std::pair<TEdit*, const char*> boxes[] = {
        {Edit5(form), "2"},
        {Edit7(form), "On"},
        {Edit8(form), "4"},
        {EdtChannel(form), "C ch"},
        {Edit9(form), "Record only"},
        {EdtDiveComInterface(form), "Voice"},
        {EditVoiceGuideLevel(form), "High"},
        {EditDivingTimeSignal(form), "30min. 5min."},
    };
    for (auto [box, text] : boxes)
        EXPECT_EQ(box->text(), U(text)) << box->objectName().toStdString();

    Since();
    SpeedButton2(form)->click();
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Ready);

    // What a fresh connection reads back is what the panel showed.
    UnplugUnit();
    ReplugUnit();
    ASSERT_TRUE(RunToRest());
    for (auto [box, text] : boxes)
        EXPECT_EQ(box->text(), U(text)) << "read back: " << box->objectName().toStdString();

    Since();
    SpeedButton3(form)->click();
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(Sent(), std::vector<std::string>{"CLEAR"});
    EXPECT_EQ(*sim->Stored(), *sim->Defaults());
    const std::pair<TEdit*, const char*> defaults[] = {
        {Edit5(form), "3"},
        {Edit7(form), "On"},
        {Edit8(form), "Off"},
        {EdtChannel(form), "A ch"},
        {Edit9(form), "OFF"},
        {EdtDiveComInterface(form), "Off"},
        {EditVoiceGuideLevel(form), "Middle"},
        {EditDivingTimeSignal(form), "Off"},
    };
    for (auto [box, text] : defaults)
        EXPECT_EQ(box->text(), U(text)) << "default: " << box->objectName().toStdString();
    EXPECT_FALSE(CheckBoxDivingTimeSignalEnable(form)->isChecked());
    EXPECT_EQ(Label4(form)->text(), QString());

    Since();
    SpeedButton2(form)->click();
    EXPECT_TRUE(Sent().empty());
}

TEST_F(SimApply, ApplyRightAfterDefault) {
    Connect("DW720 KEL", "201029");
    SpeedButton3(form)->click();
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(Edit5(form)->text(), U("3")); // RxOutLevel 12744 on this model
    RadioGroup1(form)->SetItemIndex(4);
    SpeedButton2(form)->click();
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(Sent().front(), "CLEAR");
    EXPECT_EQ(Sent().at(1), "SPAR RxOutLevel 18000");
    EXPECT_EQ(StoredValue("RxOutLevel"), "18000");
    EXPECT_EQ(StoredValue("BaseFreq"), "2"); // the rest as the defaults showed it
    EXPECT_EQ(Edit5(form)->text(), U("5"));
}

TEST_F(SimApply, DefaultReplacesAnApplyWaitingForItsReply) {
    Connect("DW730 TONAL", "201036");
    RadioGroup1(form)->SetItemIndex(0);
    SpeedButton2(form)->click();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::WritingAutoSwitching);
    SpeedButton3(form)->click();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::RestoringDefaults);
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(Sent(), (std::vector<std::string>{"SPAR PhoneOutVol -12", "CLEAR"}));
    EXPECT_EQ(*sim->Stored(), *sim->Defaults());
    EXPECT_EQ(Edit5(form)->text(), U("3"));
}

// ---- Apply answered by hand ----

class HandApply : public WindowTest {
  protected:
    // One changed choice on a unit that has every setting, Apply pressed: step 10.
    void StartRun() {
        if (!unit) {
            PlugTransceiver();
            SetIdentity("201036", "DW740 NEW", true, true);
        }
        testing_support::Peer(form->Conversation()).SetPhase(core::TPhase::Ready);
        RadioGroup1(form)->SetItemIndex(0);
        form->SpeedButton2Click();
        ASSERT_EQ(form->Conversation().Phase(), core::TPhase::WritingAutoSwitching);
    }
    void AnswerOkUntilSave() {
        for (int i = 0; i < 20 && form->Conversation().Phase() != core::TPhase::Saving; ++i)
            Answer("OK");
        ASSERT_EQ(form->Conversation().Phase(), core::TPhase::Saving);
        ASSERT_EQ(Commands().back(), "SAVE");
    }
};

TEST_F(HandApply, WriteStepsGoOnOnlyOnRepliesBeginningWithOK) {
    StartRun();
    for (const char* refusal : {"NG OK", " OK", "xOK", "ok", "O"}) {
        Answer(refusal);
        EXPECT_EQ(form->Conversation().Phase(), core::TPhase::WritingAutoSwitching) << refusal;
    }
    Answer("OK");
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::WritingHandsFree);
    Answer("OKAY");
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::WritingSensitivity);
}

TEST_F(HandApply, OnlyAReplyBeginningWithParameterSavedUpdatesTheBoxes) {
    for (const char* other : {"NG not saved", "OK Parameter saved", "Parameter save"}) {
        StartRun();
        AnswerOkUntilSave();
        Answer(other);
        EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Ready) << other;
        EXPECT_EQ(Edit5(form)->Tag, -1) << other;
        EXPECT_EQ(ProgressBar1(form)->value(), 100) << other;
    }
    StartRun();
    AnswerOkUntilSave();
    Answer("Parameter saved.");
    EXPECT_EQ(Edit5(form)->text(), U("1"));
    EXPECT_EQ(Edit5(form)->Tag, 0);
}

// ---- Default answered by hand ----

using Default = WindowTest;

TEST_F(Default, WaitsForTheErasedReplyAnywhereInTheText) {
    PlugTransceiver();
    SetIdentity("201036", "DW720 KEL", true, true);
    testing_support::Peer(form->Conversation()).InitialParams().PhoneOutVol = -12;
    testing_support::Peer(form->Conversation()).InitialParams().DiveConWarningSw = 2;
    testing_support::Peer(form->Conversation()).InitialParams().Channel = "l";
    testing_support::Peer(form->Conversation()).InitialParams().BaseFreq =
        77; // outside the table: the channel stays as it was
    RGChannel(form)->SetItemIndex(1);
    form->SpeedButton3Click();
    EXPECT_EQ(Commands().back(), "CLEAR");
    Answer("OK 1234");
    Answer("NG");
    Answer("NG Successfully nothing");
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::RestoringDefaults);
    EXPECT_TRUE(
        form->Conversation().Replies().Received()); // the same reply is tested again on every tick
    Answer("OK done. Successfully erased");
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Saving);
    EXPECT_EQ(form->Conversation().Replies().Text(), "Parameter saved");
    Tick();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Ready);
    EXPECT_EQ(Edit5(form)->text(), U("1"));
    EXPECT_EQ(EdtDiveComInterface(form)->text(), U("Beep"));
    EXPECT_EQ(RGChannel(form)->ItemIndex(), 1);
    EXPECT_EQ(testing_support::Peer(form->Conversation()).CurrentParams().BaseFreq, 77);
    EXPECT_EQ(ProgressBar1(form)->value(), 100);
}

} // namespace
