#include "params/Capabilities.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace params;

namespace {

int Sign(int v) {
    return (v > 0) - (v < 0);
}

TEST(VersionCompare, IsOrdinalWithPrefixFirst) {
    struct Case {
        std::string a, b;
        int sign;
    };
    const std::vector<Case> cases{
        {"201026", "201026", 0},
        {"201025", "201026", -1},
        {"201027", "201026", 1},
        {"20102", "201026", -1},
        {"2010260", "201026", 1},
        {"", "201016", -1},
        {"", "", 0},
        {"9", "201036", 1},
        {"300", "201016", 1},
        {"20102a", "201026", 1},
        {"\xff", "9", 1},
        {"201026 ", "201026", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Sign(CompareVersion(c.a, c.b)), c.sign) << c.a << " vs " << c.b;
        EXPECT_EQ(VersionAtLeast(c.a, c.b), c.sign >= 0) << c.a << " vs " << c.b;
        EXPECT_EQ(VersionBelow(c.a, c.b), c.sign < 0) << c.a << " vs " << c.b;
    }
}

TEST(IdentificationFlags, FollowTheVersionRanges) {
    struct Case {
        std::string version;
        bool supported, extended, phone;
    };
    const std::vector<Case> cases{
        {"", false, false, false},       {"201", false, false, false},
        {"201015", false, false, false}, {"201016", true, false, false},
        {"201019", true, false, false},  {"201020", true, true, false},
        {"201032", true, true, false},   {"201033", true, true, true},
        {"201036", true, true, true},    {"201999", true, true, true},
        {"202000", false, false, false}, {"2010200", false, false, false},
        {"20103", false, false, false},  {"201033\r", false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsSupportedFirmware(c.version), c.supported) << c.version;
        EXPECT_EQ(IsExtendedFirmware(c.version), c.extended) << c.version;
        EXPECT_EQ(IsPhoneVolumeFirmware(c.version), c.phone) << c.version;
        const auto id = TIdentity::FromVersion(c.version, "X");
        EXPECT_EQ(id.extendedFirmware, c.extended);
        EXPECT_EQ(id.phoneVolume, c.phone);
    }
}

using Items = std::vector<std::string_view>;

TEST(ChoiceLists, ChannelAndDiveComFollowTheModel) {
    EXPECT_EQ(ChannelChoices("DW720 MIV").items, (Items{"ch A", "ch S"}));
    for (std::string_view m : {"", "DW720 KEL", "dw720 miv", "DW720 MIV ", "PX510 MIV"})
        EXPECT_EQ(ChannelChoices(m).items, (Items{"ch A", "ch B", "ch C"})) << m;

    const auto velmoras = DiveComInterfaceChoices("DW730 VELMORAS_SPECIAL");
    EXPECT_EQ(velmoras.caption, "Recive only");
    EXPECT_EQ(velmoras.items, (Items{"Off", "On"}));
    for (std::string_view m : {"", "DW730 TONAL", "DW730 velmoras_special"}) {
        const auto other = DiveComInterfaceChoices(m);
        EXPECT_EQ(other.caption, "Dive-computer interface") << m;
        EXPECT_EQ(other.items, (Items{"Off", "Beep", "Voice"})) << m;
    }
}

TEST(ChoiceLists, HandsFreeOffersSensitivityFrom201026) {
    for (std::string_view v : {"", "201016", "201025", "20102"}) {
        const auto c = HandsFreeChoices(v);
        EXPECT_EQ(c.list.items, (Items{"Off", "On"})) << v;
        EXPECT_EQ(c.list.columns, 2);
        EXPECT_FALSE(c.sensitivityLabelsVisible);
    }
    for (std::string_view v : {"201026", "201036", "201999", "9"}) {
        const auto c = HandsFreeChoices(v);
        EXPECT_EQ(c.list.items, (Items{"Off", "1", "2", "3", "4", "5"})) << v;
        EXPECT_EQ(c.list.columns, 6);
        EXPECT_TRUE(c.sensitivityLabelsVisible);
    }
}

// The panel after FinishReadBack (every control enabled, the air check box checked), with the
// rules then applied in their order.
struct TPanel {
    std::map<std::string, bool, std::less<>> enabled;
    bool checked = true;

