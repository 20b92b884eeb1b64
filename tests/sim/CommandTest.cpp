#include "SimTestUtil.h"

#include <cstring>
#include <random>

using namespace simtest;
using sim::MakeProfile;
using sim::Transceiver;

TEST(SimCommand, VersionReplyIsOneFullLengthReportEndingInCrLf) {
    Bench b(MakeProfile("DW730 TONAL", "201036"));
    b.Send("VER");
    auto r = b.Next();
    ASSERT_EQ(r.size(), 1025u);
    const std::string expect = "OK 201036\r\n";
    EXPECT_EQ(r[0], 0);
    EXPECT_EQ(std::string(r.begin() + 1, r.begin() + 1 + expect.size()), expect);
    EXPECT_TRUE(
        std::all_of(r.begin() + 1 + expect.size(), r.end(), [](uint8_t c) { return c == 0; }));
}

struct IdentityCase {
    const char* firmware;
    const char* kind;
    const char* language;
    bool serial;
};

TEST(SimCommand, IdentityAnswersFollowTheFirmware) {
    const IdentityCase cases[] = {
        {"105", "NG", "NG", false},
        {"201016", "NG", "NG", true},
        {"201019", "NG", "NG", true},
        {"201020", "OK DW720 KEL", "NG", true},
        {"201032", "OK DW720 KEL", "NG", true},
        {"201033", "OK DW720 KEL", "OK English", true},
        {"201036", "OK DW720 KEL", "OK English", true},
        {"202000", "OK DW720 KEL", "OK English", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.firmware);
        Bench b(MakeProfile("DW720 KEL", c.firmware));
        EXPECT_EQ(b.Ask("VER"), std::string("OK ") + c.firmware);
        EXPECT_EQ(b.Ask("KIND"), c.kind);
        EXPECT_EQ(b.Ask("LANGUAGE"), c.language);
        EXPECT_EQ(b.Ask("GSER").starts_with("OK "), c.serial);
    }
}

TEST(SimCommand, SerialSitsWhereTheToolReadsIt) {
    auto p = MakeProfile("PX510", "201036");
    p.serial = "AB0123456789";
    Bench b(p);
    std::string r = b.Ask("GSER");
    for (auto at = r.find("OK "); at != std::string::npos; at = r.find("OK "))
        r.erase(at, 3);
    ASSERT_GE(r.size(), 38u);
    EXPECT_EQ(r.substr(26, 12), "AB0123456789");
}

