#include "link/Upload.h"

#include <gtest/gtest.h>

using namespace channel;

namespace {

std::string Le(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

std::string Padded(std::string s, size_t n) {
    s.resize(n, '\0');
    return s;
}

TEST(UploadPacket, LayoutsOfWholePackets) {
    auto start = ParseUploadPacket(Padded("UPLS" + Le(2132) + Le(7) + "DWINFO.INI", 1024));
    EXPECT_EQ(start.Tag, TUploadTag::Start);
    EXPECT_FALSE(start.Short);
    EXPECT_EQ(start.Text, "DWINFO.INI");

    const std::string bytes(1016, 'x');
    auto data = ParseUploadPacket("UPLD" + Le(3) + bytes + "tail");
    EXPECT_EQ(data.Number, 3);
    EXPECT_EQ(data.Payload, bytes);

    auto end = ParseUploadPacket(Padded("UPLE" + Le(5) + "abcdefgh", 1024));
    EXPECT_EQ(end.Payload, "abcde");

    auto info = ParseUploadPacket(Padded("UPLI" + Le(2132) + "2026/12/07 10:00", 1024));
    EXPECT_EQ(info.Number, 2132);
    EXPECT_EQ(info.Text, "2026/12/07 10:00");

    // A name with no zero byte up to offset 64 is cut there: 52 bytes at most.
    auto longName = ParseUploadPacket("UPLS" + Le(0) + Le(0) + std::string(60, 'n'));
    EXPECT_FALSE(longName.Short);
    EXPECT_EQ(longName.Text, std::string(52, 'n'));
    EXPECT_EQ(ParseUploadPacket("XXXX" + Le(0)).Tag, TUploadTag::Other);
    EXPECT_EQ(ParseUploadPacket("UP").Tag, TUploadTag::Other);
}

TEST(UploadPacket, ShortPacketsCarryNothing) {
    const std::string cases[] = {
        "UPLD",                                  // under 8 bytes
        "UPLD" + Le(0) + std::string(1015, 'x'), // one byte short of a data packet
        "UPLE" + Le(10) + "abc",                 // count past the end
        "UPLE" + Le(0xFFFFFFF0u) + "abc",        // negative count
        "UPLE" + Le(0x7FFFFFFFu) + "abc",        // huge count
        "UPLS" + Le(0) + Le(0) + "DWIN",         // name cut short, no zero byte
        "UPLS" + Le(0),                          // no name field at all
        "UPLI" + Le(5) + "2026",                 // stamp cut short
    };
    for (const auto& bytes : cases) {
        // An exact-size copy: a read past the end is the sanitizer's to catch.
        const std::string copy(bytes);
        const auto p = ParseUploadPacket(copy);
        EXPECT_TRUE(p.Short) << copy.size();
        EXPECT_FALSE(p.Problem.empty());
        EXPECT_TRUE(p.Payload.empty());
    }
    EXPECT_FALSE(ParseUploadPacket("UPLE" + Le(3) + "abc").Short);
    EXPECT_FALSE(ParseUploadPacket("UPLI" + Le(5) + std::string("2026\0", 5)).Short);
}

TEST(UploadPacket, ResultPacketBytes) {
    EXPECT_EQ(UploadResult(kResultStart, 0), std::string("UPLR\x01\x10\0\0\0\0\0\0", 12));
    EXPECT_EQ(UploadResult(kResultEnd, 1), std::string("UPLR\x03\x10\0\0\x01\0\0\0", 12));
}

TEST(SerialNumber, FromTheInformationFile) {
    EXPECT_EQ(SerialFromFile("[unit]\r\nser 0123456789AB\r\nmodel x\n"), "0123456789AB");
    EXPECT_EQ(SerialFromFile("user=abc\nser 1\n"), "user=abc");
    EXPECT_EQ(SerialFromFile("no number here\n"), "Not found");
    EXPECT_EQ(SerialFromFile("ser \n"), "Not found");
    EXPECT_EQ(SerialFromFile("a\rb\rser X"), "X");
    EXPECT_EQ(SerialFromFile(std::string("x\0ser 1", 7)), "Not found");
    EXPECT_EQ(SerialFromFile(std::string(1025, 'a') + "\nser 1"), "Not found");
    EXPECT_EQ(SerialFromFile(std::string(1019, '\n') + "ser 123"), "12");
    EXPECT_EQ(SerialFromFile(""), "Not found");
}

TEST(SerialNumber, FromTheGserReply) {
    const std::string head(26, '-');
    EXPECT_EQ(SerialFromReply("OK " + head + "0123456789ABCDEF"), "0123456789AB");
    EXPECT_EQ(SerialFromReply("OK " + head + "01"), "01");
    EXPECT_EQ(SerialFromReply("OK short"), "");
    EXPECT_EQ(SerialFromReply("OK " + head + "OK OK 0123456789AB"), "0123456789AB");
    EXPECT_EQ(RemoveOK("OK OK x OK"), "x OK");
}

} // namespace
