#include "params/ValueTables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace params;

namespace {

constexpr auto IntMin = std::numeric_limits<std::int32_t>::min();
constexpr auto IntMax = std::numeric_limits<std::int32_t>::max();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

struct TIntCase {
    std::int32_t value;
    std::optional<int> index; // nullopt: unchanged
};

void ExpectVolume(std::optional<TDisplay> d, std::optional<int> index, std::int32_t value) {
    if (!index) {
        EXPECT_FALSE(d) << value;
        return;
    }
    ASSERT_TRUE(d) << value;
    EXPECT_EQ(d->itemIndex, *index) << value;
    EXPECT_EQ(d->tag, *index) << value;
    EXPECT_EQ(d->text, std::to_string(*index + 1)) << value;
}

TEST(RxLevel, RangesAtEveryBoundary) {
    const std::vector<TIntCase> cases{
        {IntMin, {}}, {-1, {}},   {0, 0},     {22000, 0},  {22001, 1},
        {23500, 1},   {23501, 2}, {25000, 2}, {25001, 3},  {26500, 3},
        {26501, 4},   {28000, 4}, {65536, 4}, {65537, {}}, {IntMax, {}},
    };
    for (const auto& c : cases)
        ExpectVolume(RxLevelToDisplay(c.value), c.index, c.value);
    const std::vector<std::int32_t> written{22000, 23500, 25000, 26500, 28000};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(RxLevelValue(i), written[static_cast<size_t>(i)]);
    EXPECT_FALSE(RxLevelValue(-1));
    EXPECT_FALSE(RxLevelValue(5));
}

TEST(RxOutLevel, RangesAtEveryBoundaryPerModel) {
    struct Family {
        std::vector<std::string> models;
        std::vector<std::int32_t> highs;   // upper end of items 0..3; item 4 ends at 65536
        std::vector<std::int32_t> written; // items 0..4
    };
    const std::vector<Family> families{
        {{"DW720 KEL", "DW720 MIV"},
         {9000, 10728, 12744, 15138},
         {9000, 10728, 12744, 15138, 18000}},
        {{"DW730 VELMORAS_SPECIAL"}, {6280, 8870, 12530, 18000}, {6280, 8870, 12530, 18000, 25000}},
        {{"", "DW730 TONAL", "DW720 QZ", "PX510", "dw720 kel"},
         {7500, 8940, 10620, 12615},
         {7500, 8940, 10620, 12615, 15000}},
    };
    for (const auto& f : families) {
        for (const auto& m : f.models) {
            SCOPED_TRACE(m);
            ExpectVolume(RxOutLevelToDisplay(m, IntMin), {}, IntMin);
            ExpectVolume(RxOutLevelToDisplay(m, -1), {}, -1);
            ExpectVolume(RxOutLevelToDisplay(m, 0), 0, 0);
            for (int i = 0; i < 4; ++i) {
                const auto high = f.highs[static_cast<size_t>(i)];
                ExpectVolume(RxOutLevelToDisplay(m, high), i, high);
                ExpectVolume(RxOutLevelToDisplay(m, high + 1), i + 1, high + 1);
            }
            ExpectVolume(RxOutLevelToDisplay(m, 65536), 4, 65536);
            ExpectVolume(RxOutLevelToDisplay(m, 65537), {}, 65537);
            for (int i = 0; i < 5; ++i) {
                const auto w = f.written[static_cast<size_t>(i)];
                EXPECT_EQ(RxOutLevelValue(m, i), w);
                // What Apply writes for an item reads back as the same item.
                ExpectVolume(RxOutLevelToDisplay(m, w), i, w);
            }
            EXPECT_FALSE(RxOutLevelValue(m, -1));
            EXPECT_FALSE(RxOutLevelValue(m, 5));
        }
    }
    // The same value lands on different items by model.
    EXPECT_EQ(RxOutLevelToDisplay("DW720 KEL", 12744)->text, "3");
    EXPECT_EQ(RxOutLevelToDisplay("DW730 VELMORAS_SPECIAL", 12744)->text, "4");
    EXPECT_EQ(RxOutLevelToDisplay("", 12744)->text, "5");
}

TEST(PhoneOutVol, HalfOpenRangesAndWrittenValues) {
    struct Case {
        double value;
        std::optional<int> index;
    };
    const std::vector<Case> cases{
        {-Inf, 0}, {-1e300, 0}, {-12, 0},     {-9.5, 0}, {-9.000001, 0}, {-9, 1},
        {-6.5, 1}, {-6, 2},     {-3.0001, 2}, {-3, 3},   {-1e-300, 3},   {0, 4},
        {-0.0, 4}, {0.5, 4},    {Inf, 4},     {NaN, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PhoneOutVolToIndex(c.value), c.index) << c.value;
        if (c.index) {
            EXPECT_EQ(PhoneOutVolToDisplay(c.value),
                      (TDisplay{*c.index, VolumeItems[static_cast<size_t>(*c.index)], *c.index}));
        }
    }
    const std::vector<double> written{-12, -9, -6, -3, 0};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(PhoneOutVolValue(i), written[static_cast<size_t>(i)]);
        EXPECT_EQ(PhoneOutVolToIndex(written[static_cast<size_t>(i)]), i);
    }
    EXPECT_FALSE(PhoneOutVolValue(-1));
    EXPECT_FALSE(PhoneOutVolValue(5));
}

