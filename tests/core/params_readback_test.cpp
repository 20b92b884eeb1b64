#include "params/ReadBack.h"
#include "params/ReplyTokens.h"
#include "params/ValueTables.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace params;
using namespace std::string_literals;

namespace {

TEST(ExpectedParamCnt, StepsAtEachThreshold) {
    struct Case {
        std::string version;
        std::int32_t count;
    };
    const std::vector<Case> cases{
        {"201020", 8},  {"201025", 8},  {"201026", 9},  {"201028", 9},  {"201029", 10},
        {"201032", 10}, {"201033", 12}, {"201035", 12}, {"201036", 13}, {"201999", 13},
    };
    for (const auto& c : cases)
        EXPECT_EQ(expectedParamCnt(true, c.version), c.count) << c.version;
    for (std::string_view v : {"", "201016", "201019", "201036", "999"})
        EXPECT_EQ(expectedParamCnt(false, v), 7) << v;
}

TEST(ReadBackProgress, MovesWithinItsRange) {
    EXPECT_EQ(InitialReadBackProgress(0, 13), 20);
    EXPECT_EQ(InitialReadBackProgress(13, 13), 60);
    EXPECT_EQ(InitialReadBackProgress(5, 10), 40);
    EXPECT_EQ(InitialReadBackProgress(1, 7), 25); // 40/7 = 5.71, truncated
    EXPECT_EQ(CurrentReadBackProgress(0, 7), 60);
    EXPECT_EQ(CurrentReadBackProgress(7, 7), 100);
    EXPECT_EQ(CurrentReadBackProgress(9, 7), 100);
    EXPECT_EQ(CurrentReadBackProgress(1, 13), 63);
    EXPECT_EQ(ApplyProgress(3, 13), 23);
    EXPECT_EQ(ApplyProgress(12, 13), 92);
    EXPECT_EQ(ApplyProgress(3, 0), 0);
    EXPECT_EQ(CurrentReadBackProgress(INT32_MAX, 7), 100);
    EXPECT_EQ(InitialReadBackProgress(INT32_MIN, 7), 0);
}

TEST(SkipInitialReadBack, OnlyForTheSameUnitReadBefore) {
    EXPECT_TRUE(SkipInitialReadBack(1, "201036", "PX510", "201036", "PX510"));
    EXPECT_FALSE(SkipInitialReadBack(0, "201036", "PX510", "201036", "PX510"));
    EXPECT_FALSE(SkipInitialReadBack(1, "201036", "PX510", "201033", "PX510"));
    EXPECT_FALSE(SkipInitialReadBack(1, "201036", "PX510", "201036", "px510"));
    EXPECT_TRUE(SkipInitialReadBack(2, "", "", "", ""));
}

struct TInitialCase {
    std::string reply;
    std::optional<TReplyKey> key;
    bool counted;
    std::function<void(TParamSet&)> expect; // applied to a blank set: what the reply stores
};

TEST(StoreInitialReply, TestsTheKeysInOrder) {
    const std::vector<TInitialCase> cases{
        {"OK RxLevel 25000\r\n", TReplyKey::RxLevel, true, [](auto& p) { p.RxLevel = 25000; }},
        {"OK RxLevel x", TReplyKey::RxLevel, true, [](auto& p) { p.RxLevel = 28000; }},
        {"OK RxOutLevel 99999999999", TReplyKey::RxOutLevel, true,
         [](auto& p) { p.RxOutLevel = 18000; }},
        {"OK TxSquelchSw on", TReplyKey::TxSquelchSw, true, [](auto& p) { p.TxSquelchSw = 1; }},
        {"OK TxSquelchSw 0", TReplyKey::TxSquelchSw, true, [](auto& p) { p.TxSquelchSw = 0; }},
        {"OK VOXSw -", TReplyKey::VOXSw, true, [](auto& p) { p.VOXSw = 1; }},
        {"OK CsgVoxNzccTh 0.6", TReplyKey::CsgVoxNzccTh, true,
         [](auto& p) { p.CsgVoxNzccTh = 0.6; }},
        {"OK RecordSw 3", TReplyKey::RecordSw, true, [](auto& p) { p.RecordSw = 3; }},
        {"OK Channel l", TReplyKey::Channel, true, [](auto& p) { p.Channel = "l"; }},
        // The key is searched in the whole text, the value is always the third token.
        {"OK Channel Led", TReplyKey::Channel, true, [](auto& p) { p.Channel = "Led"; }},
        {"OK Led b", TReplyKey::Led, true, [](auto& p) { p.Led = "b"; }},
        {"OK BaseFreq 4", TReplyKey::BaseFreq, true, [](auto& p) { p.BaseFreq = 4; }},
        {"OK DiveConWarningSw 2", TReplyKey::DiveConWarningSw, true,
         [](auto& p) { p.DiveConWarningSw = 2; }},
        {"OK TxModeSw 0", TReplyKey::TxModeSw, false, [](auto&) {}},
        {"OK TxModeSw", TReplyKey::TxModeSw, false, [](auto&) {}},
        {"OK PhoneOutVol -6", TReplyKey::PhoneOutVol, true, [](auto& p) { p.PhoneOutVol = -6; }},
        {"OK VoiceGuideSwitch 510", TReplyKey::VoiceGuideSwitch, true,
         [](auto& p) { p.VoiceGuideSwitch = 510; }},
        {"OK DivingTimeSignalSw 2457900", TReplyKey::DivingTimeSignalSw, true,
         [](auto& p) { p.DivingTimeSignalSw = 2457900; }},
        {"OK ChannelChangeSw 1", std::nullopt, false, [](auto&) {}},
        {"OK PhoneOutVolTrx -3", std::nullopt, false, [](auto&) {}},
        {"Parameters not found", std::nullopt, false, [](auto&) {}},
        {"OK rxlevel 1", std::nullopt, false, [](auto&) {}},
        {"", std::nullopt, false, [](auto&) {}},
        {"OK\0RxLevel 5"s, TReplyKey::RxLevel, false, nullptr}, // throws: see below
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        TParamSet set;
        if (!c.expect) {
            EXPECT_THROW(StoreInitialReply(c.reply, set), EConvertError);
            EXPECT_EQ(set, TParamSet{});
            continue;
        }
        const auto r = StoreInitialReply(c.reply, set);
        ASSERT_EQ(r.has_value(), c.key.has_value());
        if (r) {
            EXPECT_EQ(r->key, *c.key);
            EXPECT_EQ(r->counted, c.counted);
        }
        TParamSet expected;
        c.expect(expected);
        EXPECT_EQ(set, expected);
    }
}

TEST(StoreInitialReply, FailedConversionLeavesTheSetAlone) {
    TParamSet set;
    set.CsgVoxNzccTh = 0.7;
    set.PhoneOutVol = -3;
    set.RxLevel = 23500;
    const TParamSet before = set;
    for (const std::string& reply :
         {"OK CsgVoxNzccTh abc"s, "OK CsgVoxNzccTh nan"s, "OK PhoneOutVol 1e999"s,
          "OK PhoneOutVol"s, "OK RxLevel"s, "RxLevel"s, "OK Channel"s, "OK CsgVoxNzccTh 0,7"s}) {
        EXPECT_THROW(StoreInitialReply(reply, set), EConvertError) << reply;
        EXPECT_EQ(set, before) << reply;
    }
}

TCurParams Cur() {
    TCurParams c;
    c.ResetOnConnect();
    return c;
}

TEST(ReadCurrentReply, ShowsVolumeOnlyForTheFirmwareThatUsesTheKey) {
    const auto plain = TIdentity::FromVersion("201016", "");
    const auto extended = TIdentity::FromVersion("201026", "DW720 KEL");
    const auto phone = TIdentity::FromVersion("201033", "DW720 KEL");
    struct Case {
        std::string reply;
        const TIdentity* id;
        TShowOp show;
    };
    const std::vector<Case> cases{
        {"OK RxLevel 1", &plain, TShowOp::RxLevel},
        {"OK RxLevel 1", &extended, TShowOp::None},
        {"OK RxLevel 1", &phone, TShowOp::None},
        {"OK RxOutLevel 1", &plain, TShowOp::None},
        {"OK RxOutLevel 1", &extended, TShowOp::RxOutLevel},
        {"OK RxOutLevel 1", &phone, TShowOp::None},
        {"OK PhoneOutVol -9", &plain, TShowOp::None},
        {"OK PhoneOutVol -9", &extended, TShowOp::None},
        {"OK PhoneOutVol -9", &phone, TShowOp::PhoneOutVol},
    };
    for (const auto& c : cases) {
        auto cur = Cur();
        const auto r = ReadCurrentReply(c.reply, *c.id, cur);
        ASSERT_TRUE(r) << c.reply;
        EXPECT_EQ(r->show, c.show) << c.reply << " @ " << c.id->version;
        EXPECT_TRUE(r->counted);
    }
    auto cur = Cur();
    EXPECT_EQ(ReadCurrentReply("OK RxLevel ?", plain, cur)->intArg, 28000);
    EXPECT_EQ(ReadCurrentReply("OK RxOutLevel ?", extended, cur)->intArg, 18000);
    EXPECT_EQ(ReadCurrentReply("OK PhoneOutVol -9.5", phone, cur)->realArg, -9.5);
    EXPECT_FALSE(ReadCurrentReply("OK PhoneOutVolTrx -9", phone, cur));
}

TEST(ReadCurrentReply, ShowsTheChannelFromBothHalves) {
    const auto id = TIdentity::FromVersion("201036", "DW720 MIV");
    auto cur = Cur();
    auto r = ReadCurrentReply("OK Channel l\r\n", id, cur);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->show, TShowOp::Channel);
    EXPECT_EQ(cur.Channel, "l");
    EXPECT_FALSE(ChannelToDisplay(cur.Channel, cur.BaseFreq)); // no BaseFreq yet

