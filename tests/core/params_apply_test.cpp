#include "settings/ApplyValues.h"
#include "params/ValueTables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace params;

namespace {

TEST(ApplyValueHelpers, IndexToDeviceValue) {
    struct Case {
        int index;
        std::string diveCon, txMode;
        std::int32_t voiceGuide;
    };
    const std::vector<Case> cases{
        {-1, "", "", 511}, {0, "0", "1", 120}, {1, "2", "0", 510},
        {2, "3", "", 511}, {3, "", "", 511},   {INT32_MIN, "", "", 511},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetDiveConWarningValue(c.index), c.diveCon) << c.index;
        EXPECT_EQ(GetTxModeValue(c.index), c.txMode) << c.index;
        EXPECT_EQ(GetVoiceGuideValue(c.index), c.voiceGuide) << c.index;
    }
    // What is written reads back as the item it came from.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(DiveConWarningToIndex(std::stoi(GetDiveConWarningValue(i))), i);
        EXPECT_EQ(VoiceGuideToIndex(GetVoiceGuideValue(i)), i);
    }
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(TxModeToIndex(std::stoi(GetTxModeValue(i))), i);
}

TEST(VolumeCommand, ByFlagsAndModel) {
    struct Case {
        std::string version, model;
        std::vector<std::string> commands; // for index 0..4
    };
    const std::vector<Case> cases{
        {"201016",
         "DW720 KEL",
         {"SPAR RxLevel 22000", "SPAR RxLevel 23500", "SPAR RxLevel 25000", "SPAR RxLevel 26500",
          "SPAR RxLevel 28000"}},
        {"201033",
         "DW720 KEL",
         {"SPAR PhoneOutVol -12", "SPAR PhoneOutVol -9", "SPAR PhoneOutVol -6",
          "SPAR PhoneOutVol -3", "SPAR PhoneOutVol 0"}},
        {"201020",
         "DW720 MIV",
         {"SPAR RxOutLevel 9000", "SPAR RxOutLevel 10728", "SPAR RxOutLevel 12744",
          "SPAR RxOutLevel 15138", "SPAR RxOutLevel 18000"}},
        {"201032",
         "DW730 VELMORAS_SPECIAL",
         {"SPAR RxOutLevel 6280", "SPAR RxOutLevel 8870", "SPAR RxOutLevel 12530",
          "SPAR RxOutLevel 18000", "SPAR RxOutLevel 25000"}},
        {"201025",
         "DW730 TONAL",
         {"SPAR RxOutLevel 7500", "SPAR RxOutLevel 8940", "SPAR RxOutLevel 10620",
          "SPAR RxOutLevel 12615", "SPAR RxOutLevel 15000"}},
    };
    for (const auto& c : cases) {
        const auto id = TIdentity::FromVersion(c.version, c.model);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(VolumeCommand(id, i), c.commands[static_cast<size_t>(i)]) << c.model;
        // No selection: the bare text with its blank.
        const auto bare = c.commands[0].substr(0, c.commands[0].rfind(' ') + 1);
        EXPECT_EQ(VolumeCommand(id, -1), bare);
        EXPECT_EQ(VolumeCommand(id, 5), bare);
    }
}

