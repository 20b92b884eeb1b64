#include "SimTestUtil.h"

using namespace simtest;
using sim::MakeProfile;
using sim::Profile;

namespace {

Profile Tonal() {
    return MakeProfile("DW730 TONAL", "201036");
}

} // namespace

TEST(SimFault, NgAnswersAndChangesNothing) {
    auto p = Tonal();
    p.faults.ng = {"SAVE", "SPAR VOXsw"};
    Bench b(p);
    const auto stored = b.unit.Stored();
    EXPECT_EQ(b.Ask("SPAR VOXsw 0"), "NG");
    EXPECT_EQ(b.Ask("SPAR RecordSw 0"), "OK");
    EXPECT_EQ(b.Ask("SAVE"), "NG");
    EXPECT_EQ(b.unit.Stored(), stored);
    EXPECT_EQ(b.Ask("SAVEX"), "NG"); // unknown, not the fault: the name needs a blank after it
    EXPECT_EQ(b.unit.Notes().back(), "unknown command SAVEX");
}

TEST(SimFault, SilentCommandIsNeverAnswered) {
    auto p = Tonal();
    p.faults.silent = {"GPAR", "CLEAR"};
    Bench b(p);
    b.Send("GPAR");
    b.Send("CLEAR");
    EXPECT_TRUE(b.Drain().empty());
    EXPECT_NE(b.unit.Stored(), b.unit.Defaults());
    EXPECT_EQ(b.Ask("VER"), "OK 201036");
}

TEST(SimFault, ReplyShapeFaults) {
    auto p = Tonal();
    p.faults.garbage = {"VER"};
    p.faults.noMarker = {"KIND", "SPAR"};
    p.faults.noTerm = {"LANGUAGE"};
    Bench b(p);

    b.Send("VER");
    auto garbage = b.Next();
    ASSERT_EQ(garbage.size(), 1025u);
    EXPECT_FALSE(HasMarker(Bytes(garbage)));
    EXPECT_NE(Bytes(garbage).substr(0, 11), std::string("OK 201036\r\n"));

    EXPECT_EQ(b.Ask("KIND"), std::string("DW730 TONAL\r\n") + std::string(1024 - 13, '\0'));
    EXPECT_EQ(b.Ask("SPAR Bogus 1"), std::string("\r\n") + std::string(1022, '\0'));

    b.Send("LANGUAGE");
    auto noTerm = b.Next();
    EXPECT_EQ(Bytes(noTerm).substr(0, 11), std::string("OK English\0", 11));
    // The tool then drops the last two bytes of the whole report.
    EXPECT_EQ(ToolReplyText(noTerm).size(), 1022u);
}

TEST(SimFault, SplitReplySpansTwoReports) {
    auto p = Tonal();
    p.faults.split = {"GSER"};
    Bench b(p);
    b.Send("GSER");
    auto parts = b.Drain();
    ASSERT_EQ(parts.size(), 2u);
    const std::string whole = "OK Sonavelle serial number : SV0000000001\r\n";
    const size_t half = whole.size() / 2;
    for (const auto& r : parts) {
        ASSERT_EQ(r.size(), 1025u);
    }
    EXPECT_EQ(Bytes(parts[0]), whole.substr(0, half) + std::string(1024 - half, '\0'));
    EXPECT_EQ(Bytes(parts[1]),
              whole.substr(half) + std::string(1024 - (whole.size() - half), '\0'));
}

TEST(SimFault, ShortUploadPacketsOnTheFirstAttemptOnly) {
    auto p = MakeProfile("PX510", "105");
    p.faults.shortUpload = 512;
    Bench b(p);
    auto all = b.Upload();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0].size(), 1025u);
    EXPECT_EQ(all[1].size(), 513u);
    EXPECT_EQ(all[2].size(), 513u);
    EXPECT_EQ(all[3].size(), 1025u);
    // A refusal brings a clean second attempt.
    b.Send("UPLS DWINFO.INI");
    b.Drain();
    b.Send(ResultPacket(0x1001, 0));
    b.Drain();
    b.Send(ResultPacket(0x1002, 1));
    b.Drain();
    b.Send(ResultPacket(0x1001, 0));
    EXPECT_EQ(b.Next().size(), 1025u);
}

TEST(SimFault, WrongPacketNumberThenCleanRestart) {
    auto p = MakeProfile("PX510", "105");
    p.faults.wrongPacket = 1;
    Bench b(p);
    auto all = b.Upload();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(GetLe32(Bytes(all[1]), 4), 0u);
    EXPECT_EQ(GetLe32(Bytes(all[2]), 4), 2u);

    // As the tool does: refuse the wrong number; the unit starts over without the fault.
    b.Send("UPLS DWINFO.INI");
    b.Drain();
    b.Send(ResultPacket(0x1001, 0));
    b.Drain();
    b.Send(ResultPacket(0x1002, 0));
    b.Drain();
    b.Send(ResultPacket(0x1002, 1));
    EXPECT_EQ(Bytes(b.Next()).substr(0, 4), "UPLS");
    b.Send(ResultPacket(0x1001, 0));
    b.Drain();
    b.Send(ResultPacket(0x1002, 0));
    EXPECT_EQ(GetLe32(Bytes(b.Next()), 4), 1u);
}

TEST(SimFault, InformationPacketAnnouncesAnotherSize) {
    auto p = MakeProfile("PX510", "105");
    p.faults.infoSizeDelta = -7;
    Bench b(p);
    auto all = b.Upload();
    EXPECT_EQ(GetLe32(Bytes(all.back()), 4), 2125u);
}

TEST(SimFault, MarkerInTheFileMakesTheToolCutTheDataPacket) {
    auto p = MakeProfile("PX510", "105");
    p.faults.uploadMarker = "OK";
    Bench b(p);
    auto all = b.Upload();
    ASSERT_EQ(all.size(), 5u);
    const std::string d0 = Bytes(all[1]);
    EXPECT_EQ(d0.substr(8 + 100, 2), "OK");
    EXPECT_LT(ToolReplyText(all[1]).size(), 1024u);
    EXPECT_FALSE(HasMarker(Bytes(all[2])));
}

TEST(SimFault, OversizedOutputReportLength) {
    auto p = Tonal();
    p.outputReportLength = 4096;
    Bench b(p);
    EXPECT_EQ(b.unit.OutputReportLength(), 4096);
    EXPECT_EQ(b.Ask("VER"), "OK 201036");
}

TEST(SimFault, VanishAfterNCommands) {
    auto p = Tonal();
    p.faults.vanishAfter = 2;
    Bench b(p);
    EXPECT_TRUE(b.Send("RTC SET 1"));
    EXPECT_TRUE(b.Send("GPAR"));
    EXPECT_TRUE(b.unit.Read(b.now + 2000)); // first reply out, the rest still pending
    EXPECT_FALSE(b.Send("VER"));
    EXPECT_TRUE(b.unit.Vanished());
    EXPECT_EQ(b.unit.NextDueUs(), sim::Transceiver::kNever);
    EXPECT_FALSE(b.unit.Read(b.now + 1'000'000));
    EXPECT_FALSE(b.Send("VER"));

    b.unit.Replug();
    EXPECT_FALSE(b.unit.Vanished());
    EXPECT_EQ(b.Ask("VER"), "OK 201036");
}

TEST(SimFault, SwitchesCanBeSetOnARunningUnit) {
    Bench b(Tonal());
    EXPECT_EQ(b.Ask("VER"), "OK 201036");
    b.unit.MutableFaults().ng.insert("VER");
    EXPECT_EQ(b.Ask("VER"), "NG");
}
