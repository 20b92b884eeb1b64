#include "SimTestUtil.h"

using namespace simtest;
using sim::MakeProfile;

namespace {

int ExpectedCount(const std::string& fw) {
    if (!(fw.size() == 6 && fw >= "201020" && fw <= "201999")) return 7;
    if (fw >= "201036") return 13;
    if (fw >= "201033") return 12;
    if (fw >= "201029") return 10;
    if (fw >= "201026") return 9;
    return 8;
}

} // namespace

// Every preset answers both read-backs with exactly the counted replies the tool waits
// for, the last reply counted, so a tool that moves on at its count has consumed all.
TEST(SimParams, ReadBackRepliesMatchTheToolsCountForEveryPreset) {
    for (const auto& name : sim::PresetNames()) {
        SCOPED_TRACE(name);
        auto p = sim::FindPreset(name);
        ASSERT_TRUE(p);
        const std::string fw = p->firmware;
        const bool velmoras = p->model == "DW730 VELMORAS_SPECIAL";
        Bench b(*p);
        for (const char* cmd : {"GETTMPPARAM", "GPAR"}) {
            b.Send(cmd);
            auto replies = b.Replies();
            ASSERT_FALSE(replies.empty());
            int counted = 0;
            for (const auto& r : replies) {
                EXPECT_TRUE(r.starts_with("OK ")) << r;
                counted += ToolCounts(r);
            }
            if (fw.size() == 6 && fw <= "201999") {
                EXPECT_EQ(counted, ExpectedCount(fw));
            }
            EXPECT_TRUE(ToolCounts(replies.back())) << replies.back();
            auto has = [&](std::string_view k) {
                return std::any_of(replies.begin(), replies.end(), [&](const std::string& r) {
                    return r.starts_with("OK " + std::string(k) + " ");
                });
            };
            const bool six = fw.size() == 6;
            EXPECT_EQ(has("ChannelChangeSw"), six && fw >= "201020");
            EXPECT_EQ(has("PhoneOutVolTrx"), six && fw >= "201033");
            EXPECT_EQ(has("TxModeSw"), velmoras);
        }
    }
}

TEST(SimParams, ParameterReplyFormat) {
    Bench b(MakeProfile("DW720 KEL", "201036"));
    b.Send("GETTMPPARAM");
    auto replies = b.Replies();
    ASSERT_EQ(replies.size(), 15u);
    EXPECT_EQ(replies[0], "OK RxLevel 25000");
    EXPECT_EQ(replies[1], "OK RxOutLevel 12744");
    EXPECT_EQ(replies[2], "OK PhoneOutVol -6");
    EXPECT_EQ(replies[6], "OK CsgVoxNzccTh 0.6");
    EXPECT_EQ(replies.back(), "OK DivingTimeSignalSw 0");
    b.Send("GPAR");
    EXPECT_EQ(b.Replies()[1], "OK RxOutLevel 15138");
}

TEST(SimParams, UnitWithoutParametersSaysSo) {
    auto p = MakeProfile("DW730 TONAL", "201036");
    p.defaults.reset();
    p.stored.reset();
    Bench b(p);
    EXPECT_EQ(b.Ask("GETTMPPARAM"), "NG Parameters not found");
    EXPECT_EQ(b.Ask("GPAR"), "NG Parameters not found");
    EXPECT_EQ(b.Ask("SAVE"), "NG");
    EXPECT_EQ(b.Ask("SPAR RxLevel 28000"), "NG"); // nothing to start a working set from
}