    r = ReadCurrentReply("OK BaseFreq 3\r\n", id, cur);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->show, TShowOp::Channel);
    EXPECT_TRUE(r->counted);
    EXPECT_EQ(ChannelToDisplay(cur.Channel, cur.BaseFreq), (TDisplay{1, "S ch", 1}));

    EXPECT_FALSE(ReadCurrentReply("OK ChannelChangeSw 1", id, cur));
    r = ReadCurrentReply("OK Led a", id, cur);
    EXPECT_EQ(r->show, TShowOp::None);
    EXPECT_TRUE(r->counted);
    EXPECT_EQ(cur.Led, "a");
}

TEST(ReadCurrentReply, KeepsTheHandsFreePair) {
    const auto id = TIdentity::FromVersion("201026", "");
    auto cur = Cur();
    auto r = ReadCurrentReply("OK VOXSw 1", id, cur);
    EXPECT_EQ(r->show, TShowOp::HandsFree);
    r = ReadCurrentReply("OK CsgVoxNzccTh 0.75", id, cur);
    EXPECT_EQ(r->show, TShowOp::HandsFree);
    EXPECT_EQ(cur.VOXSw, 1);
    EXPECT_EQ(cur.CsgVoxNzccTh, 0.75);
    EXPECT_EQ(HandsFreeToDisplay(id.version, cur.VOXSw, cur.CsgVoxNzccTh), (TDisplay{2, "2", 2}));
    EXPECT_EQ(HandsFreeToDisplay("201025", cur.VOXSw, cur.CsgVoxNzccTh), (TDisplay{1, "On", 1}));

    // A bad threshold is an error and keeps the pair as it was.
    EXPECT_THROW(ReadCurrentReply("OK CsgVoxNzccTh x", id, cur), EConvertError);
    EXPECT_EQ(cur.CsgVoxNzccTh, 0.75);
    // ResetOnConnect keeps the pair, forgets the channel.
    cur.Channel = "u";
    cur.BaseFreq = 2;
    cur.ResetOnConnect();
    EXPECT_EQ(cur.Channel, "");
    EXPECT_EQ(cur.BaseFreq, -1);
    EXPECT_EQ(cur.VOXSw, 1);
}

