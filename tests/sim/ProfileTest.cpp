#include "SimTestUtil.h"

#include <cstdio>
#include <fstream>

using namespace simtest;
using sim::ParseProfile;

TEST(SimProfile, FullFileDescribesTheUnit) {
    auto r = ParseProfile(R"(# a unit for the Apply scenario
model = DW720 MIV
firmware = 201029
  serial =  XY9876543210
language = Deutsch
product_id = 7800
vendor_id = 04d8
access = query
product_name = Test Unit
input_length = 65
output_length = 4096
reply_interval_us = 0
param.RxOutLevel = 9000
param.Channel = l
default.RecordSw = 2
info.size = 3000
info.stamp = 2020/01/01 00:00:00
fault.ng = SAVE, SPAR VOXsw
fault.ng = KIND
fault.silent = CLEAR
fault.garbage = VER
fault.nomarker = GSER
fault.noterm = GPAR
fault.split = LANGUAGE
fault.short_upload = 100
fault.wrong_packet = 0
fault.info_size_delta = -3
fault.upload_marker = --boot
fault.vanish_after = 12
)");
    ASSERT_TRUE(r) << r.error;
    const sim::Profile& p = *r.profile;
    EXPECT_EQ(p.model, "DW720 MIV");
    EXPECT_EQ(p.firmware, "201029");
    EXPECT_EQ(p.serial, "XY9876543210");
    EXPECT_EQ(p.language, "Deutsch");
    EXPECT_EQ(p.productId, 0x7800);
    EXPECT_EQ(p.vendorId, 0x04D8);
    EXPECT_EQ(p.access, sim::Access::QueryOnly);
    EXPECT_EQ(p.productName, "Test Unit");
    EXPECT_EQ(p.inputReportLength, 65);
    EXPECT_EQ(p.outputReportLength, 4096);
    EXPECT_EQ(p.replyIntervalUs, 0);
    EXPECT_EQ(p.stored->Get("RxOutLevel"), "9000");
    EXPECT_EQ(p.stored->Get("Channel"), "l");
    EXPECT_EQ(p.stored->Get("BaseFreq"), "3"); // the rest is the preset
    EXPECT_EQ(p.defaults->Get("RecordSw"), "2");
    EXPECT_EQ(p.infoSize, 3000u);
    EXPECT_EQ(p.infoStamp, "2020/01/01 00:00:00");
    EXPECT_EQ(p.faults.ng, (std::set<std::string>{"SAVE", "SPAR VOXsw", "KIND"}));
    EXPECT_EQ(p.faults.silent, std::set<std::string>{"CLEAR"});
    EXPECT_EQ(p.faults.garbage, std::set<std::string>{"VER"});
    EXPECT_EQ(p.faults.noMarker, std::set<std::string>{"GSER"});
    EXPECT_EQ(p.faults.noTerm, std::set<std::string>{"GPAR"});
    EXPECT_EQ(p.faults.split, std::set<std::string>{"LANGUAGE"});
    EXPECT_EQ(p.faults.shortUpload, 100);
    EXPECT_EQ(p.faults.wrongPacket, 0);
    EXPECT_EQ(p.faults.infoSizeDelta, -3);
    EXPECT_EQ(p.faults.uploadMarker, "--boot");
    EXPECT_EQ(p.faults.vanishAfter, 12);
}

TEST(SimProfile, EmptyFileIsTheDefaultUnit) {
    auto r = ParseProfile("\n# nothing\n\r\n");
    ASSERT_TRUE(r) << r.error;
    Bench b(*r.profile);
    EXPECT_EQ(b.Ask("VER"), "OK 201036");
    EXPECT_EQ(b.Ask("KIND"), "OK DW730 TONAL");
    EXPECT_EQ(b.unit.Stored(), std::optional(sim::PresetCurrentSet("DW730 TONAL", "201036")));
}

TEST(SimProfile, ParameterSetModes) {
    auto none = ParseProfile("defaults = none\nstored = none\n");
    ASSERT_TRUE(none) << none.error;
    EXPECT_FALSE(none.profile->defaults);
    EXPECT_FALSE(none.profile->stored);
    auto factory = ParseProfile("model = PX510\nstored = factory\n");
    ASSERT_TRUE(factory) << factory.error;
    EXPECT_EQ(factory.profile->stored, factory.profile->defaults);
}