TEST(SettingCommands, ValuesPerIndex) {
    EXPECT_EQ(TxSquelchCommand(0), "SPAR TxSquelchSw 0");
    EXPECT_EQ(TxSquelchCommand(1), "SPAR TxSquelchSw 1");
    EXPECT_EQ(TxSquelchCommand(-1), "SPAR TxSquelchSw ");
    EXPECT_EQ(VoxCommand(0), "SPAR VOXsw 0");
    EXPECT_EQ(VoxCommand(3), "SPAR VOXsw 1");
    EXPECT_EQ(VoxCommand(-1), "SPAR VOXsw 1");

    const std::vector<std::string> th{"SPAR CsgVoxNzccTh 0.75", "SPAR CsgVoxNzccTh 0.8",
                                      "SPAR CsgVoxNzccTh 0.7",  "SPAR CsgVoxNzccTh 0.6",
                                      "SPAR CsgVoxNzccTh 0.5",  "SPAR CsgVoxNzccTh 0.4"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(CsgVoxNzccThCommand(i, 0.75), th[static_cast<size_t>(i)]);
    EXPECT_EQ(CsgVoxNzccThCommand(0, 0), "SPAR CsgVoxNzccTh 0");
    EXPECT_EQ(CsgVoxNzccThCommand(6, 0.75), "SPAR CsgVoxNzccTh ");

    struct Channel {
        int index;
        std::string led, channelMiv, channelOther, baseFreq, record;
    };
    const std::vector<Channel> cases{
        {0, "y", "u", "u", "2", "0"}, {1, "b", "l", "u", "3", "1"}, {2, "a", "l", "l", "4", "2"},
        {3, "", "", "", "", "3"},     {4, "", "", "", "", "4"},     {5, "", "", "", "", ""},
        {-1, "", "", "", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LedCommand(c.index), "SPAR Led " + c.led);
        EXPECT_EQ(ChannelCommand("DW720 MIV", c.index), "SPAR Channel " + c.channelMiv);
        EXPECT_EQ(ChannelCommand("DW720 KEL", c.index), "SPAR Channel " + c.channelOther);
        EXPECT_EQ(BaseFreqCommand(c.index), "SPAR BaseFreq " + c.baseFreq);
        EXPECT_EQ(RecordSwCommand(c.index), "SPAR RecordSw " + c.record);
    }
    // The channel pair written for each item is shown again as that item.
    for (const char* model : {"DW720 MIV", "DW720 KEL"}) {
        const int items = std::string(model) == "DW720 MIV" ? 2 : 3;
        for (int i = 0; i < items; ++i) {
            const auto ch = ChannelCommand(model, i).substr(13);
            const auto bf = std::stoi(BaseFreqCommand(i).substr(14));
            const auto shown = ChannelToDisplay(ch, bf);
            ASSERT_TRUE(shown) << model << " " << i;
            EXPECT_EQ(shown->itemIndex, i);
            EXPECT_EQ(shown->text, ChannelBoxText(model, i));
        }
    }
}

TEST(GatedCommands, FollowModelAndFirmware) {
    struct Case {
        std::string version, model;
        std::optional<std::string> diveCom, voiceGuide, airCheck;
    };
    const std::string dc = "SPAR DiveConWarningSw 2";
    const std::string tx = "SPAR TxModeSw 0";
    const std::string vg = "SPAR VoiceGuideSwitch 510";
    const std::string ac = "SPAR DivingTimeSignalSw 491580";
    const std::nullopt_t no = std::nullopt;
    const std::vector<Case> cases{
        {"201028", "", no, no, no},
        {"201029", "", dc, no, no},
        {"201032", "DW720 KEL", dc, no, no},
        {"201033", "DW720 KEL", dc, vg, no},
        {"201035", "DW720 KEL", dc, vg, no},
        {"201036", "DW720 KEL", dc, vg, ac},
        {"201020", "DW730 VELMORAS_SPECIAL", tx, no, no},
        {"201036", "DW730 VELMORAS_SPECIAL", tx, vg, ac},
        {"201036", "DW720 QZ", dc, no, ac},
        {"201036", "PX510", dc, no, no},
        {"201036", "PX510 MIV", dc, no, no},
        {"201036", "px510", dc, vg, ac},
        {"", "", no, no, no},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version + " " + c.model);
        const auto id = TIdentity::FromVersion(c.version, c.model);
        EXPECT_EQ(DiveComCommand(id, 1), c.diveCom);
        EXPECT_EQ(VoiceGuideCommand(id, 1), c.voiceGuide);
        EXPECT_EQ(DivingTimeSignalCommand(id, 491580), c.airCheck);
    }
    const auto id = TIdentity::FromVersion("201036", "");
    EXPECT_EQ(DiveComCommand(id, -1), "SPAR DiveConWarningSw ");
    EXPECT_EQ(VoiceGuideCommand(id, -1), "SPAR VoiceGuideSwitch 511");
    EXPECT_EQ(DivingTimeSignalCommand(id, 0), "SPAR DivingTimeSignalSw 0");
    EXPECT_FALSE(WritesCsgVoxNzccTh("201025"));
    EXPECT_TRUE(WritesCsgVoxNzccTh("201026"));
}

TApplyState Unchanged() {
    TApplyState p;
    p.volume = p.volumeCurrent = 2;
    p.txSquelch = p.txSquelchCurrent = 1;
    p.handsFree = p.handsFreeCurrent = 3;
    p.channel = p.channelCurrent = 0;
    p.recordSw = p.recordSwCurrent = 4;
    p.diveCom = p.diveComCurrent = 1;
    p.voiceGuide = p.voiceGuideCurrent = 2;
    p.airCheckChecked = true;
    p.airCheckFirst = 1;
    p.airCheckLater = 1;
    p.airCheckCurrent = 4;
    return p;
}

