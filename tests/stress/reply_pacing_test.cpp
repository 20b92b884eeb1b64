// A unit that answers faster than the window's 1 ms tick: two replies reach the window
// between two ticks. A reply no step has looked at yet must wait its turn rather than be
// replaced: the read-back has no time-out and would wait for a lost one for ever.
#include "StressWindow.h"
#include "support/ConversationPeer.h"
#include "support/WindowWidgets.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class FastUnit : public stress::StressWindowTest {
  protected:
    // One tick during which every report that fell due is handed over, as the reader does.
    void PumpAllDue() {
        nowUs += 1000;
        clock->Advance(1);
        while (unit) {
            auto report = sim->Read(nowUs);
            if (!report) break;
            hid->Deliver(unit, std::string(report->begin(), report->end()));
        }
        form->Timer1Timer();
    }
};

TEST_F(FastUnit, ReadBackCompletesWhenRepliesComeFasterThanTheTick) {
    sim::Profile profile = sim::MakeProfile("DW730 TONAL", "201036");
    profile.replyIntervalUs = 500;
    PlugUnit(profile);
    for (int i = 0; i < 3000 && !PanelReady(); ++i)
        PumpAllDue();
    const auto peer = testing_support::Peer(form->Conversation());
    EXPECT_TRUE(PanelReady()) << "stalled at "
                              << ::testing::PrintToString(form->Conversation().Phase()) << " with "
                              << peer.InitialReceivedCount() << " of " << peer.ExpectedParamCnt()
                              << " default parameters counted";
}

} // namespace
