#include "link/Framing.h"

#include <gtest/gtest.h>

using channel::ApplyFileInfoAlias;
using channel::ParseReply;
using channel::TReplyKind;

namespace {

channel::TReply Parse(const std::string& bytes) {
    // An exact-size copy, so a read past the end is the sanitizer's to catch.
    std::vector<uint8_t> copy(bytes.begin(), bytes.end());
    return ParseReply(copy.data(), copy.size());
}

std::string Padded(std::string bytes, size_t size = 64) {
    bytes.resize(size, '\0');
    return bytes;
}

struct ReplyCase {
    const char* name;
    std::string report;
    TReplyKind kind;
    std::string text;
    std::string hex;
};

class ReplyKinds : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyKinds, TakesTheTextUpToItsTerminator) {
    const auto& c = GetParam();
    const auto reply = Parse(c.report);
    EXPECT_EQ(reply.Kind, c.kind);
    EXPECT_EQ(reply.Text, c.text);
    if (!c.hex.empty()) {
        EXPECT_EQ(reply.Hex, c.hex);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReplyKinds,
    ::testing::Values(
        ReplyCase{"VersionLine", Padded("OK 201036\r\n"), TReplyKind::Line, "OK 201036",
                  "4F,4B,20,32,30,31,30,33,36,0D,0A"},
        ReplyCase{"NgLine", Padded("NG\r\n"), TReplyKind::Line, "NG", "4E,47,0D,0A"},
        ReplyCase{"OkAnywhereWinsOverNg", Padded("NGxOK\r\n"), TReplyKind::Line, "NGxOK", ""},
        ReplyCase{"OkWithoutCrLfDropsLastTwoBytes", std::string("OK 1234"), TReplyKind::Line,
                  "OK 12", "4F,4B,20,31,32,33,34"},
        ReplyCase{"FileMarkerEndsAtLf", Padded("xx act_finfo 12\nrest"), TReplyKind::File,
                  "xx act_finfo 12", ""},
        ReplyCase{"FilecmdWithoutLfDropsLastByte", std::string("filecmd"), TReplyKind::File,
                  "filecm", ""},
        ReplyCase{"BootMarker", Padded("--boot\n"), TReplyKind::File, "--boot", ""},
        ReplyCase{"RawTakesEverything", std::string("ab\0c", 4), TReplyKind::Raw,
                  std::string("ab\0c", 4), "61,62,00,63"},
        ReplyCase{"OkLaterInReportStillLine", Padded(std::string("\x01\x02OK\r\n", 6)),
                  TReplyKind::Line, std::string("\x01\x02OK", 4), "01,02,4F,4B,0D,0A"},
        ReplyCase{"LoneCrIsNoTerminator", std::string("OK\r"), TReplyKind::Line, "O", ""},
        ReplyCase{"ShortLineReport", std::string("N"), TReplyKind::Raw, "N", "4E"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(Reply, EmptyReportGivesEmptyTextAndHex) {
    const auto reply = ParseReply(nullptr, 0);
    EXPECT_EQ(reply.Kind, TReplyKind::Raw);
    EXPECT_EQ(reply.Text, "");
    EXPECT_EQ(reply.Hex, "");
    EXPECT_EQ(channel::ReplyLogText(reply), "-");
}

TEST(Reply, AllZeroReportIsTakenWholeAndPrintedAsUnderscores) {
    const auto reply = Parse(std::string(8, '\0'));
    EXPECT_EQ(reply.Text, std::string(8, '\0'));
    EXPECT_EQ(reply.Printable, "________");
    EXPECT_EQ(reply.Hex, "00,00,00,00,00,00,00,00");
}

TEST(Reply, NonPrintableBytesStayInTextButNotInLog) {
    const auto reply = Parse(Padded(std::string("OK \x7f\x80\xff\x1f!\r\n", 10)));
    EXPECT_EQ(reply.Text, std::string("OK \x7f\x80\xff\x1f!", 8));
    EXPECT_EQ(channel::ReplyLogText(reply), "4F,4B,20,7F,80,FF,1F,21,0D,0A-OK ____!");
}

TEST(Reply, EveryByteValueIsSafe) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    for (size_t n = 0; n <= all.size(); ++n) {
        const auto reply = Parse(all.substr(0, n));
        EXPECT_LE(reply.Text.size(), n);
        EXPECT_EQ(reply.Printable.size(), reply.Text.size());
    }
}

TEST(FileInfoAlias, RewritesOrRefuses) {
    EXPECT_EQ(ApplyFileInfoAlias("FILEINFO DWINFO.INI"), std::optional<std::string>("FINS DWINFO.INI"));
    EXPECT_EQ(ApplyFileInfoAlias("fileinfo abc"), std::optional<std::string>("FINS abc"));
    EXPECT_EQ(ApplyFileInfoAlias("FileInfoX"), std::optional<std::string>("FINSX"));
    EXPECT_EQ(ApplyFileInfoAlias("FILEINFO"), std::nullopt);
    EXPECT_EQ(ApplyFileInfoAlias(std::string("FILEINFO") + std::string(60, 'n')),
              std::optional<std::string>("FINS" + std::string(46, 'n')));
    EXPECT_EQ(ApplyFileInfoAlias("GSER"), std::optional<std::string>("GSER"));
    EXPECT_EQ(ApplyFileInfoAlias("FILEINF"), std::optional<std::string>("FILEINF"));
    // Only a to z are folded: a byte above 0x7f is no letter.
    EXPECT_EQ(ApplyFileInfoAlias("FILE\xc9NFO x"), std::optional<std::string>("FILE\xc9NFO x"));
}

} // namespace