TEST(ReadCurrentReply, MapsTheDiveComChoiceByModel) {
    const auto velmoras = TIdentity::FromVersion("201020", "DW730 VELMORAS_SPECIAL");
    const auto other = TIdentity::FromVersion("201036", "DW720 KEL");
    struct Case {
        std::string reply;
        const TIdentity* id;
        bool counted;
        TShowOp show;
        std::int32_t index;
    };
    const std::vector<Case> cases{
        {"OK DiveConWarningSw 2", &other, true, TShowOp::DiveComInterface, 1},
        {"OK DiveConWarningSw 3", &other, true, TShowOp::DiveComInterface, 2},
        {"OK DiveConWarningSw 9", &other, true, TShowOp::DiveComInterface, 0},
        {"OK DiveConWarningSw 2", &velmoras, true, TShowOp::None, 0},
        // Not read for this model, so a missing value is no error.
        {"OK DiveConWarningSw", &velmoras, true, TShowOp::None, 0},
        {"OK TxModeSw 0", &velmoras, false, TShowOp::DiveComInterface, 1},
        {"OK TxModeSw 1", &velmoras, false, TShowOp::DiveComInterface, 0},
        {"OK TxModeSw z", &velmoras, false, TShowOp::DiveComInterface, 1},
        {"OK TxModeSw 0", &other, false, TShowOp::None, 0},
        {"OK TxModeSw", &other, false, TShowOp::None, 0},
    };
    for (const auto& c : cases) {
        auto cur = Cur();
        const auto r = ReadCurrentReply(c.reply, *c.id, cur);
        ASSERT_TRUE(r) << c.reply;
        EXPECT_EQ(r->counted, c.counted) << c.reply << " / " << c.id->model;
        EXPECT_EQ(r->show, c.show) << c.reply << " / " << c.id->model;
        EXPECT_EQ(r->intArg, c.index) << c.reply << " / " << c.id->model;
    }
    auto cur = Cur();
    EXPECT_THROW(ReadCurrentReply("OK TxModeSw", velmoras, cur), EConvertError);
    EXPECT_THROW(ReadCurrentReply("OK DiveConWarningSw", other, cur), EConvertError);
}