TEST(CountChangedSettings, CountsOnlyWhatApplyWrites) {
    for (std::string_view v : {"201016", "201029", "201033", "201036"})
        EXPECT_EQ(CountChangedSettings(Unchanged(), TIdentity::FromVersion(v, "")).count, 0);

    auto p = Unchanged();
    p.volume = 0;
    p.txSquelch = 0;
    p.handsFree = 0;
    p.channel = 1;
    p.recordSw = -1;
    EXPECT_EQ(CountChangedSettings(p, TIdentity::FromVersion("201016", "")).count, 5);

    struct Case {
        std::string version, model;
        int diveCom, voiceGuide, airCheck;
    };
    const std::vector<Case> cases{
        {"201028", "", 0, 0, 0},
        {"201029", "", 1, 0, 0},
        {"201020", "DW730 VELMORAS_SPECIAL", 1, 0, 0},
        {"201032", "PX510", 1, 0, 0},
        {"201033", "", 1, 1, 0},
        {"201035", "", 1, 1, 0},
        {"201036", "", 1, 1, 1},
        // A setting Apply does not write for the model is not a change either.
        {"201036", "PX510", 1, 0, 0},
        {"201036", "PX510 MIV", 1, 0, 0},
        {"201036", "DW720 QZ", 1, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version + " " + c.model);
        const auto id = TIdentity::FromVersion(c.version, c.model);
        auto d = Unchanged();
        d.diveCom = 2;
        EXPECT_EQ(CountChangedSettings(d, id).count, c.diveCom);
        auto g = Unchanged();
        g.voiceGuide = 0;
        EXPECT_EQ(CountChangedSettings(g, id).count, c.voiceGuide);
        auto a = Unchanged();
        a.airCheckLater = 0;
        EXPECT_EQ(CountChangedSettings(a, id).count, c.airCheck);
    }
}

TEST(CountChangedSettings, UnknownAirCheckPairIsUncheckedAndWritesOff) {
    const auto id = TIdentity::FromVersion("201036", "");
    auto p = Unchanged();
    p.airCheckFirst = 0; // "in 10 min."
    p.airCheckLater = 2; // "every 1 min. (Test)"
    const auto r = CountChangedSettings(p, id);
    EXPECT_TRUE(r.uncheckAirCheck);
    EXPECT_EQ(r.count, 1); // code 0 against current code 4
    EXPECT_EQ(GetDivingTimeSignalValue(false, -1, -1), 0);

    // Already off on both sides: nothing to count, nothing to uncheck.
    p.airCheckChecked = false;
    p.airCheckCurrent = 0;
    const auto off = CountChangedSettings(p, id);
    EXPECT_FALSE(off.uncheckAirCheck);
    EXPECT_EQ(off.count, 0);
    // Below the air-check firmware the box is left alone.
    p.airCheckChecked = true;
    EXPECT_FALSE(CountChangedSettings(p, TIdentity::FromVersion("201035", "")).uncheckAirCheck);
}

} // namespace

namespace {

// A backup's value goes to the unit only in the shape its key takes there.
struct TRawShape {
    const char* key;
    const char* value;
    bool fits;
};

void PrintTo(const TRawShape& t, std::ostream* out) {
    *out << t.key << " = '" << t.value << "'";
}

class RestoreValues : public ::testing::TestWithParam<TRawShape> {};

TEST_P(RestoreValues, AreTakenOnlyInTheShapeTheirKeyTakes) {
    const TRawShape& t = GetParam();
    const TRestoreValues read = RestoreValuesOf({{"BaseFreq", "3"}, {t.key, t.value}});
    EXPECT_EQ(static_cast<bool>(read), t.fits) << read.why;
    if (!t.fits) {
        EXPECT_EQ(read.key, t.key);
        EXPECT_TRUE(read.values.Empty()); // nothing of a backup that does not fit
        return;
    }
    const std::string command = "SPAR " + std::string(t.key) + " ";
    EXPECT_EQ(read.values.Of(command), std::optional<std::string_view>(t.value));
    EXPECT_EQ(read.values.Of("SPAR BaseFreq "), std::optional<std::string_view>("3"));
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, RestoreValues,
    ::testing::Values(TRawShape{"PhoneOutVol", "-7", true}, TRawShape{"PhoneOutVol", "-7.5", true},
                      TRawShape{"CsgVoxNzccTh", "0.65", true}, TRawShape{"RxLevel", "18001", true},
                      TRawShape{"DivingTimeSignalSw", "16777215", true},
                      TRawShape{"VOXsw", "0", true}, TRawShape{"Channel", "S", true},
                      TRawShape{"PhoneOutVol", "-7 0", false}, TRawShape{"PhoneOutVol", "-", false},
                      TRawShape{"CsgVoxNzccTh", "7e-1", false},
                      TRawShape{"CsgVoxNzccTh", ".5", false}, TRawShape{"RecordSw", "three", false},
                      TRawShape{"RecordSw", "1.0", false}, TRawShape{"RecordSw", "+1", false},
                      TRawShape{"Led", "1", false}, TRawShape{"Led", "b\rSAVE", false},
                      TRawShape{"Channel", "u\x1b", false},
                      TRawShape{"RxLevel", "0000000000018001", false},
                      TRawShape{"VoiceGuideSwitch", "", false},
                      TRawShape{"VOXSw", "1", false}, // the reply's spelling, not the command's
                      TRawShape{"Volume", "1", false}),
    [](const auto& p) { return std::string(p.param.key) + "_" + std::to_string(p.index); });

} // namespace
