// Settings asked for as arguments or in a file: understood without regard to letter case,
// and every mistake caught before any unit is there, as one line that names the argument
// or the file and line and says what is wrong.
#include "store/Requests.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

using store::TSetting;

namespace {

struct TExpected {
    TSetting setting;
    std::string value;
    std::string origin;
};

void ExpectRequests(const store::TRequests& got, const std::vector<TExpected>& expected) {
    ASSERT_TRUE(got) << got.error;
    ASSERT_EQ(got.requests.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(got.requests[i].setting, expected[i].setting) << i;
        EXPECT_EQ(got.requests[i].value, expected[i].value) << i;
        EXPECT_EQ(got.requests[i].origin, expected[i].origin) << i;
    }
}

// One line, no longer than a terminal can show without wrapping twice.
void ExpectOneShortLine(const std::string& error) {
    EXPECT_EQ(error.find_first_of("\r\n"), std::string::npos) << error;
    EXPECT_LE(error.size(), 240u) << error;
}

// ---- arguments ------------------------------------------------------------------------------

TEST(Assignments, TakeNamesAndValuesInAnyLetterCaseAndKeepTheListsSpelling) {
    ExpectRequests(
        store::ParseAssignments(
            {"VOLUME=4", "Voice-Guide = High", "channel=s", "air-check=OFF", "hands-free=On"}, 2),
        {{TSetting::Volume, "4", "argument 2"},
         {TSetting::VoiceGuide, "high", "argument 3"},
         {TSetting::Channel, "S", "argument 4"},
         {TSetting::AirCheck, "off", "argument 5"},
         {TSetting::HandsFree, "on", "argument 6"}});
}

struct TBadArgument {
    std::vector<std::string> arguments;
    const char* error;
};

class BadAssignment : public ::testing::TestWithParam<TBadArgument> {};

TEST_P(BadAssignment, IsOneLineNamingTheArgument) {
    const store::TRequests got = store::ParseAssignments(GetParam().arguments, 2);
    EXPECT_FALSE(got);
    EXPECT_EQ(got.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, BadAssignment,
    ::testing::Values(
        TBadArgument{{"volume"}, "argument 2: expected NAME=VALUE, got 'volume'"},
        TBadArgument{{"volume="}, "argument 2: expected NAME=VALUE, got 'volume='"},
        TBadArgument{{" = 4"}, "argument 2: expected NAME=VALUE, got '= 4'"},
        TBadArgument{{"loudness=4"},
                     "argument 2: unknown setting 'loudness' (known: volume, auto-switching, "
                     "hands-free, channel, recorder, dive-computer, receive-only, voice-guide, "
                     "air-check)"},
        TBadArgument{{"volume=1", "volume=9"},
                     "argument 3: volume has no value '9' (values: 1, 2, 3, 4, 5)"},
        TBadArgument{{"channel=D"}, "argument 2: channel has no value 'D' (values: A, S, B, C)"},
        TBadArgument{{"air-check=10/20"},
                     "argument 2: air-check has no value '10/20' (values: off, 10/5, 10/10, "
                     "20/5, 20/10, 30/5, 30/10, 2/1)"},
        TBadArgument{{"volume=1", "hands-free=off", "VOLUME=2"},
                     "argument 4: volume is set twice (first at argument 2)"}),
    [](const auto& param) { return "Case" + std::to_string(param.index); });

// ---- settings files -----------------------------------------------------------------------

TEST(SettingsText, TakesLinesWithCommentsBlanksAndWindowsLineEnds) {
    ExpectRequests(store::ParseSettingsText("# bench 3\r\n"
                                            "\r\n"
                                            "  volume = 2  \r\n"
                                            "\tRecorder=Record-Only\r\n"
                                            "   # channel = B\r\n"
                                            "air-check=2/1",
                                            "bench.txt"),
                   {{TSetting::Volume, "2", "bench.txt:3"},
                    {TSetting::Recorder, "record-only", "bench.txt:4"},
                    {TSetting::AirCheck, "2/1", "bench.txt:6"}});
    EXPECT_TRUE(store::ParseSettingsText("", "empty.txt").requests.empty());
    EXPECT_TRUE(store::ParseSettingsText("# nothing\n\n", "comments.txt"));
}

struct TBadFile {
    const char* text;
    const char* error;
};

class BadSettingsText : public ::testing::TestWithParam<TBadFile> {};

TEST_P(BadSettingsText, IsOneLineNamingTheFileAndLine) {
    const store::TRequests got = store::ParseSettingsText(GetParam().text, "s.txt");
    EXPECT_FALSE(got);
    EXPECT_EQ(got.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BadSettingsText,
    ::testing::Values(
        TBadFile{"volume=2\n\nvolume 3\n", "s.txt:3: expected NAME=VALUE, got 'volume 3'"},
        TBadFile{"# x\nvolume=2\nchannel=b\nVolume=3\n",
                 "s.txt:4: volume is set twice (first at s.txt:2)"},
        TBadFile{"\n\n\n\nloud=1\n",
                 "s.txt:5: unknown setting 'loud' (known: volume, auto-switching, hands-free, "
                 "channel, recorder, dive-computer, receive-only, voice-guide, air-check)"},
        TBadFile{"volume=2\r\nhands-free=6\r\n",
                 "s.txt:2: hands-free has no value '6' (values: off, 1, 2, 3, 4, 5, on)"},
        TBadFile{"volume=2 # loud\n", "s.txt:1: volume has no value '2 # loud' (values: 1, 2, "
                                      "3, 4, 5)"}),
    [](const auto& param) { return "Case" + std::to_string(param.index); });

TEST(SettingsJson, TakesTheSettingsObjectAndNamesTheKeyThatIsWrong) {
    ExpectRequests(store::ParseSettingsText(R"({"unit": {"model": "DW720 MIV"},
                                              "settings": {"Volume": 4, "channel": "s"},
                                              "details": {}})",
                                            "u.json"),
                   {{TSetting::Volume, "4", "u.json: settings.Volume"},
                    {TSetting::Channel, "S", "u.json: settings.channel"}});

    const auto error = [](const char* text) {
        return store::ParseSettingsText(text, "u.json").error;
    };
    EXPECT_EQ(error("{\n \"settings\": {\n  \"volume\": 4,\n }\n}"),
              "u.json:4: not valid JSON (object is missing after a comma)");
    EXPECT_EQ(error("{\"unit\": {}}"),
              "u.json: the JSON has no \"settings\" object (as \"show --json\" prints it)");
    EXPECT_EQ(error("{\"settings\": [\"volume\"]}"),
              "u.json: the JSON has no \"settings\" object (as \"show --json\" prints it)");
    EXPECT_EQ(error("{\"settings\": {\"volume\": true}}"),
              "u.json: settings.volume: the value must be a text such as \"4\" or \"off\"");
    EXPECT_EQ(error("{\"settings\": {\"volume\": 4.5}}"),
              "u.json: settings.volume: the value must be a text such as \"4\" or \"off\"");
    EXPECT_EQ(error("{\"settings\": {\"volume\": \"loud\"}}"),
              "u.json: settings.volume: volume has no value 'loud' (values: 1, 2, 3, 4, 5)");
    EXPECT_EQ(error("{\"settings\": {\"volume\": 4, \"VOLUME\": 5}}"),
              "u.json: settings.volume: volume is set twice (first at u.json: settings.VOLUME)");
}

// QJsonDocument keeps the last of two equal keys; a file that gives one twice is refused
// wherever the key is, however it is spelt, and the same key in two objects is no repeat.
TEST(SettingsJson, AKeyGivenTwiceInOneObjectIsRefusedWithItsName) {
    const auto error = [](const char* text) {
        return store::ParseSettingsText(text, "u.json").error;
    };
    EXPECT_EQ(error("{\"settings\": {\"volume\": \"4\",\n \"volume\": \"5\"}}"),
              "u.json:2: the key 'volume' is given twice");
    EXPECT_EQ(error("{\"settings\": {\"volume\": \"4\", \"vol\\u0075me\": \"5\"}}"),
              "u.json:1: the key 'volume' is given twice");
    EXPECT_EQ(error("{\"settings\": {\"volume\": \"4\"},\n\"settings\": {}}"),
              "u.json:2: the key 'settings' is given twice");
    EXPECT_EQ(error("{\"unit\": {\"a\\\"\": [{\"m\": 1, \"m\": 2}]}, \"settings\": {}}"),
              "u.json:1: the key 'm' is given twice");
    EXPECT_TRUE(store::ParseSettingsText("{\"unit\": {\"model\": \"volume\", \"v\": [\"volume\"]}, "
                                         "\"details\": {\"volume\": {}}, "
                                         "\"settings\": {\"volume\": \"4\"}}",
                                         "u.json"));
}

// ---- files on disk --------------------------------------------------------------------------

class SettingsFile : public ::testing::Test {
  protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    const std::filesystem::path dir_ = [] {
        auto dir = std::filesystem::path(::testing::TempDir()) /
                   ("sv-cli-settings-" +
                    std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::create_directories(dir);
        return dir;
    }();
};

TEST_F(SettingsFile, IsReadAsItsText) {
    ExpectRequests(store::LoadSettingsFile(Write("a.txt", "volume=1\nchannel=A\n")),
                   {{TSetting::Volume, "1", (dir_ / "a.txt").string() + ":1"},
                    {TSetting::Channel, "A", (dir_ / "a.txt").string() + ":2"}});
}

TEST_F(SettingsFile, ThatIsMissingOrAFolderIsOneLine) {
    const std::string missing = (dir_ / "none.txt").string();
    const store::TRequests got = store::LoadSettingsFile(missing);
    EXPECT_FALSE(got);
    EXPECT_TRUE(got.error.starts_with(missing + ": cannot open (")) << got.error;
    ExpectOneShortLine(got.error);

    const store::TRequests folder = store::LoadSettingsFile(dir_.string());
    EXPECT_FALSE(folder) << "a folder holds no settings";
    EXPECT_TRUE(folder.error.starts_with(dir_.string() + ": ")) << folder.error;
}

TEST_F(SettingsFile, LargerThanAMegabyteIsRefusedUnread) {
    const std::string comment = "# " + std::string(1021, 'x') + "\n"; // 1 KiB a line
    std::string text;
    for (int i = 0; i < 1024; ++i)
        text += comment;
    EXPECT_TRUE(store::LoadSettingsFile(Write("full.txt", text))) << "exactly 1 MiB is taken";
    const std::string path = Write("over.txt", text + "volume=1\n");
    const store::TRequests got = store::LoadSettingsFile(path);
    EXPECT_FALSE(got);
    EXPECT_EQ(got.error, path + ": too large for a settings file");
}

TEST_F(SettingsFile, ThatIsBinaryIsRefusedInOneShortLine) {
    // An executable, a UTF-16 text (as some editors save it) and bytes with no line end.
    const std::string elf("\x7f"
                          "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0",
                          16);
    const std::string path = Write("prog", elf + std::string(4000, '\x90'));
    EXPECT_EQ(store::LoadSettingsFile(path).error, path + ":1: not a text file");

    const std::string wide = Write("wide.txt", std::string("v\0o\0l\0=\0001\0\n\0", 12));
    EXPECT_EQ(store::LoadSettingsFile(wide).error, wide + ":1: not a text file")
        << "UTF-16 without a byte order mark";
    const std::string odd = Write("odd.txt", std::string("\xff\xfev\0o", 5));
    EXPECT_EQ(store::LoadSettingsFile(odd).error, odd + ": not a text file");

    std::string noise;
    for (int i = 0; i < 100000; ++i)
        noise += static_cast<char>(0x80 + i % 0x70);
    const store::TRequests got = store::LoadSettingsFile(Write("noise.bin", noise));
    EXPECT_FALSE(got);
    ExpectOneShortLine(got.error);
}

TEST_F(SettingsFile, MayBeginWithTheUtf8ByteOrderMark) {
    // Editors on Windows often write one; it is not part of the first name.
    const std::string bom = "\xEF\xBB\xBF";
    const std::string text = Write("bom.txt", bom + "volume=3\r\n");
    ExpectRequests(store::LoadSettingsFile(text), {{TSetting::Volume, "3", text + ":1"}});
    const std::string json = Write("bom.json", bom + "{\"settings\": {\"volume\": \"3\"}}");
    ExpectRequests(store::LoadSettingsFile(json),
                   {{TSetting::Volume, "3", json + ": settings.volume"}});
}

// Windows PowerShell 5.1 writes "show --json > unit.json" so.
TEST_F(SettingsFile, MayBeUtf16WithAByteOrderMark) {
    const auto utf16 = [](std::string_view ascii, bool little) {
        std::string out = little ? "\xff\xfe" : "\xfe\xff";
        for (const char c : ascii)
            out += little ? std::string{c, '\0'} : std::string{'\0', c};
        return out;
    };
    for (const bool little : {true, false}) {
        const std::string text = Write("le.txt", utf16("volume=3\r\n# x\r\nchannel=B\r\n", little));
        ExpectRequests(store::LoadSettingsFile(text), {{TSetting::Volume, "3", text + ":1"},
                                                       {TSetting::Channel, "B", text + ":3"}});
        const std::string json =
            Write("u.json", utf16("{\"settings\": {\"volume\": \"2\"}}", little));
        ExpectRequests(store::LoadSettingsFile(json),
                       {{TSetting::Volume, "2", json + ": settings.volume"}});
    }
}

TEST(Escaped, ShowsControlCharactersNulAndBrokenUtf8ByTheirCodeAndKeepsTheRest) {
    EXPECT_EQ(store::Escaped(std::string("SV\0\x01\t\x1b[2J\x7f\r\n", 12)),
              "SV\\x00\\x01\\x09\\x1b[2J\\x7f\\x0d\\x0a");
    EXPECT_EQ(store::Escaped("Z\xc3\xbcrich \\\\?\\hid#1 \xe2\x82\xac \xf0\x9f\x90\xa0"),
              "Z\xc3\xbcrich \\\\?\\hid#1 \xe2\x82\xac \xf0\x9f\x90\xa0");
    // A stray continuation byte, a cut sequence, an overlong slash, a surrogate and the C1
    // control CSI (which some terminals take for ESC [).
    EXPECT_EQ(store::Escaped("\x80 \xe2\x82 \xc0\xaf \xed\xa0\x80 \xc2\x9b"),
              "\\x80 \\xe2\\x82 \\xc0\\xaf \\xed\\xa0\\x80 \\xc2\\x9b");
}

TEST(SettingsText, ControlCharactersAndLongTextsAreNotEchoedAsTheyAre) {
    // A line a terminal would act on (a carriage return, an escape sequence) or one too long
    // to read is shown shortened and with its control characters replaced.
    for (const std::string& line :
         {std::string("volume=1\rvoice-guide=low"), std::string("\x1b[2Jvolume=1"),
          "volume=" + std::string(5000, '7'), std::string(5000, 'v')}) {
        const store::TRequests got = store::ParseSettingsText(line, "s.txt");
        EXPECT_FALSE(got);
        EXPECT_TRUE(got.error.starts_with("s.txt:1: ")) << got.error;
        ExpectOneShortLine(got.error);
        EXPECT_EQ(got.error.find('\x1b'), std::string::npos) << got.error;
    }
}

// ---- for the unit that is there -------------------------------------------------------------

TEST(CheckForUnit, NamesTheFirstRequestTheUnitCannotTakeAndWhatItTakes) {
    const auto requests = [](std::vector<std::string> arguments) {
        return store::ParseAssignments(arguments, 2).requests;
    };
    const auto tonal = params::TIdentity::FromVersion("201036", "DW730 TONAL");
    EXPECT_FALSE(store::CheckForUnit(requests({"volume=1", "voice-guide=high"}), tonal));
    EXPECT_EQ(store::CheckForUnit(requests({"volume=1", "channel=A"}), tonal),
              "argument 3: this unit (DW730 TONAL 201036) has no channel");

    const auto miv = params::TIdentity::FromVersion("201029", "DW720 MIV");
    EXPECT_EQ(store::CheckForUnit(requests({"channel=b"}), miv),
              "argument 2: this unit (DW720 MIV 201029) takes channel A, S, not B");
    EXPECT_EQ(store::CheckForUnit(requests({"hands-free=on"}), miv),
              "argument 2: this unit (DW720 MIV 201029) takes hands-free off, 1, 2, 3, 4, 5, "
              "not on");

    const auto basic = params::TIdentity::FromVersion("201016", "");
    EXPECT_EQ(store::CheckForUnit(requests({"hands-free=3"}), basic),
              "argument 2: this unit (firmware 201016) takes hands-free off, on, not 3");
    const auto newer = params::TIdentity::FromVersion("202000", "");
    EXPECT_EQ(store::CheckForUnit(requests({"volume=1"}), newer),
              "argument 2: this unit (firmware 202000) has no volume");
}

// A backup's raw values are written as they are only onto a unit of its model and firmware,
// and only when every one has the shape the unit takes.
struct TRawFor {
    const char* name;
    const char* model;
    const char* firmware;
    std::map<std::string, std::string> raw;
    bool taken;        // written as they are
    const char* error; // "": none
};

void PrintTo(const TRawFor& t, std::ostream* out) {
    *out << t.name;
}

class RestoreRawFor : public ::testing::TestWithParam<TRawFor> {};

TEST_P(RestoreRawFor, OnlyOntoTheSameModelAndFirmwareAndOnlyWhenEveryValueFits) {
    const TRawFor& t = GetParam();
    const auto unit = params::TIdentity::FromVersion("201036", "DW720 KEL");
    const store::TRestoreRaw got =
        store::RestoreRawFor(params::TIdentity::FromVersion(t.firmware, t.model), t.raw, unit);
    EXPECT_EQ(got.error, t.error);
    EXPECT_EQ(got.values.has_value(), t.taken);
    if (got.values) {
        EXPECT_EQ(got.values->Of("SPAR PhoneOutVol "), std::optional<std::string_view>("-7"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Backups, RestoreRawFor,
    ::testing::Values(
        TRawFor{"same", "DW720 KEL", "201036", {{"PhoneOutVol", "-7"}, {"Led", "b"}}, true, ""},
        TRawFor{"other_model", "DW720 MIV", "201036", {{"PhoneOutVol", "-7"}}, false, ""},
        TRawFor{"other_firmware", "DW720 KEL", "201033", {{"PhoneOutVol", "-7"}}, false, ""},
        TRawFor{"no_values", "DW720 KEL", "201036", {}, false, ""},
        TRawFor{"misfit_escaped",
                "DW720 KEL",
                "201036",
                {{"PhoneOutVol", "-7"}, {"Led\x1b", "b"}},
                false,
                "raw.Led\\x1b: not a setting this tool writes"},
        // Of another model, its values are not looked at: it goes by its settings.
        TRawFor{"misfit_of_another_model", "DW720 MIV", "201036", {{"Led", "1"}}, false, ""}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