TEST(ReadCurrentReply, PassesTheOtherValuesOn) {
    const auto id = TIdentity::FromVersion("201036", "");
    struct Case {
        std::string reply;
        TShowOp show;
        std::int32_t arg;
        bool counted;
    };
    const std::vector<Case> cases{
        {"OK TxSquelchSw 0", TShowOp::TxSquelch, 0, true},
        {"OK TxSquelchSw ?", TShowOp::TxSquelch, 1, true},
        {"OK RecordSw 7", TShowOp::RecordSw, 7, true},
        {"OK RecordSw ?", TShowOp::RecordSw, 0, true},
        {"OK VoiceGuideSwitch 510", TShowOp::VoiceGuideLevel, 1, true},
        {"OK VoiceGuideSwitch 0", TShowOp::VoiceGuideLevel, 2, true},
        {"OK VoiceGuideSwitch ?", TShowOp::VoiceGuideLevel, 2, true},
        {"OK DivingTimeSignalSw 491580", TShowOp::DivingTimeSignal, 491580, true},
        {"OK DivingTimeSignalSw ?", TShowOp::DivingTimeSignal, 0, true},
        {"NG Parameters not found\r\n", TShowOp::InitParams, 0, false},
    };
    for (const auto& c : cases) {
        auto cur = Cur();
        const auto r = ReadCurrentReply(c.reply, id, cur);
        ASSERT_TRUE(r) << c.reply;
        EXPECT_EQ(r->show, c.show) << c.reply;
        EXPECT_EQ(r->intArg, c.arg) << c.reply;
        EXPECT_EQ(r->counted, c.counted) << c.reply;
    }
    auto cur = Cur();
    EXPECT_FALSE(ReadCurrentReply("OK", id, cur));
    EXPECT_FALSE(ReadCurrentReply("NG", id, cur));
}