TEST(HandsFree, OnOffBefore201026AndSensitivityFromIt) {
    struct Case {
        std::string version;
        std::int32_t vox;
        double threshold;
        std::optional<TDisplay> display;
    };
    const std::vector<Case> cases{
        {"201025", 0, 0.75, TDisplay{0, "Off", 0}}, {"201025", 1, 0.75, TDisplay{1, "On", 1}},
        {"201025", -7, NaN, TDisplay{1, "On", 1}},  {"", IntMin, 0, TDisplay{1, "On", 1}},
        {"201026", 0, 0.75, TDisplay{0, "Off", 0}}, {"201026", 0, NaN, TDisplay{0, "Off", 0}},
        {"201026", 1, Inf, TDisplay{1, "1", 1}},    {"201026", 1, 0.8, TDisplay{1, "1", 1}},
        {"201026", 1, 0.7999, TDisplay{1, "1", 1}}, {"201026", 1, 0.79989, TDisplay{2, "2", 2}},
        {"201026", 1, 0.75, TDisplay{2, "2", 2}},   {"201026", 1, 0.6999, TDisplay{2, "2", 2}},
        {"201026", 1, 0.6998, TDisplay{3, "3", 3}}, {"201026", 1, 0.5999, TDisplay{3, "3", 3}},
        {"201026", 1, 0.5998, TDisplay{4, "4", 4}}, {"201026", 1, 0.4999, TDisplay{4, "4", 4}},
        {"201026", 1, 0.4998, TDisplay{5, "5", 5}}, {"201036", IntMax, -Inf, TDisplay{5, "5", 5}},
        {"201036", 1, NaN, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HandsFreeToDisplay(c.version, c.vox, c.threshold), c.display)
            << c.version << " " << c.vox << " " << c.threshold;

    // Written thresholds read back as their item; item 0 writes the default set's value.
    for (int i = 1; i <= 5; ++i) {
        const auto w = CsgVoxNzccThValue(i, 0.33);
        ASSERT_TRUE(w);
        EXPECT_EQ(CsgVoxNzccThToIndex(*w), i);
    }
    EXPECT_EQ(CsgVoxNzccThValue(0, 0.33), 0.33);
    EXPECT_FALSE(CsgVoxNzccThValue(-1, 0.33));
    EXPECT_FALSE(CsgVoxNzccThValue(6, 0.33));
}

TEST(HandsFree, BoxAfterSave) {
    EXPECT_EQ(HandsFreeBoxFromIndex("201025", 0), (TBoxUpdate{"Off", 0}));
    EXPECT_EQ(HandsFreeBoxFromIndex("201025", 1), (TBoxUpdate{"On", 1}));
    EXPECT_EQ(HandsFreeBoxFromIndex("201025", -1), (TBoxUpdate{"On", 1}));
    EXPECT_EQ(HandsFreeBoxFromIndex("201026", 0), (TBoxUpdate{"Off", 0}));
    EXPECT_EQ(HandsFreeBoxFromIndex("201026", 3), (TBoxUpdate{"3", 3}));
    EXPECT_EQ(HandsFreeBoxFromIndex("201026", 5), (TBoxUpdate{"5", 5}));
    EXPECT_EQ(HandsFreeBoxFromIndex("201026", -1), (TBoxUpdate{std::nullopt, -1}));
    EXPECT_EQ(HandsFreeBoxFromIndex("201026", 6), (TBoxUpdate{std::nullopt, 6}));
}

TEST(TxSquelch, OnlyZeroAndOne) {
    EXPECT_EQ(TxSquelchToDisplay(0), (TDisplay{0, "Off", 0}));
    EXPECT_EQ(TxSquelchToDisplay(1), (TDisplay{1, "On", 1}));
    for (std::int32_t v : {-1, 2, IntMin, IntMax})
        EXPECT_FALSE(TxSquelchToDisplay(v)) << v;
    EXPECT_EQ(TxSquelchBoxText(0), "Off");
    EXPECT_EQ(TxSquelchBoxText(1), "On");
    EXPECT_FALSE(TxSquelchBoxText(-1));
    EXPECT_FALSE(TxSquelchBoxText(2));
}

TEST(Channel, PairsAndBoxTexts) {
    struct Case {
        std::string channel;
        std::int32_t baseFreq;
        std::optional<TDisplay> display;
    };
    const std::vector<Case> cases{
        {"u", 2, TDisplay{0, "A ch", 0}}, {"u", 3, TDisplay{1, "B ch", 1}},
        {"l", 3, TDisplay{1, "S ch", 1}}, {"l", 4, TDisplay{2, "C ch", 2}},
        {"u", 4, std::nullopt},           {"l", 2, std::nullopt},
        {"U", 2, std::nullopt},           {"u ", 2, std::nullopt},
        {"", -1, std::nullopt},           {"u", -1, std::nullopt},
        {"l", IntMin, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChannelToDisplay(c.channel, c.baseFreq), c.display)
            << c.channel << "," << c.baseFreq;
    EXPECT_EQ(ChannelBoxText("DW720 MIV", 1), "S ch");
    EXPECT_EQ(ChannelBoxText("DW720 KEL", 1), "B ch");
    EXPECT_EQ(ChannelBoxText("", 0), "A ch");
    EXPECT_EQ(ChannelBoxText("", 2), "C ch");
    EXPECT_FALSE(ChannelBoxText("", -1));
    EXPECT_FALSE(ChannelBoxText("", 3));
}

TEST(RecordSw, ClampsTheItemAndKeepsTheValueAsTag) {
    struct Case {
        std::int32_t value;
        int item;
        std::optional<std::string_view> text;
    };
    const std::vector<Case> cases{
        {IntMin, -1, std::nullopt},    {-2, -1, std::nullopt},
        {-1, -1, std::nullopt},        {0, 0, "OFF"},
        {1, 1, "Transmitting record"}, {2, 2, "Receiving record"},
        {3, 3, "All record"},          {4, 4, "Record only"},
        {5, 4, std::nullopt},          {7, 4, std::nullopt},
        {IntMax, 4, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RecordSwToDisplay(c.value), (TRecordSwDisplay{c.item, c.text, c.value}))
            << c.value;
}

TEST(DiveComInterface, ConvertersAndDisplayByModel) {
    struct Case {
        std::int32_t value, diveCon, txMode, voiceGuide;
    };
    const std::vector<Case> cases{
        {IntMin, 0, 0, 2}, {-1, 0, 0, 2},  {0, 0, 1, 2},      {1, 1, 0, 2},
        {2, 1, 0, 2},      {3, 2, 0, 2},   {4, 0, 0, 2},      {120, 0, 0, 0},
        {510, 0, 0, 1},    {511, 0, 0, 2}, {IntMax, 0, 0, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DiveConWarningToIndex(c.value), c.diveCon) << c.value;
        EXPECT_EQ(TxModeToIndex(c.value), c.txMode) << c.value;
        EXPECT_EQ(VoiceGuideToIndex(c.value), c.voiceGuide) << c.value;
    }
    const std::string velmoras = "DW730 VELMORAS_SPECIAL";
    EXPECT_EQ(DiveComInterfaceToDisplay(velmoras, 0), (TDisplay{0, "Off", 0}));
    EXPECT_EQ(DiveComInterfaceToDisplay(velmoras, 1), (TDisplay{1, "On", 1}));
    EXPECT_FALSE(DiveComInterfaceToDisplay(velmoras, 2));
    EXPECT_FALSE(DiveComInterfaceToDisplay(velmoras, -1));
    for (std::string m : {"", "DW720 KEL", "dw730 velmoras_special"}) {
        EXPECT_EQ(DiveComInterfaceToDisplay(m, 0), (TDisplay{0, "Off", 0}));
        EXPECT_EQ(DiveComInterfaceToDisplay(m, 1), (TDisplay{1, "Beep", 1}));
        EXPECT_EQ(DiveComInterfaceToDisplay(m, 2), (TDisplay{2, "Voice", 2}));
        for (std::int32_t i : {-1, 3, IntMin, IntMax})
            EXPECT_FALSE(DiveComInterfaceToDisplay(m, i));
    }
    EXPECT_EQ(VoiceGuideLevelToDisplay(0), (TDisplay{0, "Low", 0}));
    EXPECT_EQ(VoiceGuideLevelToDisplay(1), (TDisplay{1, "Middle", 1}));
    EXPECT_EQ(VoiceGuideLevelToDisplay(2), (TDisplay{2, "High", 2}));
    for (std::int32_t i : {-1, 3, IntMin, IntMax})
        EXPECT_FALSE(VoiceGuideLevelToDisplay(i));
}

TEST(DivingTimeSignal, DisplayOfEachPackedValue) {
    struct Case {
        std::int32_t value;
        TDivingTimeSignalDisplay display;
    };
    const std::vector<Case> cases{
        {0, {0, "Off", -1, -1, false}},
        {2457900, {1, "10min. 5min.", 0, 0, true}},
        {2458200, {2, "10min. 10min.", 0, 1, true}},
        {4915500, {3, "20min. 5min.", 1, 0, true}},
        {4915800, {4, "20min. 10min.", 1, 1, true}},
        {7373100, {5, "30min. 5min.", 2, 0, true}},
        {7373400, {6, "30min. 10min.", 2, 1, true}},
        {491580, {7, "2min. 1min. (Test)", 3, 2, true}},
        {600 * 4096 + 400, {-1, "unknown", -1, -1, false}},
        {300 * 4096 + 600, {-1, "unknown", -1, -1, false}},
        {600, {-1, "unknown", -1, -1, false}},
        {2457900 + (1 << 24), {1, "10min. 5min.", 0, 0, true}}, // bits above 23 ignored
        {static_cast<std::int32_t>(0x80000000u | 2457900u), {1, "10min. 5min.", 0, 0, true}},
        {1 << 24, {0, "Off", -1, -1, false}},
        {-1, {-1, "unknown", -1, -1, false}},
        {IntMin, {0, "Off", -1, -1, false}},
        {IntMax, {-1, "unknown", -1, -1, false}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DivingTimeSignalToDisplay(c.value), c.display) << c.value;
}

TEST(DivingTimeSignal, ApplyValueAndCodeRoundTrip) {
    struct Case {
        bool checked;
        int first, later;
        std::int32_t value;
        int code;
    };
    const std::vector<Case> cases{
        {true, 0, 0, 2457900, 1}, {true, 0, 1, 2458200, 2}, {true, 1, 0, 4915500, 3},
        {true, 1, 1, 4915800, 4}, {true, 2, 0, 7373100, 5}, {true, 2, 1, 7373400, 6},
        {true, 3, 2, 491580, 7},  {false, 0, 0, 0, 0},      {false, 3, 2, 0, 0},
        {true, 0, 2, 0, 0},       {true, 3, 0, 0, 0},       {true, 2, 2, 0, 0},
        {true, -1, -1, 0, 0},     {true, 4, 0, 0, 0},       {true, 0, -1, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.checked << " " << c.first << " " << c.later);
        EXPECT_EQ(GetDivingTimeSignalValue(c.checked, c.first, c.later), c.value);
        EXPECT_EQ(GetDivingTimeSignalCode(c.checked, c.first, c.later), c.code);
        // The display side decodes what Apply writes into the same code and choices.
        const auto shown = DivingTimeSignalToDisplay(c.value);
        EXPECT_EQ(shown.tag, c.code);
        if (c.code != 0) {
            EXPECT_EQ(shown.first, c.first);
            EXPECT_EQ(shown.later, c.later);
            EXPECT_TRUE(shown.checked);
        }
    }
}

} // namespace
