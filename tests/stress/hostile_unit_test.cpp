// A unit that misbehaves: every fault switch of the simulator at every command of the
// conversation, an Apply and a Default included. The tool must not crash, must keep its
// memory bounded, must log every report the unit sent, and must work again with a sound
// unit afterwards.
#include "StressWindow.h"
#include "support/ConversationPeer.h"
#include "support/WindowWidgets.h"
#include "link/Upload.h"

#include <gtest/gtest.h>

#include <functional>

using namespace testing_support;

namespace {

using stress::StressWindowTest;

struct THostileCase {
    std::string Name;
    std::string Firmware;
    std::function<void(sim::Profile&)> Set;
    std::string ExpectLog; // a text some log line must hold; empty: the report lines suffice
};

std::string Id(std::string s) {
    for (char& ch : s)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return s;
}

std::vector<THostileCase> Cases() {
    std::vector<THostileCase> cases;
    using TSwitch = std::set<std::string> sim::Faults::*;
    const std::pair<const char*, TSwitch> switches[] = {
        {"ng", &sim::Faults::ng},           {"silent", &sim::Faults::silent},
        {"garbage", &sim::Faults::garbage}, {"nomarker", &sim::Faults::noMarker},
        {"noterm", &sim::Faults::noTerm},   {"split", &sim::Faults::split},
    };
    const std::pair<const char*, const char*> commands[] = {
        {"RTC SET", "201036"},     {"VER", "201036"},  {"KIND", "201036"},
        {"LANGUAGE", "201036"},    {"GSER", "201036"}, {"GPAR", "201036"},
        {"GETTMPPARAM", "201036"}, {"SPAR", "201036"}, {"SAVE", "201036"},
        {"CLEAR", "201036"},       {"UPLS", "105"},    {"UPLR", "105"},
        {"RTC SET", "105"},        {"VER", "105"},
    };
    for (const auto& [kind, member] : switches)
        for (const auto& [command, firmware] : commands)
            cases.push_back({std::string(kind) + "_" + Id(command) + "_" + firmware, firmware,
                             [member, command = std::string(command)](sim::Profile& p) {
                                 (p.faults.*member).insert(command);
                             },
                             ""});

    // One byte is too little to tell a data packet at all: only its received line shows it.
    cases.push_back(
        {"short_upload_1", "105", [](sim::Profile& p) { p.faults.shortUpload = 1; }, ""});
    for (int n : {12, 500, 1015})
        cases.push_back({"short_upload_" + std::to_string(n), "105",
                         [n](sim::Profile& p) { p.faults.shortUpload = n; },
                         "Error : Short upload packet"});
    // The default file has data packets 0 and 1, then the end packet.
    for (int i : {0, 1})
        cases.push_back({"wrong_packet_" + std::to_string(i), "105",
                         [i](sim::Profile& p) { p.faults.wrongPacket = i; },
                         "Error : Invalid packet number."});
    for (int32_t d : {1, -1, -2132, 1 << 24})
        cases.push_back({"info_size_delta_" + Id(std::to_string(d)), "105",
                         [d](sim::Profile& p) { p.faults.infoSizeDelta = d; },
                         "Error : Verify NG."});
    for (const char* marker : {"OK", "NG", "filecmd", "act_finfo", "--boot"})
        cases.push_back({std::string("upload_marker_") + Id(marker), "105",
                         [marker](sim::Profile& p) { p.faults.uploadMarker = marker; }, ""});
    for (const char* firmware : {"201036", "105"})
        cases.push_back({std::string("output_length_4096_") + firmware, firmware,
                         [](sim::Profile& p) { p.outputReportLength = 4096; },
                         "Error : Output report length 4096 exceeds 2049 bytes; not sent."});
    // Commands of a whole run: 7 to connect, up to 12 for an Apply, 1 for a Default (201036);
    // 3 and the result packets for the upload (105).
    for (int n = 0; n <= 21; ++n)
        cases.push_back({"vanish_after_" + std::to_string(n) + "_201036", "201036",
                         [n](sim::Profile& p) { p.faults.vanishAfter = n; }, ""});
    for (int n = 0; n <= 7; ++n)
        cases.push_back({"vanish_after_" + std::to_string(n) + "_105", "105",
                         [n](sim::Profile& p) { p.faults.vanishAfter = n; }, ""});
    return cases;
}

void PrintTo(const THostileCase& c, std::ostream* os) {
    *os << c.Name;
}

class HostileUnit : public StressWindowTest, public ::testing::WithParamInterface<THostileCase> {};

TEST_P(HostileUnit, NoCrashBoundedMemoryEveryReportLoggedThenASoundUnitWorks) {
    const THostileCase& c = GetParam();
    sim::Profile profile = sim::MakeProfile("DW730 TONAL", c.Firmware);
    profile.replyIntervalUs = 1000;
    c.Set(profile);
    PlugUnit(profile);

    // The conversation, then an Apply and a Default where the panel allows them. A unit
    // that stays silent leaves a step waiting: that wait is bounded here, not in the tool.
    PumpUntil([&] { return Resting() || !testing_support::Peer(form->Conversation()).Device(); },
              3000);
    if (PanelReady()) {
        ChangeASetting();
        SpeedButton2(form)->click();
        PumpUntil(
            [&] {
                return form->Conversation().Phase() == core::TPhase::Ready ||
                       !testing_support::Peer(form->Conversation()).Device();
            },
            300);
        if (PanelReady() && SpeedButton3(form)->isEnabled()) {
            SpeedButton3(form)->click();
            PumpUntil(
                [&] {
                    return form->Conversation().Phase() == core::TPhase::Ready ||
                           !testing_support::Peer(form->Conversation()).Device();
                },
                300);
        }
    }
    const bool vanished = sim->Vanished() || !testing_support::Peer(form->Conversation()).Device();

    // Memory: the log grows; nothing else may grow beyond what one report or one capped
    // upload can hold.
    const size_t input = sim->InputReportLength();
    EXPECT_LE(form->Conversation().Replies().Text().size(), input);
    EXPECT_LE(testing_support::Peer(form->Conversation()).ReplyHex().size(), 3 * input);
    EXPECT_LE(form->Conversation().UploadedFile().size(), channel::kMaxUploadBytes);
    EXPECT_LE(static_cast<size_t>(
                  testing_support::Peer(form->Conversation()).CurrentParams().Channel.size()),
              input);
    EXPECT_LE(sim->PendingReports(), 4u);
    // A reply whose value cannot be read raises the general error box, at most once a report.
    EXPECT_LE(static_cast<size_t>(dialogs->errors.size()), delivered.size());
    EXPECT_TRUE(dialogs->messages.empty());

    // Every report the unit sent is in the log, once, exactly as received.
    EXPECT_EQ(ReceivedReportLines(), ExpectedReportLines());
    if (!c.ExpectLog.empty()) {
        EXPECT_FALSE(LogTexts().filter(QString::fromStdString(c.ExpectLog)).isEmpty())
            << "no log line holds \"" << c.ExpectLog << "\"";
    }
    if (vanished) {
        EXPECT_TRUE(LogHas(QStringLiteral("  Disconnect device.")));
    }
    if (!Resting() && !vanished) {
        // Waiting for a reply that never comes: the log says which step waits.
        EXPECT_TRUE(LogHas(
            QStringLiteral("  %1 status").arg(params::StepNumber(form->Conversation().Phase()))));
    }

    // A sound unit afterwards: the tool has kept nothing that stops the next conversation.
    const auto verified = [&] { return LogTexts().filter(QStringLiteral("Verify : OK.")).size(); };
    const auto verifiedBefore = verified();
    UnplugUnit();
    Pump();
    PlugUnit("DW730 TONAL", c.Firmware);
    ASSERT_TRUE(PumpUntil([&] { return Resting(); }, 5000))
        << "stuck at " << ::testing::PrintToString(form->Conversation().Phase());
    if (c.Firmware.size() == 3) {
        EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Closing);
        EXPECT_EQ(verified(), verifiedBefore + 1);
    } else {
        EXPECT_TRUE(PanelReady())
            << ::testing::PrintToString(form->Conversation().Phase()) << ", last log lines:\n"
            << LogTexts().mid(LogTexts().size() - 8).join(QStringLiteral("\n")).toStdString();
        EXPECT_EQ(Edit1(form)->text(), QStringLiteral("201036"));
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, HostileUnit, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<THostileCase>& param) {
                             return param.param.Name;
                         });

} // namespace
