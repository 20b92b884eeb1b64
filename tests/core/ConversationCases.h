#pragma once
// The units the whole-conversation tests run against: every firmware family at both ends of
// its range, times every listed model and an unlisted one, and what each of them offers.
// The availability table is the model table of the capability rules, stated here once from
// the unit's point of view; the tests compare the core's panel and commands with it.
#include "link/Panel.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace conversation_cases {

using core::TControl;

enum class TKind {
    Upload,      // three-character firmware: the information file, then the end
    Unsupported, // six characters outside the supported range: serial number, then the end
    Supported,   // identification, both read-backs, the panel
};

struct TFamily {
    std::string_view name;
    std::array<std::string_view, 2> versions; // both ends of the range
    TKind kind;
    bool asksModel;
    bool asksLanguage;
    int expectedCount;          // counted parameter replies
    std::string_view volumeKey; // how the volume is written
};

inline const std::vector<TFamily>& Families() {
    static const std::vector<TFamily> families{
        {"Upload", {"105", "ABC"}, TKind::Upload, false, false, 0, ""},
        {"Basic", {"201016", "201019"}, TKind::Supported, false, false, 7, "RxLevel"},
        {"Extended", {"201020", "201025"}, TKind::Supported, true, false, 8, "RxOutLevel"},
        {"Sensitivity", {"201026", "201028"}, TKind::Supported, true, false, 9, "RxOutLevel"},
        {"DiveCom", {"201029", "201032"}, TKind::Supported, true, false, 10, "RxOutLevel"},
        {"Phone", {"201033", "201035"}, TKind::Supported, true, true, 12, "PhoneOutVol"},
        {"AirCheck", {"201036", "201999"}, TKind::Supported, true, true, 13, "PhoneOutVol"},
        {"Unsupported", {"201015", "202000"}, TKind::Unsupported, false, false, 0, ""},
    };
    return families;
}

enum class TSetting {
    Volume,
    AutoSwitching,
    HandsFree,
    Channel,
    Recorder,
    DiveCom,
    VoiceGuide,
    AirCheck
};
inline constexpr std::array kSettings{
    TSetting::Volume,   TSetting::AutoSwitching, TSetting::HandsFree,  TSetting::Channel,
    TSetting::Recorder, TSetting::DiveCom,       TSetting::VoiceGuide, TSetting::AirCheck};

std::string_view SettingName(TSetting s);
// The choice and its current-setting box; for the air check the check box and its text box.
TControl ChoiceOf(TSetting s);
TControl BoxOf(TSetting s);

// From which version a model offers each setting with extended firmware: "" always,
// nullptr never. writesDiveCom: from which version Apply writes the dive-computer choice.
struct TModelRow {
    std::string_view model;
    const char* volume;
    const char* autoSwitching;
    const char* handsFree;
    const char* channel;
    const char* recorder;
    const char* diveCom;
    const char* voiceGuide;
    const char* airCheck;
    const char* adjustable; // Apply and Default
    const char* writesDiveCom;
};

const std::vector<TModelRow>& Models();

struct TCase {
    std::string version;
    const TFamily* family;
    const TModelRow* row;

    std::string_view model() const { return row->model; }
    bool extended() const { return family->asksModel; }
    bool sensitivity() const { return version >= "201026"; }
    bool velmoras() const { return extended() && row->model == "DW730 VELMORAS_SPECIAL"; }
    bool miv() const { return extended() && row->model == "DW720 MIV"; }
    // The model text the core knows: none without extended firmware.
    std::string_view knownModel() const { return extended() ? row->model : std::string_view(); }

    // The model's rules; without extended firmware those of an unlisted model.
    const TModelRow& Rules() const;
    bool Offers(TSetting s) const;
    bool Adjustable() const;
    // Apply writes the setting (and so counts it as changed).
    bool Writes(TSetting s) const;
    // The read-back shows a value for the setting.
    bool ReadsBack(TSetting s) const;
    // The keys of a full Apply run, in their order, "SAVE" last.
    std::vector<std::string> ApplyKeys() const;
    // The key whose stored value a change of the setting alters (see NewChoice).
    std::string StoredKey(TSetting s) const;
    // Every key a change of the setting may alter; an Apply run leaves the others as they are.
    std::vector<std::string> Touches(TSetting s) const;
    // A choice that differs from what a preset unit holds.
    int NewChoice(TSetting s) const;
};

std::vector<TCase> Cases(TKind kind);
std::vector<TCase> SupportedCases(); // every supported version, every model
std::string CaseName(const ::testing::TestParamInfo<TCase>& info);
std::ostream& operator<<(std::ostream& out, const TCase& c);

// The key of a "SPAR <key> <value>" command, or the command itself.
std::string KeyOf(const std::string& command);
std::vector<std::string> KeysOf(const std::vector<std::string>& commands);

} // namespace conversation_cases
