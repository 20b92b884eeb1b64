#include "SimTestUtil.h"

using namespace simtest;
using sim::MakeProfile;
using sim::Transceiver;

namespace {

struct Uploader : Bench {
    using Bench::Bench;
    // Sends a result packet and returns the reports it brings.
    std::vector<std::vector<uint8_t>> Result(uint32_t code, uint32_t status) {
        Send(ResultPacket(code, status));
        return Drain();
    }
};

} // namespace

TEST(SimUpload, CleanExchangePacketByPacket) {
    Uploader u(MakeProfile("DW720 KEL", "105"));
    const std::string file = sim::BuildInfoFile(u.unit.GetProfile());
    ASSERT_EQ(file.size(), 2132u);

    u.Send("UPLS DWINFO.INI");
    auto start = u.Next();
    ASSERT_EQ(start.size(), 1025u);
    std::string p = Bytes(start);
    EXPECT_EQ(p.substr(0, 4), "UPLS");
    EXPECT_EQ(GetLe32(p, 4), 2132u);
    EXPECT_EQ(p.substr(12, 11), std::string("DWINFO.INI\0", 11));
    EXPECT_EQ(ToolReplyText(start), p); // raw: no marker anywhere

    auto d0 = u.Result(0x1001, 0);
    ASSERT_EQ(d0.size(), 1u);
    p = Bytes(d0[0]);
    EXPECT_EQ(p.substr(0, 4), "UPLD");
    EXPECT_EQ(GetLe32(p, 4), 0u);
    EXPECT_EQ(p.substr(8, 1016), file.substr(0, 1016));

    auto d1 = u.Result(0x1002, 0);
    ASSERT_EQ(d1.size(), 1u);
    p = Bytes(d1[0]);
    EXPECT_EQ(GetLe32(p, 4), 1u);
    EXPECT_EQ(p.substr(8, 1016), file.substr(1016, 1016));

    auto end = u.Result(0x1002, 0);
    ASSERT_EQ(end.size(), 1u);
    p = Bytes(end[0]);
    EXPECT_EQ(p.substr(0, 4), "UPLE");
    EXPECT_EQ(GetLe32(p, 4), 100u);
    EXPECT_EQ(p.substr(8, 100), file.substr(2032));

    auto info = u.Result(0x1003, 0);
    ASSERT_EQ(info.size(), 1u);
    p = Bytes(info[0]);
    EXPECT_EQ(p.substr(0, 4), "UPLI");
    EXPECT_EQ(GetLe32(p, 4), 2132u);
    EXPECT_EQ(p.substr(8, 20), std::string("2024/05/17 10:21:33\0", 20));

    EXPECT_TRUE(u.Result(0x1003, 0).empty()); // the information packet ends it
}

TEST(SimUpload, FileCarriesTheSerialLineAndNoMarkerForEveryPreset) {
    for (const auto& model : sim::ListedModels()) {
        SCOPED_TRACE(model);
        Uploader u(MakeProfile(model, "105"));
        std::vector<std::string> packets;
        for (const auto& r : u.Upload())
            packets.push_back(Bytes(r));
        ASSERT_EQ(packets.size(), 5u);
        std::string file;
        for (const auto& p : packets) {
            EXPECT_FALSE(HasMarker(p));
            if (p.starts_with("UPLD")) file += p.substr(8, 1016);
            if (p.starts_with("UPLE")) file += p.substr(8, GetLe32(p, 4));
        }
        EXPECT_EQ(file.size(), GetLe32(packets.back(), 4));
        EXPECT_NE(file.substr(0, 1025).find("\r\nser SV0000000001\r\n"), std::string::npos);
    }
}

