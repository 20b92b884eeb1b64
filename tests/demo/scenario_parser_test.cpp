#include "demo/Scenario.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace demo;

namespace {

TEST(ScenarioParser, ReadsEveryAction) {
    const auto r = ParseScenario("# a comment\n"
                                 "unit DW730 TONAL/201036\n"
                                 "unit.fault.ng = SAVE\n"
                                 "\n"
                                 "plug\n"
                                 "wait idle\n"
                                 "wait idle 2500\n"
                                 "wait step 8 3000\n"
                                 "wait ms 40\n"
                                 "wait connected 700\n"
                                 "wait ms 3600000\n"
                                 "choose RadioGroup1 4\n"
                                 "check CheckBoxDivingTimeSignalEnable off\n"
                                 "press SpeedButton2\n"
                                 "reconnect\n"
                                 "screenshot out.png\n"
                                 "unplug\n",
                                 ".");
    ASSERT_TRUE(r.Scenario) << r.Error;
    const auto& s = *r.Scenario;
    EXPECT_EQ(s.UnitPreset, "DW730 TONAL/201036");
    EXPECT_EQ(s.UnitProfileText, "fault.ng = SAVE\n");
    ASSERT_EQ(s.Actions.size(), 13u);
    EXPECT_EQ(s.Actions[0].Kind, TActionKind::Plug);
    EXPECT_EQ(s.Actions[0].Line, 5);
    EXPECT_EQ(s.Actions[1].TimeoutMs, 10000);
    EXPECT_EQ(s.Actions[2].TimeoutMs, 2500);
    EXPECT_EQ(s.Actions[3].Kind, TActionKind::WaitStep);
    EXPECT_EQ(s.Actions[3].Number, 8);
    EXPECT_EQ(s.Actions[3].TimeoutMs, 3000);
    EXPECT_EQ(s.Actions[4].Number, 40);
    EXPECT_EQ(s.Actions[5].Kind, TActionKind::WaitConnected);
    EXPECT_EQ(s.Actions[5].TimeoutMs, 700);
    EXPECT_EQ(s.Actions[6].Number, 3600000) << "an hour is still a sane wait";
    EXPECT_EQ(s.Actions[7].Control, "RadioGroup1");
    EXPECT_EQ(s.Actions[7].Number, 4);
    EXPECT_EQ(s.Actions[8].Number, 0);
    EXPECT_EQ(s.Actions[9].Kind, TActionKind::Press);
    EXPECT_EQ(s.Actions[10].Kind, TActionKind::Reconnect);
    EXPECT_EQ(s.Actions[11].Path, "out.png");
    EXPECT_EQ(s.Actions[12].Kind, TActionKind::Unplug);
}

TEST(ScenarioParser, MalformedLinesAreRefusedWithTheirLineNumber) {
    const std::pair<const char*, const char*> cases[] = {
        {"plug\nfly away\n", "line 2: unknown action 'fly'"},
        {"wait\n", "line 1: wait needs idle, connected, step N or ms N"},
        {"wait step\n", "line 1: wait step needs a number"},
        {"wait step x\n", "line 1: 'x' is not a number"},
        {"wait idle soon\n", "line 1: 'soon' is not a timeout in ms"},
        {"wait idle 0\n", "line 1: '0' is not a timeout in ms"},
        {"wait ms -5\n", "line 1: negative wait"},
        {"wait ms 5 6\n", "line 1: too many words"},
        {"wait later\n", "line 1: wait needs idle, connected, step N or ms N, not 'later'"},
        {"wait connected 5 6\n", "line 1: too many words"},
        {"wait ms 99999999999999\n", "line 1: a wait of 99999999999999 ms is longer than an hour"},
        {"wait idle 3600001\n", "line 1: a time-out of 3600001 ms is longer than an hour"},
        {"wait step 8 99999999999\n",
         "line 1: a time-out of 99999999999 ms is longer than an hour"},
        {"choose RadioGroup1 99999999999\n", "line 1: no list has an item 99999999999 (-1 to 999)"},
        {"choose RadioGroup1 -2\n", "line 1: no list has an item -2 (-1 to 999)"},
        {"\x01\xff\x1b[2J now\n", "line 1: unknown action '\\x01\\xFF\\x1B[2J'"},
        {"wait \x07\n", "line 1: wait needs idle, connected, step N or ms N, not '\\x07'"},
        {"choose RadioGroup1\n", "line 1: choose needs a control and an item index"},
        {"choose RadioGroup1 two\n", "line 1: 'two' is not an item index"},
        {"check Box maybe\n", "line 1: check needs a control and on or off"},
        {"press\n", "line 1: press needs one control name"},
        {"plug now\n", "line 1: plug takes no argument"},
        {"unit\n", "line 1: unit needs a preset name"},
        {"unit.model\n", "line 1: expected unit.KEY = VALUE"},
        {"\n\nunit-file /nonexistent/x.unit\n",
         "line 3: cannot read unit file '/nonexistent/x.unit'"},
    };
    for (const auto& [text, error] : cases) {
        const auto r = ParseScenario(text, ".");
        EXPECT_FALSE(r.Scenario) << text;
        EXPECT_EQ(r.Error, error) << text;
    }
}

TEST(ScenarioParser, ByteOrderMarkAndOddBlanksAreSkipped) {
    const auto r = ParseScenario("\xEF\xBB\xBFplug\n\f\n\v \nunplug\n", ".");
    ASSERT_TRUE(r.Scenario) << r.Error;
    ASSERT_EQ(r.Scenario->Actions.size(), 2u);
    EXPECT_EQ(r.Scenario->Actions[0].Kind, TActionKind::Plug);
    EXPECT_EQ(r.Scenario->Actions[1].Line, 4);
}

TEST(ScenarioParser, UnitProfileFaultsNameTheScenarioLine) {
    const std::string dir = testing::TempDir();
    std::ofstream(dir + "/bad.unit", std::ios::binary) << "model = PX510\nbogus = 1\n";
    const std::pair<const char*, const char*> cases[] = {
        {"# c\n# c\nunit DW730 TONAL/201036\nplug\nunit.volume = 3\n",
         "unit profile: line 5: unknown key 'volume'"},
        {"unit.serial = A\nunit-file bad.unit\n",
         "unit profile: line 2 (bad.unit line 2): unknown key 'bogus'"},
        {"unit DW730 TONAL/201036\nunit.stored = none\nunit-file bad.unit\nunit.param.x = 1\n",
         "unit profile: line 3 (bad.unit line 2): unknown key 'bogus'"},
        {"unit DW730 TONAL/201036\n\nunit.stored = none\nunit.param.Channel = l\n",
         "unit profile: line 4: parameter given although stored = none (line 3)"},
    };
    for (const auto& [text, error] : cases) {
        const auto r = ParseScenario(text, dir);
        ASSERT_TRUE(r.Scenario) << r.Error;
        std::string got;
        EXPECT_FALSE(ScenarioProfile(*r.Scenario, got)) << text;
        EXPECT_EQ(got, error) << text;
    }
}

TEST(ScenarioParser, UnitProfileIsBoundedHoweverOftenAFileIsNamed) {
    const std::string dir = testing::TempDir();
    std::ofstream(dir + "/big.unit", std::ios::binary) << std::string(600 * 1024, '#');
    const auto r = ParseScenario("unit-file big.unit\nunit-file big.unit\n", dir);
    EXPECT_FALSE(r.Scenario);
    EXPECT_EQ(r.Error, "line 2: the unit profile grows larger than 1 MiB");
}

TEST(ScenarioParser, MissingFileIsAnError) {
    const auto r = LoadScenario("/nonexistent/scenario.scn");
    EXPECT_FALSE(r.Scenario);
    EXPECT_EQ(r.Error, "cannot read scenario '/nonexistent/scenario.scn'");
    // A folder opens like a file but reads as nothing: it must not pass for an empty scenario.
    const std::string folder = std::filesystem::temp_directory_path().string();
    const auto f = LoadScenario(folder);
    EXPECT_FALSE(f.Scenario);
    EXPECT_EQ(f.Error, "cannot read scenario '" + folder + "'");
}

} // namespace