    explicit TPanel(bool initiallyEnabled = true) {
        for (const char* name : {"RadioGroup1",
                                 "Edit5",
                                 "RadioGroup3",
                                 "Edit7",
                                 "RadioGroup4",
                                 "Edit8",
                                 "RGChannel",
                                 "EdtChannel",
                                 "RadioGroup5",
                                 "Edit9",
                                 "RgDiveComInterface",
                                 "EdtDiveComInterface",
                                 "RadioGroupVoiceGuideLevel",
                                 "EditVoiceGuideLevel",
                                 "GroupBoxDivingTimeSignal",
                                 "Label11",
                                 "Label12",
                                 "CheckBoxDivingTimeSignalEnable",
                                 "EditDivingTimeSignal",
                                 "SpeedButton2",
                                 "SpeedButton3"})
            enabled[name] = initiallyEnabled;
    }
    void Apply(const std::vector<TControlRule>& rules) {
        for (const auto& r : rules) {
            auto it = enabled.find(std::string(ControlName(r.control)));
            ASSERT_NE(it, enabled.end()) << "unknown control " << ControlName(r.control);
            if (r.action == TControlAction::Uncheck) {
                checked = false;
            } else {
                it->second = r.action == TControlAction::Enable;
            }
        }
    }
    bool Pair(const char* choice, const char* box) const {
        EXPECT_EQ(enabled.at(choice), enabled.at(box)) << choice;
        return enabled.at(choice);
    }
    bool AirCheck() const {
        const bool on = enabled.at("GroupBoxDivingTimeSignal");
        for (const char* n :
             {"Label11", "Label12", "CheckBoxDivingTimeSignalEnable", "EditDivingTimeSignal"})
            EXPECT_EQ(enabled.at(n), on) << n;
        if (!on) {
            EXPECT_FALSE(checked);
        }
        return on;
    }
};

// Availability per column: "" always, "-" never, else available from that version on.
struct TRow {
    std::string model;
    std::string volume, autoSwitch, handsFree, channel, recorder, diveCom, voiceGuide, airCheck,
        buttons;
};

bool Available(const std::string& from, const std::string& version) {
    if (from.empty()) return true;
    if (from == "-") return false;
    return version >= from;
}

TEST(ApplyCapabilityRules, GiveTheAvailabilityTableForExtendedFirmware) {
    const std::string A = "";
    const std::string N = "-";
    const std::vector<TRow> table{
        {"DW720 KEL", A, A, A, N, A, "201029", "201033", "201036", A},
        {"DW720 MIV", A, A, A, A, A, "201029", "201033", "201036", A},
        {"DW720 QZ", A, N, N, A, N, N, N, "201036", A},
        {"DW730 TONAL", "201026", N, "201026", N, N, "201029", "201033", "201036", "201026"},
        {"DW730 VELMORAS_SPECIAL", A, A, A, N, N, A, "201033", "201036", A},
        {"PX510", A, N, N, N, N, N, N, N, A},
        {"PX510 MIV", A, N, N, N, N, N, N, N, A},
        {"", A, A, A, A, A, "201029", "201033", "201036", A},
        {"DW730 tonal", A, A, A, A, A, "201029", "201033", "201036", A},
        {"PX510MIV", A, A, A, A, A, "201029", "201033", "201036", A},
    };
    const std::vector<std::string> versions{"201020", "201025", "201026", "201028", "201029",
                                            "201032", "201033", "201035", "201036", "201999"};
    for (const auto& row : table) {
        for (const auto& v : versions) {
            SCOPED_TRACE(row.model + " @ " + v);
            TPanel p;
            p.Apply(ApplyCapabilityRules(TIdentity::FromVersion(v, row.model)));
            EXPECT_EQ(p.Pair("RadioGroup1", "Edit5"), Available(row.volume, v));
            EXPECT_EQ(p.Pair("RadioGroup3", "Edit7"), Available(row.autoSwitch, v));
            EXPECT_EQ(p.Pair("RadioGroup4", "Edit8"), Available(row.handsFree, v));
            EXPECT_EQ(p.Pair("RGChannel", "EdtChannel"), Available(row.channel, v));
            EXPECT_EQ(p.Pair("RadioGroup5", "Edit9"), Available(row.recorder, v));
            EXPECT_EQ(p.Pair("RgDiveComInterface", "EdtDiveComInterface"),
                      Available(row.diveCom, v));
            EXPECT_EQ(p.Pair("RadioGroupVoiceGuideLevel", "EditVoiceGuideLevel"),
                      Available(row.voiceGuide, v));
            EXPECT_EQ(p.AirCheck(), Available(row.airCheck, v));
            EXPECT_EQ(p.Pair("SpeedButton2", "SpeedButton3"), Available(row.buttons, v));
        }
    }
}

TEST(ApplyCapabilityRules, WithoutExtendedFirmwareDisableTheNewerSettingsOnly) {
    for (std::string_view v : {"201016", "201019", ""}) {
        SCOPED_TRACE(v);
        TPanel p;
        p.Apply(ApplyCapabilityRules(TIdentity::FromVersion(v, "")));
        EXPECT_TRUE(p.Pair("RadioGroup1", "Edit5"));
        EXPECT_TRUE(p.Pair("RadioGroup3", "Edit7"));
        EXPECT_TRUE(p.Pair("RadioGroup4", "Edit8"));
        EXPECT_TRUE(p.Pair("RGChannel", "EdtChannel"));
        EXPECT_TRUE(p.Pair("RadioGroup5", "Edit9"));
        EXPECT_FALSE(p.Pair("RgDiveComInterface", "EdtDiveComInterface"));
        EXPECT_FALSE(p.Pair("RadioGroupVoiceGuideLevel", "EditVoiceGuideLevel"));
        EXPECT_FALSE(p.AirCheck());
        EXPECT_TRUE(p.Pair("SpeedButton2", "SpeedButton3"));
    }
    // The flags decide, not the version text: a stale model string changes nothing.
    TIdentity id{"201036", "PX510", false, false};
    TPanel p;
    p.Apply(ApplyCapabilityRules(id));
    EXPECT_TRUE(p.Pair("RadioGroup3", "Edit7"));
}

TEST(ApplyCapabilityRules, EnableOnlyTheReceiveOnlySwitch) {
    // Controls without a shown value are disabled by the finish; only the receive-only switch
    // of its model is enabled again, on any firmware.
    for (std::string_view v : {"201020", "201036"}) {
        TPanel p(false);
        p.Apply(ApplyCapabilityRules(TIdentity::FromVersion(v, "DW730 VELMORAS_SPECIAL")));
        for (const auto& [name, on] : p.enabled)
            EXPECT_EQ(on, name == "RgDiveComInterface" || name == "EdtDiveComInterface") << name;
    }
    for (std::string_view m : {"", "DW720 MIV", "DW730 TONAL"}) {
        TPanel p(false);
        p.Apply(ApplyCapabilityRules(TIdentity::FromVersion("201036", m)));
        for (const auto& [name, on] : p.enabled)
            EXPECT_FALSE(on) << name << " for " << m;
    }
}

TEST(ApplyCapabilityRules, UnchecksTheAirCheckBoxBeforeDisablingIt) {
    const auto rules = ApplyCapabilityRules(TIdentity::FromVersion("201036", "PX510"));
    const std::vector<TControlRule> tail{
        {TControl::GroupBoxDivingTimeSignal, TControlAction::Disable},
        {TControl::Label11, TControlAction::Disable},
        {TControl::Label12, TControlAction::Disable},
        {TControl::CheckBoxDivingTimeSignalEnable, TControlAction::Uncheck},
        {TControl::CheckBoxDivingTimeSignalEnable, TControlAction::Disable},
        {TControl::EditDivingTimeSignal, TControlAction::Disable},
    };
    ASSERT_GE(rules.size(), tail.size());
    EXPECT_EQ(std::vector<TControlRule>(rules.end() - static_cast<long>(tail.size()), rules.end()),
              tail);
    EXPECT_EQ(rules.front(), (TControlRule{TControl::RadioGroup3, TControlAction::Disable}));
}

} // namespace
