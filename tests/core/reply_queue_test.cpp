// The reply a step looks at and the replies waiting behind it: alone, then in a conversation
// with a unit that answers faster than the tick.
#include "link/ReplyQueue.h"
#include "support/ConversationPeer.h"
#include "support/CoreRig.h"

#include <gtest/gtest.h>

using namespace testing_support;
using core::TControl;
using core::TReplyQueue;

namespace {

// One tick of a step that takes whatever reply is there.
std::string TakeInStep(TReplyQueue& q) {
    q.TakeNext();
    std::string taken;
    if (q.Received()) {
        taken = q.Text();
        q.Consume();
    }
    q.StepDone();
    return taken;
}

TEST(ReplyQueue, AReplyNoStepHasSeenWaitsItsTurn) {
    TReplyQueue q;
    EXPECT_TRUE(q.Arrive("first"));
    EXPECT_TRUE(q.Arrive("second"));
    EXPECT_TRUE(q.Arrive("third"));
    EXPECT_EQ(q.Waiting(), 2u);
    EXPECT_EQ(TakeInStep(q), "first");
    EXPECT_EQ(TakeInStep(q), "second");
    EXPECT_EQ(TakeInStep(q), "third");
    EXPECT_EQ(TakeInStep(q), "");
}

TEST(ReplyQueue, AReplySeenAndLeftStandingIsReplacedByTheNext) {
    TReplyQueue q;
    q.Arrive("Successfully erased? no");
    q.TakeNext();
    q.StepDone(); // the step looked and left the flag set (as restoring the defaults does)
    q.Arrive("OK Successfully erased");
    EXPECT_EQ(q.Waiting(), 0u);
    q.TakeNext();
    EXPECT_TRUE(q.Received());
    EXPECT_EQ(q.Text(), "OK Successfully erased");
}

TEST(ReplyQueue, AStepsOwnAnswerComesFirstAndReplacesWhatWaits) {
    TReplyQueue q;
    q.Arrive("OK");
    q.Arrive("stale");
    q.TakeNext();
    q.Consume();
    q.AnswerLocally("OK");
    q.StepDone();
    EXPECT_EQ(q.Waiting(), 0u);
    q.Arrive("late"); // from the unit, between the two ticks
    EXPECT_EQ(TakeInStep(q), "OK");
    EXPECT_EQ(TakeInStep(q), "late");
}

TEST(ReplyQueue, ACommandForgetsEverythingBeforeIt) {
    TReplyQueue q;
    q.Arrive("a");
    q.Arrive("b");
    q.Clear();
    EXPECT_FALSE(q.Received());
    EXPECT_EQ(q.Waiting(), 0u);
    EXPECT_EQ(TakeInStep(q), "");
}

TEST(ReplyQueue, AFullQueueDropsItsOldestReply) {
    TReplyQueue q;
    q.Arrive("current");
    for (std::size_t i = 1; i <= TReplyQueue::kMaxPending; ++i)
        EXPECT_TRUE(q.Arrive(std::to_string(i)));
    EXPECT_FALSE(q.Arrive("newest"));
    EXPECT_EQ(q.Waiting(), TReplyQueue::kMaxPending);
    EXPECT_EQ(TakeInStep(q), "current");
    EXPECT_EQ(TakeInStep(q), "2");
    std::string last;
    for (std::string taken; !(taken = TakeInStep(q)).empty();)
        last = taken;
    EXPECT_EQ(last, "newest");
}

// Every report that fell due is handed over before the tick, as a reader thread would.
TEST(FastUnit, EndsWithThePanelOfAPacedUnit) {
    for (const char* model : {"DW730 TONAL", "DW730 VELMORAS_SPECIAL", "DW720 MIV"}) {
        SCOPED_TRACE(model);
        TCoreRig paced;
        paced.PlugUnit(model, "201036");
        ASSERT_TRUE(paced.RunToRest());

        sim::Profile profile = sim::MakeProfile(model, "201036");
        profile.replyIntervalUs = 0; // a whole read-back due at once
        TCoreRig fast;
        fast.PlugUnit(profile);
        ASSERT_TRUE(fast.RunToRest(20000, true));
        ASSERT_EQ(fast.conversation.Phase(), core::TPhase::Ready);
        for (TControl c : params::AllControls())
            EXPECT_EQ(fast[c], paced[c]) << ControlName(c);
        EXPECT_EQ(testing_support::Peer(fast.conversation).InitialParams(),
                  testing_support::Peer(paced.conversation).InitialParams());

        fast.Mark();
        fast.Choose(TControl::RadioGroup1, 0);
        fast.conversation.PressApply();
        ASSERT_TRUE(fast.RunToRest(2000, true));
        EXPECT_EQ(fast.SentSinceMark().back(), "SAVE");
        EXPECT_EQ(fast[TControl::Edit5].tag, 0);
    }
}

TEST(FastUnit, AFloodOfRepliesIsBoundedAndSaysSo) {
    TCoreRig rig;
    rig.PlugUnit("DW730 TONAL", "201036");
    ASSERT_TRUE(
        rig.RunUntil([&] { return rig.conversation.Phase() == core::TPhase::SettingClock; }));
    constexpr int kOver = 5;
    for (std::size_t i = 0; i < TReplyQueue::kMaxPending + 1 + kOver; ++i)
        rig.Deliver(LineReport("NG"));
    EXPECT_EQ(rig.LogCount("Error : Too many replies waiting; the oldest was dropped."), kOver);
    EXPECT_TRUE(rig.dialogs.errors.empty());
}

} // namespace
