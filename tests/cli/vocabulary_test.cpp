// The command line's names and values: matched without regard to letter case, offered per
// model and firmware as the window offers them.
#include "cli/Bench.h"
#include "cli/Requests.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using cli::TSetting;

namespace {

std::string Joined(const std::vector<std::string>& values) {
    std::string out;
    for (const std::string& v : values)
        out += (out.empty() ? "" : " ") + v;
    return out;
}

TEST(Names, AreMatchedWithoutRegardToLetterCase) {
    for (const cli::TSettingInfo& info : cli::kSettings) {
        std::string upper(info.name);
        for (char& ch : upper)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        EXPECT_EQ(cli::SettingNamed(info.name), info.id) << info.name;
        EXPECT_EQ(cli::SettingNamed(upper), info.id) << upper;
    }
    EXPECT_EQ(cli::SettingNamed("Voice-Guide"), TSetting::VoiceGuide);
    for (const char* unknown : {"", "volumes", "volum", "voice guide", "voice_guide", "air"})
        EXPECT_FALSE(cli::SettingNamed(unknown)) << unknown;
}

TEST(Values, AreMatchedWithoutRegardToLetterCaseAndKeepTheListsSpelling) {
    const std::vector<std::string> channels{"A", "B", "C"};
    EXPECT_EQ(cli::Canonical("a", channels), "A");
    EXPECT_EQ(cli::Canonical("C", channels), "C");
    EXPECT_FALSE(cli::Canonical("S", channels));
    EXPECT_FALSE(cli::Canonical("", channels));
    EXPECT_FALSE(cli::Canonical("ch A", channels));
    const std::vector<std::string> switches{"off", "on"};
    EXPECT_EQ(cli::Canonical("OFF", switches), "off");
    EXPECT_EQ(cli::Canonical("On", switches), "on");
    EXPECT_FALSE(cli::Canonical("of", switches));
    EXPECT_FALSE(cli::Canonical("offf", switches));
}

// What a unit of each identity takes, as the window offers it once the read-back is done.
struct TOffer {
    const char* version;
    const char* model; // "" where the firmware is not asked its model
    TSetting setting;
    const char* values; // "" where the unit has no such choice
};

class ValuesFor : public ::testing::TestWithParam<TOffer> {};

TEST_P(ValuesFor, AreWhatTheWindowOffersThatUnit) {
    const TOffer& o = GetParam();
    const auto identity = params::TIdentity::FromVersion(o.version, o.model);
    EXPECT_EQ(Joined(params::SettingValues(o.setting, identity)), o.values);
}

constexpr const char* kHandsFreeLevels = "off 1 2 3 4 5";
constexpr const char* kAirChecks = "off 10/5 10/10 20/5 20/10 30/5 30/10 2/1";

INSTANTIATE_TEST_SUITE_P(
    Units, ValuesFor,
    ::testing::Values(
        // hands-free: on or off before 201026, a sensitivity from it
        TOffer{"201016", "", TSetting::HandsFree, "off on"},
        TOffer{"201025", "DW720 KEL", TSetting::HandsFree, "off on"},
        TOffer{"201026", "DW720 KEL", TSetting::HandsFree, kHandsFreeLevels},
        TOffer{"201999", "DW720 MIV", TSetting::HandsFree, kHandsFreeLevels},
        TOffer{"201036", "DW720 QZ", TSetting::HandsFree, ""},
        // channel: two on the DW720 MIV, three elsewhere, none where the window has none
        TOffer{"201020", "DW720 MIV", TSetting::Channel, "A S"},
        TOffer{"201036", "DW720 MIV", TSetting::Channel, "A S"},
        TOffer{"201036", "DW720 QZ", TSetting::Channel, "A B C"},
        TOffer{"201016", "", TSetting::Channel, "A B C"},
        TOffer{"201036", "DW720 KEL", TSetting::Channel, ""},
        TOffer{"201036", "DW730 TONAL", TSetting::Channel, ""},
        // receive-only: the DW730 VELMORAS_SPECIAL only, where it replaces the dive computer
        TOffer{"201020", "DW730 VELMORAS_SPECIAL", TSetting::ReceiveOnly, "off on"},
        TOffer{"201036", "DW730 VELMORAS_SPECIAL", TSetting::ReceiveOnly, "off on"},
        TOffer{"201036", "DW730 VELMORAS_SPECIAL", TSetting::DiveComputer, ""},
        TOffer{"201036", "DW730 TONAL", TSetting::ReceiveOnly, ""},
        TOffer{"201036", "DW720 KEL", TSetting::ReceiveOnly, ""},
        TOffer{"201016", "", TSetting::ReceiveOnly, ""},
        // the dive computer from 201029, the voice guide from 201033, the air check from 201036
        TOffer{"201028", "DW720 KEL", TSetting::DiveComputer, ""},
        TOffer{"201029", "DW720 KEL", TSetting::DiveComputer, "off beep voice"},
        TOffer{"201032", "DW720 KEL", TSetting::VoiceGuide, ""},
        TOffer{"201033", "DW720 KEL", TSetting::VoiceGuide, "low middle high"},
        TOffer{"201036", "DW720 QZ", TSetting::VoiceGuide, ""},
        TOffer{"201035", "DW720 KEL", TSetting::AirCheck, ""},
        TOffer{"201036", "DW720 KEL", TSetting::AirCheck, kAirChecks},
        TOffer{"201036", "PX510", TSetting::AirCheck, ""},
        TOffer{"201036", "PX510", TSetting::Volume, "1 2 3 4 5"},
        TOffer{"201036", "PX510", TSetting::Recorder, ""},
        TOffer{"201036", "DW720 MIV", TSetting::Recorder, "off transmit receive all record-only"},
        TOffer{"201036", "DW720 MIV", TSetting::AutoSwitching, "off on"},
        // the DW730 TONAL's volume from 201026
        TOffer{"201020", "DW730 TONAL", TSetting::Volume, ""},
        TOffer{"201026", "DW730 TONAL", TSetting::Volume, "1 2 3 4 5"}),
    [](const auto& param) {
        std::string name = std::string(cli::Info(param.param.setting).name) + "_" +
                           param.param.version + "_" + param.param.model;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

TEST(ValuesFor, AreNothingOnFirmwareTheWindowShowsNoSettingsFor) {
    // Outside the supported range, and the three-character family that only uploads its file.
    for (const char* version : {"201015", "202000", "105", "ABC", ""}) {
        for (const char* model : {"", "DW720 MIV", "DW730 VELMORAS_SPECIAL"}) {
            const auto identity = params::TIdentity::FromVersion(version, model);
            for (const cli::TSettingInfo& info : cli::kSettings)
                EXPECT_EQ(Joined(params::SettingValues(info.id, identity)), "")
                    << info.name << " on " << version << " " << model;
            EXPECT_FALSE(params::Adjustable(identity)) << version << " " << model;
        }
    }
}

TEST(AnyUnitValues, HoldEveryValueOfEveryIdentityOnce) {
    // A file is checked before any unit is there: a value some unit takes must pass.
    EXPECT_EQ(Joined(cli::AnyUnitValues(TSetting::HandsFree)), "off 1 2 3 4 5 on");
    EXPECT_EQ(Joined(cli::AnyUnitValues(TSetting::Channel)), "A S B C");
    EXPECT_EQ(Joined(cli::AnyUnitValues(TSetting::ReceiveOnly)), "off on");
    EXPECT_EQ(Joined(cli::AnyUnitValues(TSetting::AirCheck)), kAirChecks);
}

// ---- the simulated units' serial numbers --------------------------------------------------------

TEST(NthSerial, CountsTheLastRunOfDigitsUpKeepingItsWidth) {
    EXPECT_EQ(cli::NthSerial("SV0000000001", 1), "SV0000000001");
    EXPECT_EQ(cli::NthSerial("SV0000000001", 3), "SV0000000003");
    EXPECT_EQ(cli::NthSerial("SV0000000009", 2), "SV0000000010");
    EXPECT_EQ(cli::NthSerial("SV0000000099", 12), "SV0000000110");
    EXPECT_EQ(cli::NthSerial("SV99", 2), "SV100");
    EXPECT_EQ(cli::NthSerial("A12B", 2), "A13B");
    EXPECT_EQ(cli::NthSerial("7-0009x", 3), "7-0011x");
    EXPECT_EQ(cli::NthSerial("NODIGITS", 5), "NODIGITS");
    EXPECT_EQ(cli::NthSerial("", 5), "");
}

} // namespace