TEST(SimUpload, FileSizesAtPacketBoundaries) {
    struct Case {
        uint32_t size;
        size_t dataPackets;
        uint32_t endCount;
    };
    for (const Case c : {Case{500, 0, 500}, Case{1016, 1, 0}, Case{3048, 3, 0}, Case{0, 0, 0}}) {
        SCOPED_TRACE(c.size);
        auto prof = MakeProfile("PX510", "105");
        prof.infoSize = c.size;
        Uploader u(prof);
        std::vector<std::string> packets;
        for (const auto& r : u.Upload())
            packets.push_back(Bytes(r));
        ASSERT_EQ(packets.size(), c.dataPackets + 3);
        EXPECT_EQ(GetLe32(packets[packets.size() - 2], 4), c.endCount);
        EXPECT_EQ(GetLe32(packets.back(), 4), c.size);
    }
}

TEST(SimUpload, ResultWithAnotherCodeIsIgnored) {
    Uploader u(MakeProfile("PX510", "105"));
    u.Send("UPLS DWINFO.INI");
    u.Drain();
    EXPECT_TRUE(u.Result(0x1002, 0).empty()); // waiting for the start result
    auto next = u.Result(0x1001, 0);
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(Bytes(next[0]).substr(0, 4), "UPLD");
}

TEST(SimUpload, RefusalStartsOverAndIsGivenUpAfterTheLastAttempt) {
    Uploader u(MakeProfile("PX510", "105"));
    u.Send("UPLS DWINFO.INI");
    u.Drain();
    u.Result(0x1001, 0);
    for (int attempt = 2; attempt <= Transceiver::kMaxUploadAttempts; ++attempt) {
        auto again = u.Result(0x1002, 1);
        ASSERT_EQ(again.size(), 1u);
        EXPECT_EQ(Bytes(again[0]).substr(0, 4), "UPLS");
        auto d0 = u.Result(0x1001, 0);
        ASSERT_EQ(d0.size(), 1u);
        EXPECT_EQ(GetLe32(Bytes(d0[0]), 4), 0u);
    }
    EXPECT_TRUE(u.Result(0x1002, 1).empty());
    EXPECT_TRUE(u.Result(0x1001, 0).empty()); // no upload left to answer
    EXPECT_EQ(u.unit.Notes().back(), "result packet outside an upload ignored");
}

TEST(SimUpload, RefusedStartAndEndAlsoStartOver) {
    for (uint32_t refusedCode : {0x1001u, 0x1003u}) {
        Uploader u(MakeProfile("PX510", "105"));
        u.Send("UPLS DWINFO.INI");
        u.Drain();
        if (refusedCode == 0x1003) {
            u.Result(0x1001, 0);
            u.Result(0x1002, 0);
            u.Result(0x1002, 0);
        }
        auto again = u.Result(refusedCode, 1);
        ASSERT_EQ(again.size(), 1u);
        EXPECT_EQ(Bytes(again[0]).substr(0, 4), "UPLS");
    }
}

TEST(SimUpload, ResultOutsideAnUploadAndCommandInsideOneEndQuietly) {
    Uploader u(MakeProfile("PX510", "105"));
    EXPECT_TRUE(u.Result(0x1001, 0).empty());
    u.Send("UPLS DWINFO.INI");
    u.Drain();
    EXPECT_EQ(u.Ask("VER"), "OK 105");
    EXPECT_TRUE(u.Result(0x1001, 0).empty());
}

TEST(SimUpload, ShortResultPacketIsReadAsZeroPadded) {
    Uploader u(MakeProfile("PX510", "105"));
    u.Send("UPLS DWINFO.INI");
    u.Drain();
    // "UPLR" and the code only: the status bytes are missing and read as 0.
    const std::string cut = std::string(1, '\0') + ResultPacket(0x1001, 1).substr(0, 8);
    ASSERT_TRUE(u.unit.Write(reinterpret_cast<const uint8_t*>(cut.data()), cut.size(), u.now));
    auto next = u.Drain();
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(Bytes(next[0]).substr(0, 4), "UPLD");
    EXPECT_EQ(u.unit.Received().back(), ResultPacket(0x1001, 0));
}
