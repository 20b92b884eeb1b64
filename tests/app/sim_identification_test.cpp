// Identification against the simulated unit: each firmware family to the end of the
// serial-number step.
#include "support/SimLink.h"
#include "support/ConversationPeer.h"
#include "support/WindowWidgets.h"

using namespace testing_support;

namespace {

QString U(const char* s) {
    return QString::fromUtf8(s);
}

struct Family {
    const char* firmware;
    const char* model;
    std::vector<std::string> commands; // after the clock command
    bool panel;
};

class SimIdentification : public SimWindowTest, public ::testing::WithParamInterface<Family> {};

TEST_P(SimIdentification, RunsToTheReadBackOrTheEnd) {
    const auto& f = GetParam();
    auto& unitSim = PlugUnit(f.model, f.firmware);
    ASSERT_TRUE(RunUntil([&] {
        return form->Conversation().Phase() == core::TPhase::ReadingDefaults ||
               form->Conversation().Phase() == core::TPhase::Closing;
    }));
    auto sent = sim->Received();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent[0].rfind("RTC SET ", 0), 0u);
    sent.erase(sent.begin());
    EXPECT_EQ(sent, f.commands);
    EXPECT_EQ(Edit1(form)->text(), QString::fromUtf8(f.firmware));
    EXPECT_EQ(Label3(form)->isHidden(), f.panel);
    EXPECT_EQ(Edit2(form)->text(), QString::fromStdString(unitSim.GetProfile().serial));
    EXPECT_EQ(unitSim.ClockSeconds(), form->Conversation().ClockValue());
}

INSTANTIATE_TEST_SUITE_P(
    Families, SimIdentification,
    ::testing::Values(
        Family{"201016", "DW730 TONAL", {"VER", "GSER", "GETTMPPARAM"}, true},
        Family{"201026", "DW730 TONAL", {"VER", "KIND", "GSER", "GETTMPPARAM"}, true},
        Family{"201036", "DW730 TONAL", {"VER", "KIND", "LANGUAGE", "GSER", "GETTMPPARAM"}, true},
        Family{"202000", "DW730 TONAL", {"VER", "GSER"}, false}));

using SimConnection = SimWindowTest;

TEST_F(SimConnection, ThreeCharacterFirmwareUploadsItsInformationFile) {
    auto& unitSim = PlugUnit("DW720", "105");
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Closing);
    EXPECT_TRUE(LogHas(U("<<Upload : Done")));
    EXPECT_EQ(Edit2(form)->text(), QString::fromStdString(unitSim.GetProfile().serial));
    EXPECT_EQ(form->Conversation().UploadedFile(), sim::BuildInfoFile(unitSim.GetProfile()));
    EXPECT_FALSE(Label3(form)->isHidden());
    Step();
    EXPECT_EQ(testing_support::Peer(form->Conversation()).Device(), nullptr);
}

TEST_F(SimConnection, UploadRefusedOnceIsSentAgainByTheUnit) {
    sim::Profile profile = sim::MakeProfile("DW720", "105");
    profile.faults.wrongPacket = 1;
    auto& unitSim = PlugUnit(profile);
    ASSERT_TRUE(RunToRest());
    EXPECT_TRUE(LogHas(U("<<Error : Invalid packet number.")));
    EXPECT_TRUE(LogHas(U("<<Upload : Done")));
    EXPECT_EQ(Edit2(form)->text(), QString::fromStdString(unitSim.GetProfile().serial));
}

TEST_F(SimConnection, UnplugDuringIdentificationThenReplugStartsCleanly) {
    PlugUnit("DW730 TONAL", "201036");
    ASSERT_TRUE(
        RunUntil([&] { return form->Conversation().Phase() == core::TPhase::ReadingLanguage; }));
    UnplugUnit();
    EXPECT_EQ(testing_support::Peer(form->Conversation()).Device(), nullptr);
    EXPECT_FALSE(form->Timer().Enabled());
    ReplugUnit();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::SendingClock);
    ASSERT_TRUE(
        RunUntil([&] { return form->Conversation().Phase() == core::TPhase::ReadingDefaults; }));
    EXPECT_EQ(EditLanguage(form)->text(), QString::fromStdString(sim->GetProfile().language));
}

TEST_F(SimConnection, UnitThatVanishesMidRunIsDisconnected) {
    sim::Profile profile = sim::MakeProfile("DW730 TONAL", "201036");
    profile.faults.vanishAfter = 3;
    PlugUnit(profile);
    ASSERT_TRUE(RunUntil(
        [&] { return testing_support::Peer(form->Conversation()).Device() == nullptr; }, 2000));
    EXPECT_TRUE(LogHas(U("  Disconnect device.")));
    EXPECT_FALSE(form->Timer().Enabled());
}

TEST_F(SimConnection, VersionNgEndsTheConversation) {
    sim::Profile profile = sim::MakeProfile("DW730 TONAL", "201036");
    profile.faults.ng = {"VER"};
    PlugUnit(profile);
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Closing);
    EXPECT_EQ(Edit1(form)->text(), QString());
}

} // namespace