TEST(SimParams, WriteValidation) {
    struct Case {
        const char* command;
        const char* reply;
    };
    const Case cases[] = {
        {"SPAR VOXsw 1", "OK"}, // the tool's spelling of VOXSw
        {"SPAR VOXSw 0", "OK"},
        {"SPAR VOXSw 2", "NG"},
        {"SPAR RxOutLevel 7500", "OK"},
        {"SPAR RxOutLevel 65536", "NG"},
        {"SPAR RxOutLevel 1e3", "NG"},
        {"SPAR RxOutLevel 12.5", "NG"},
        {"SPAR CsgVoxNzccTh 0.8", "OK"},
        {"SPAR CsgVoxNzccTh 0,8", "NG"}, // a comma separator is not a number here
        {"SPAR CsgVoxNzccTh 1.5", "NG"},
        {"SPAR CsgVoxNzccTh nan", "NG"},
        {"SPAR PhoneOutVol -12", "OK"},
        {"SPAR PhoneOutVol -13", "NG"},
        {"SPAR Channel l", "OK"},
        {"SPAR Channel x", "NG"},
        {"SPAR Led a", "OK"},
        {"SPAR BaseFreq 4", "OK"},
        {"SPAR BaseFreq 5", "NG"},
        {"SPAR RecordSw ", "NG"}, // the tool's bare command when nothing is selected
        {"SPAR RecordSw 4", "OK"},
        {"SPAR DiveConWarningSw 3", "OK"},
        {"SPAR VoiceGuideSwitch 511", "OK"},
        {"SPAR DivingTimeSignalSw 491580", "OK"},
        {"SPAR DivingTimeSignalSw -1", "NG"},
        {"SPAR TxModeSw 0", "NG"}, // only the VELMORAS unit has it
        {"SPAR Bogus 1", "NG"},
        {"SPAR RxLevel 1 2", "NG"},
    };
    Bench b(MakeProfile("DW730 TONAL", "201036"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(b.Ask(c.command), c.reply);
    }
}

TEST(SimParams, KeysFollowTheFirmwareOnWrites) {
    Bench old(MakeProfile("DW730 TONAL", "201026"));
    EXPECT_EQ(old.Ask("SPAR DiveConWarningSw 2"), "NG");
    EXPECT_EQ(old.Ask("SPAR CsgVoxNzccTh 0.5"), "OK");
    Bench velmoras(MakeProfile("DW730 VELMORAS_SPECIAL", "201020"));
    EXPECT_EQ(velmoras.Ask("SPAR TxModeSw 1"), "OK");
}

TEST(SimParams, ValuesAreStoredInTheirPlainForm) {
    Bench b(MakeProfile("DW730 TONAL", "201036"));
    b.Ask("SPAR CsgVoxNzccTh 0.80");
    b.Ask("SPAR PhoneOutVol -0");
    b.Ask("SPAR RxOutLevel +8940");
    const auto& w = *b.unit.Working();
    EXPECT_EQ(w.Get("CsgVoxNzccTh"), "0.8");
    EXPECT_EQ(w.Get("PhoneOutVol"), "0");
    EXPECT_EQ(w.Get("RxOutLevel"), "8940");
}

TEST(SimParams, WritesChangeTheWorkingSetAndSaveStoresIt) {
    Bench b(MakeProfile("DW720 MIV", "201036"));
    ASSERT_TRUE(b.unit.Stored().has_value());
    const std::optional<sim::ParamSet> before = b.unit.Stored();
    EXPECT_EQ(b.Ask("SPAR RecordSw 1"), "OK");
    EXPECT_EQ(b.unit.Working()->Get("RecordSw"), "1");
    EXPECT_EQ(b.unit.Stored(), before);
    b.Send("GPAR");
    auto replies = b.Replies();
    EXPECT_NE(std::find(replies.begin(), replies.end(), "OK RecordSw 1"), replies.end());

    b.unit.Replug(); // unsaved changes do not survive a restart
    EXPECT_EQ(b.unit.Working()->Get("RecordSw"), before->Get("RecordSw"));

    EXPECT_EQ(b.Ask("SPAR RecordSw 2"), "OK");
    const std::string saved = b.Ask("SAVE");
    EXPECT_TRUE(saved.starts_with("Parameter saved")) << saved;
    b.unit.Replug();
    EXPECT_EQ(b.unit.Stored()->Get("RecordSw"), "2");
    EXPECT_EQ(b.unit.Working()->Get("RecordSw"), "2");

    b.unit.Reset();
    EXPECT_EQ(b.unit.Stored(), before);
}

TEST(SimParams, ClearErasesToFactoryValues) {
    auto p = MakeProfile("DW720 QZ", "201033");
    const auto factory = *p.defaults;
    Bench b(p);
    ASSERT_NE(b.unit.Stored(), std::optional(factory));
    const std::string r = b.Ask("CLEAR");
    EXPECT_NE(r.find("Successfully erased"), std::string::npos);
    EXPECT_EQ(b.unit.Stored(), std::optional(factory));
    b.Send("GPAR");
    auto replies = b.Replies();
    EXPECT_EQ(replies[1], "OK RxOutLevel " + *factory.Get("RxOutLevel"));
}

// The twelve writes of a full Apply run on current firmware, as the tool sends them.
TEST(SimParams, FullApplyRunIsStored) {
    Bench b(MakeProfile("DW730 VELMORAS_SPECIAL", "201036"));
    const char* run[] = {"SPAR PhoneOutVol -9",
                         "SPAR TxSquelchSw 1",
                         "SPAR VOXsw 1",
                         "SPAR CsgVoxNzccTh 0.4",
                         "SPAR Led a",
                         "SPAR Channel l",
                         "SPAR BaseFreq 4",
                         "SPAR RecordSw 0",
                         "SPAR TxModeSw 1",
                         "SPAR VoiceGuideSwitch 511",
                         "SPAR DivingTimeSignalSw 491580"};
    for (const char* c : run)
        EXPECT_EQ(b.Ask(c), "OK") << c;
    EXPECT_TRUE(b.Ask("SAVE").starts_with("Parameter saved"));
    ASSERT_TRUE(b.unit.Stored().has_value());
    const auto& s = *b.unit.Stored();
    EXPECT_EQ(s.Get("PhoneOutVol"), "-9");
    EXPECT_EQ(s.Get("VOXSw"), "1");
    EXPECT_EQ(s.Get("CsgVoxNzccTh"), "0.4");
    EXPECT_EQ(s.Get("Channel"), "l");
    EXPECT_EQ(s.Get("BaseFreq"), "4");
    EXPECT_EQ(s.Get("TxModeSw"), "1");
    EXPECT_EQ(s.Get("DivingTimeSignalSw"), "491580");
}
