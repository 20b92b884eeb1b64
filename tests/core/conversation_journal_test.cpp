// The journal of the runs that write: asked once before a run's first command, whose "no"
// leaves the unit untouched and the panel as it was; told once how each run it let start ended.
#include "support/CoreRig.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using namespace testing_support;
using core::TRunEnd;
using core::TRunKind;
using TCall = TRecordingJournal::TCall;

namespace {

void Connect(TCoreRig& rig) {
    rig.PlugUnit("DW730 TONAL", "201036");
    ASSERT_TRUE(rig.RunToRest());
    rig.Steps(1); // the tick that logs the step it rests at
    rig.Mark();
}

// Apply has one setting changed first.
void Choose(TCoreRig& rig, TRunKind kind) {
    if (kind == TRunKind::Apply) rig.Choose(core::TControl::RadioGroup1, 0);
}
void Press(TCoreRig& rig, TRunKind kind) {
    kind == TRunKind::Apply ? rig.conversation.PressApply() : rig.conversation.PressDefault();
}

// ---- before the first write ------------------------------------------------------------------

enum class TAnswer { Yes, No, YesButUnplugged };
constexpr const char* kAnswers[] = {"Yes", "No", "YesButUnplugged"};

void PrintTo(TAnswer answer, std::ostream* os) {
    *os << kAnswers[int(answer)];
}

class BeforeFirstWrite : public ::testing::TestWithParam<std::tuple<TRunKind, TAnswer>> {};

TEST_P(BeforeFirstWrite, ComesBeforeAnyCommandAndItsNoWritesNothing) {
    const auto [kind, answer] = GetParam();
    TCoreRig rig;
    Connect(rig);
    Choose(rig, kind);
    std::size_t sentWhenAsked = 99;
    rig.journal.answer = answer != TAnswer::No;
    rig.journal.asking = [&] {
        sentWhenAsked = rig.SentSinceMark().size();
        if (answer == TAnswer::YesButUnplugged) rig.UnplugUnit();
    };
    const core::TPanel before = rig.Panel();
    Press(rig, kind);
    rig.Steps(3000);

    EXPECT_EQ(sentWhenAsked, 0u);
    std::vector<TCall> calls{{kind, std::nullopt}};
    if (answer != TAnswer::No)
        calls.push_back({kind, answer == TAnswer::Yes ? TRunEnd::Saved : TRunEnd::WentAway});
    EXPECT_EQ(rig.journal.calls, calls);
    EXPECT_EQ(rig.SentSinceMark().empty(), answer != TAnswer::Yes);
    EXPECT_EQ(rig.LogCount("Not written: the settings of this unit could not be backed up."),
              answer == TAnswer::No ? 1 : 0);
    EXPECT_TRUE(rig.dialogs.errors.empty());
    if (answer != TAnswer::No) return;
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::Ready);
    for (core::TControl c : params::AllControls())
        EXPECT_TRUE(rig[c] == before[c]) << params::ControlName(c);
}

std::string RunName(const ::testing::TestParamInfo<BeforeFirstWrite::ParamType>& info) {
    return std::string(std::get<0>(info.param) == TRunKind::Apply ? "Apply" : "Default") +
           kAnswers[int(std::get<1>(info.param))];
}
INSTANTIATE_TEST_SUITE_P(Runs, BeforeFirstWrite,
                         ::testing::Combine(::testing::Values(TRunKind::Apply, TRunKind::Default),
                                            ::testing::Values(TAnswer::Yes, TAnswer::No,
                                                              TAnswer::YesButUnplugged)),
                         RunName);

TEST(BeforeFirstWrite, IsNotAskedWhenApplyHasNothingToWrite) {
    TCoreRig rig;
    Connect(rig);
    rig.conversation.PressApply();
    rig.Steps(1000);
    EXPECT_TRUE(rig.journal.calls.empty());
    EXPECT_TRUE(rig.SentSinceMark().empty());
}

// ---- how the run ended -----------------------------------------------------------------------

struct TEnding {
    const char* name;
    TRunKind kind;
    void (*fault)(TCoreRig&);  // before the press
    void (*during)(TCoreRig&); // once the run has gone as far as it goes
    TRunEnd end;
    bool saved;
    const char* refused; // what the refused command begins with; none: no refusal
    bool writeFailure;
    std::size_t unanswered; // the run's last commands the unit did not acknowledge
};

void PrintTo(const TEnding& e, std::ostream* os) {
    *os << e.name;
}

class RunEnded : public ::testing::TestWithParam<TEnding> {};

TEST_P(RunEnded, IsToldOnceWithHowAndLastRunSaysWhat) {
    const TEnding& e = GetParam();
    TCoreRig rig;
    Connect(rig);
    if (e.fault) e.fault(rig);
    Choose(rig, e.kind);
    Press(rig, e.kind);
    rig.Steps(3000);
    const std::vector<std::string> sent = rig.SentSinceMark();
    if (e.during) e.during(rig);
    rig.Steps(3000);

    EXPECT_EQ(rig.journal.calls, (std::vector<TCall>{{e.kind, std::nullopt}, {e.kind, e.end}}));
    const auto& run = rig.conversation.LastRun();
    EXPECT_EQ(run.saved, e.saved);
    EXPECT_EQ(run.writeFailure.has_value(), e.writeFailure);
    ASSERT_EQ(run.refusal.has_value(), e.refused != nullptr);
    if (e.refused) {
        EXPECT_TRUE(run.refusal->command.starts_with(e.refused)) << run.refusal->command;
    }
    ASSERT_GE(sent.size(), e.unanswered);
    EXPECT_EQ(run.acknowledged,
              std::vector<std::string>(sent.begin(), sent.end() - long(e.unanswered)));
}

using enum TRunKind;
using enum TRunEnd;
INSTANTIATE_TEST_SUITE_P(
    Endings, RunEnded,
    ::testing::Values(
        TEnding{"Saved", Apply, nullptr, nullptr, Saved, true, nullptr, false, 0},
        // Default's save is answered by the core itself: the confirmed erase is what counts.
        TEnding{"Erased", Default, nullptr, nullptr, Saved, false, nullptr, false, 0},
        TEnding{"NgToAWrite", Apply,
                [](TCoreRig& r) { r.sim->MutableFaults().ng = {"SPAR RecordSw"}; }, nullptr,
                Refused, false, "SPAR RecordSw", false, 1},
        TEnding{"NgToClear", Default, [](TCoreRig& r) { r.sim->MutableFaults().ng = {"CLEAR"}; },
                nullptr, Refused, false, "CLEAR", false, 1},
        TEnding{"GarbledSave", Apply,
                [](TCoreRig& r) { r.sim->MutableFaults().garbage = {"SAVE"}; }, nullptr, Refused,
                false, "SAVE", false, 1},
        TEnding{"WriteFailed", Apply, [](TCoreRig& r) { r.unit->FailWrites = true; }, nullptr,
                WriteFailed, false, nullptr, true, 0},
        // The unit takes two commands of the run and is gone at the third.
        TEnding{"Unplugged", Apply,
                [](TCoreRig& r) {
                    r.sim->MutableFaults().vanishAfter = int(r.sim->Received().size()) + 2;
                },
                nullptr, WentAway, false, nullptr, false, 0},
        TEnding{"ReconnectWhileWaiting", Apply,
                [](TCoreRig& r) { r.sim->MutableFaults().silent = {"SAVE"}; },
                [](TCoreRig& r) { r.conversation.PressReconnect(); }, Abandoned, false, nullptr,
                false, 1}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