TEST(SimCommand, ClockCommandKeepsTheValueAndRefusesMalformedOnes) {
    Bench b(MakeProfile("DW730 TONAL", "201036"));
    EXPECT_EQ(b.Ask("RTC SET 86400"), "OK");
    EXPECT_EQ(b.unit.ClockSeconds(), 86400);
    for (const char* bad : {"RTC SET", "RTC SET -5", "RTC SET 12a", "RTC SET 1 2", "RTC GET 5",
                            "RTC SET 99999999999999999999"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(b.Ask(bad), "NG");
    }
    EXPECT_EQ(b.unit.ClockSeconds(), 86400);
}

TEST(SimCommand, UnknownAndMalformedCommandsGetNg) {
    Bench b(MakeProfile("DW730 TONAL", "201036"));
    for (const char* bad : {"ver", "VER 1", "FOO", "GPAR x", "SAVE now", "UPLS OTHER.INI", "FINS",
                            " ", "\x01\x02\xff"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(b.Ask(bad), "NG");
    }
}

TEST(SimCommand, ReportsWithoutACommandGetNoAnswer) {
    Bench b(MakeProfile("DW730 TONAL", "201036"));
    std::vector<uint8_t> zeros(1025, 0);
    EXPECT_TRUE(b.unit.Write(zeros.data(), zeros.size(), b.now));
    EXPECT_TRUE(b.unit.Write(zeros.data(), 1, b.now)); // report ID alone
    EXPECT_FALSE(b.unit.Write(zeros.data(), 0, b.now));
    EXPECT_FALSE(b.unit.Write(nullptr, 5, b.now));
    auto other = OutputReport("VER", 1025);
    other[0] = 5;
    EXPECT_TRUE(b.unit.Write(other.data(), other.size(), b.now));
    auto tooLong = OutputReport("VER", 1026);
    EXPECT_FALSE(b.unit.Write(tooLong.data(), tooLong.size(), b.now));
    EXPECT_TRUE(b.Drain().empty());
    EXPECT_TRUE(b.unit.Received().empty());
}

TEST(SimCommand, ShortOutputReportIsTakenAsPaddedWithZeros) {
    Bench b(MakeProfile("DW730 TONAL", "201036"));
    const uint8_t ver[] = {0, 'V', 'E', 'R'};
    EXPECT_TRUE(b.unit.Write(ver, sizeof ver, b.now));
    EXPECT_EQ(b.Replies(), std::vector<std::string>{"OK 201036"});
}

TEST(SimCommand, FileInfoAnswerIsAFileKindReply) {
    Bench b(MakeProfile("DW730 TONAL", "105"));
    EXPECT_EQ(b.Ask("FINS DWINFO.INI"), "act_finfo DWINFO.INI 2132 2024/05/17 10:21:33");
}

TEST(SimCommand, RepliesArePacedOneReportPerInterval) {
    auto p = MakeProfile("DW730 TONAL", "201036");
    p.replyIntervalUs = 2000;
    Transceiver t(p);
    auto r = OutputReport("GPAR", t.OutputReportLength());
    EXPECT_EQ(t.NextDueUs(), Transceiver::kNever);
    ASSERT_TRUE(t.Write(r.data(), r.size(), 10'000));
    EXPECT_EQ(t.PendingReports(), 15u); // 13 counted + 2 uncounted
    EXPECT_EQ(t.NextDueUs(), 12'000);
    EXPECT_FALSE(t.Read(11'999));
    EXPECT_TRUE(t.Read(12'000));
    EXPECT_EQ(t.NextDueUs(), 14'000);
    EXPECT_FALSE(t.Read(13'999));
    // A late reader finds the schedule kept, not shifted.
    EXPECT_TRUE(t.Read(50'000));
    EXPECT_EQ(t.NextDueUs(), 16'000);
    // A command written while replies are pending queues its answer after them.
    auto ver = OutputReport("VER", t.OutputReportLength());
    ASSERT_TRUE(t.Write(ver.data(), ver.size(), 50'000));
    int n = 0;
    std::optional<std::vector<uint8_t>> last;
    while (auto x = t.Read(1'000'000)) {
        last = x;
        ++n;
    }
    EXPECT_EQ(n, 14);
    EXPECT_EQ(ToolReplyText(*last), "OK 201036");
}

TEST(SimCommand, ZeroIntervalMakesAllRepliesDueAtOnce) {
    auto p = MakeProfile("DW730 TONAL", "201036");
    p.replyIntervalUs = 0;
    Transceiver t(p);
    auto r = OutputReport("GETTMPPARAM", t.OutputReportLength());
    t.Write(r.data(), r.size(), 500);
    int n = 0;
    while (t.Read(500))
        ++n;
    EXPECT_EQ(n, 15);
}

TEST(SimCommand, ReportLengthsComeFromTheProfile) {
    auto p = MakeProfile("DW730 TONAL", "201036");
    p.inputReportLength = 16;
    p.outputReportLength = 9;
    Bench b(p);
    EXPECT_EQ(b.unit.InputReportLength(), 16);
    EXPECT_EQ(b.unit.OutputReportLength(), 9);
    b.Send("GSER");
    auto r = b.Next();
    ASSERT_EQ(r.size(), 16u); // a reply longer than the report is cut, never overrun
    EXPECT_EQ(Bytes(r), std::string("OK Sonavelle serial number").substr(0, 15));
}

// Whatever bytes arrive, the unit answers NG, a reply, or nothing, never more than a
// report's length, and its state stays usable.
TEST(SimCommand, SurvivesRandomReports) {
    for (const char* fw : {"105", "201036"}) {
        Bench b(MakeProfile("DW720 MIV", fw));
        std::mt19937 rng(1234);
        for (int i = 0; i < 3000; ++i) {
            std::vector<uint8_t> r(rng() % 1100);
            for (auto& c : r)
                c = static_cast<uint8_t>(rng() % 4 ? rng() % 128 : rng());
            if (!r.empty() && rng() % 2) r[0] = 0;
            if (r.size() > 5 && rng() % 3 == 0) std::memcpy(r.data() + 1, "UPLR", 4);
            b.unit.Write(r.data(), r.size(), b.now);
            for (const auto& in : b.Drain())
                ASSERT_EQ(in.size(), 1025u);
        }
        EXPECT_FALSE(b.unit.Vanished());
        EXPECT_EQ(b.Ask("VER"), std::string("OK ") + fw);
    }
}