// How many fields of the default set differ between a and b.
int ChangedFields(const TParamSet& a, const TParamSet& b) {
    return (a.RxLevel != b.RxLevel) + (a.RxOutLevel != b.RxOutLevel) +
           (a.TxSquelchSw != b.TxSquelchSw) + (a.VOXSw != b.VOXSw) + (a.RecordSw != b.RecordSw) +
           (a.BaseFreq != b.BaseFreq) + (a.DiveConWarningSw != b.DiveConWarningSw) +
           (a.VoiceGuideSwitch != b.VoiceGuideSwitch) +
           (a.DivingTimeSignalSw != b.DivingTimeSignalSw) + (a.CsgVoxNzccTh != b.CsgVoxNzccTh) +
           (a.PhoneOutVol != b.PhoneOutVol) + (a.Channel != b.Channel) + (a.Led != b.Led);
}

TEST(ReadBackReplies, AnyBytesChangeAtMostOneValueAndAnErrorChangesNone) {
    // Replies built from key fragments, separators and arbitrary bytes; under the sanitizers
    // this also catches any read outside the reply.
    const std::vector<std::string> parts{
        "OK",      " ",        "\t",           "\0"s,
        "RxLevel", "Channel",  "ChangeSw",     "PhoneOutVol",
        "Trx",     "TxModeSw", "CsgVoxNzccTh", "-",
        "1e999",   "0.5",      "\xff",         "Parameters not found"};
    std::mt19937 rng(12345);
    const auto ids = {TIdentity::FromVersion("201016", ""),
                      TIdentity::FromVersion("201036", "DW730 VELMORAS_SPECIAL"),
                      TIdentity::FromVersion("201033", "DW720 MIV")};
    TParamSet seed;
    seed.RxLevel = seed.RxOutLevel = seed.TxSquelchSw = seed.VOXSw = seed.RecordSw = -7;
    seed.BaseFreq = seed.DiveConWarningSw = seed.VoiceGuideSwitch = seed.DivingTimeSignalSw = -7;
    seed.CsgVoxNzccTh = seed.PhoneOutVol = -7.5;
    seed.Channel = seed.Led = "?";
    TCurParams curSeed = Cur();
    curSeed.Channel = curSeed.Led = "?";
    curSeed.VOXSw = 9;
    curSeed.CsgVoxNzccTh = -7.5;
    int errors = 0, stored = 0;
    for (int n = 0; n < 3000; ++n) {
        std::string reply;
        const auto count = rng() % 6;
        for (unsigned i = 0; i < count; ++i) {
            if (rng() % 4 == 0)
                reply += static_cast<char>(rng() % 256);
            else
                reply += parts[rng() % parts.size()];
        }
        TParamSet set = seed;
        try {
            const auto r = StoreInitialReply(reply, set);
            EXPECT_LE(ChangedFields(set, seed), r ? 1 : 0) << reply;
            stored += ChangedFields(set, seed);
        } catch (const EConvertError&) {
            EXPECT_EQ(set, seed) << reply;
            ++errors;
        }
        for (const auto& id : ids) {
            TCurParams cur = curSeed;
            try {
                if (!ReadCurrentReply(reply, id, cur)) {
                    EXPECT_EQ(cur, curSeed) << reply;
                }
            } catch (const EConvertError&) {
                EXPECT_EQ(cur, curSeed) << reply;
            }
        }
    }
    // The mix reaches both outcomes.
    EXPECT_GT(errors, 0);
    EXPECT_GT(stored, 0);
}

} // namespace