TEST(SimProfile, ErrorsNameTheLine) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"model = PX510\nthis line has no equals", "line 2: expected 'key = value'"},
        {"modle = PX510", "line 1: unknown key 'modle'"},
        {"\n\ninput_length = 1", "line 3: input_length must be a number from 2 to 65535"},
        {"output_length = 70000", "line 1: output_length must be"},
        {"output_length = 12x", "line 1: output_length must be"},
        {"reply_interval_us = -1", "line 1: reply_interval_us must be"},
        {"product_id = 0", "line 1: product_id must be"},
        {"vendor_id = 10000", "line 1: vendor_id must be a hexadecimal number from 1 to FFFF"},
        {"access = some", "line 1: access must be 'full', 'query' or 'none'"},
        {"firmware =", "line 1: firmware must be a version text"},
        {"stored = maybe", "line 1: stored must be 'preset', 'factory' or 'none'"},
        {"fault.ng = SAVE,,VER", "line 1: fault.ng must be a comma-separated list"},
        {"fault.short_upload = 0", "line 1: fault.short_upload must be"},
        {"fault.info_size_delta = 0", "line 1: fault.info_size_delta must be"},
        {"fault.vanish_after = -2", "line 1: fault.vanish_after must be"},
        {"info.size = 5000000", "line 1: info.size must be"},
        {"firmware = 105\ninput_length = 65", "line 2: input_length must be at least 1025"},
        {"input_length = 65\nfirmware = 105", "line 1: input_length must be at least 1025"},
        {"firmware = 201020\nparam.DivingTimeSignalSw = 0",
         "line 2: unit 'DW730 TONAL' 201020 has no parameter 'DivingTimeSignalSw'"},
        {"param.RxOutLevel = loud", "line 1: 'loud' is not a valid value for RxOutLevel"},
        {"default.Channel = q", "line 1: 'q' is not a valid value for Channel"},
        {"stored = none\nparam.Led = a", "line 2: parameter given although stored = none (line 1)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto r = ParseProfile(c.text);
        EXPECT_FALSE(r);
        EXPECT_TRUE(r.error.starts_with(c.error)) << r.error;
    }
}

TEST(SimProfile, ErrorsNameTheLineAsTheCallerNamesIt) {
    const auto named = [](int n) { return "row " + std::to_string(n * 10); };
    EXPECT_EQ(ParseProfile("stored = none\nparam.Channel = l\n", named).error,
              "row 20: parameter given although stored = none (row 10)");
    EXPECT_EQ(ParseProfile("\xEF\xBB\xBFmodel = PX510\nbogus = 1\n", named).error,
              "row 20: unknown key 'bogus'")
        << "the byte order mark is no part of the first key";
}

TEST(SimProfile, FirmwareInTheFileSetsTheParameterFamily) {
    // Keys are checked against the firmware wherever its line stands.
    auto r = ParseProfile("param.DivingTimeSignalSw = 2457900\nfirmware = 201036\n");
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.profile->stored->Get("DivingTimeSignalSw"), "2457900");
}

TEST(SimProfile, PresetsCoverEveryListedModelAtEveryGate) {
    auto names = sim::PresetNames();
    EXPECT_EQ(names.size(), 7u * 8u);
    for (const auto& name : names) {
        auto p = sim::FindPreset(name);
        ASSERT_TRUE(p) << name;
        EXPECT_EQ(p->model + "/" + p->firmware, name);
        if (p->firmware.size() == 3) {
            EXPECT_GE(p->inputReportLength, 1025);
        }
    }
    EXPECT_TRUE(sim::FindPreset("DW730 VELMORAS_SPECIAL/201029"));
    EXPECT_FALSE(sim::FindPreset("DW730 tonal/201036"));
    EXPECT_FALSE(sim::FindPreset("DW730 TONAL/201037"));
    EXPECT_FALSE(sim::FindPreset("DW730 TONAL"));
}

TEST(SimProfile, LoadFromFile) {
    const std::string path = testing::TempDir() + "sim_profile_test.txt";
    {
        std::ofstream f(path, std::ios::binary);
        f << "model = DW720 QZ\r\nfirmware = 201033\r\nfault.ng = SAVE\r\n";
    }
    auto r = sim::LoadProfile(path);
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.profile->model, "DW720 QZ");
    EXPECT_EQ(r.profile->firmware, "201033");
    EXPECT_EQ(r.profile->faults.ng, std::set<std::string>{"SAVE"});
    {
        std::ofstream f(path, std::ios::binary);
        f << "model = DW720 QZ\nbogus = 1\n";
    }
    auto bad = sim::LoadProfile(path);
    EXPECT_EQ(bad.error, path + ": line 2: unknown key 'bogus'");
    std::remove(path.c_str());
    auto missing = sim::LoadProfile(path);
    EXPECT_TRUE(missing.error.starts_with(path + ": cannot open (")) << missing.error;
}
