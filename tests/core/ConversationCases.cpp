#include "ConversationCases.h"

#include <ostream>

namespace conversation_cases {

namespace {

struct TSettingControls {
    std::string_view name;
    TControl choice;
    TControl box;
    std::string_view key; // the unit's key of the setting, where one key says it
    int newChoice;        // differs from what a preset unit holds, where one choice does
};

// A preset unit shows volume "4", switching off, hands-free on (sensitivity 2), the second
// channel, "All record", beep (receive-only on), voice guide low, air check 20 min./10 min.;
// the new choice of the air check is the first signal "in 30 min.".
constexpr std::array<TSettingControls, kSettings.size()> kControls{{
    {"Volume", TControl::RadioGroup1, TControl::Edit5, "", 0},
    {"AutoSwitching", TControl::RadioGroup3, TControl::Edit7, "TxSquelchSw", 1},
    {"HandsFree", TControl::RadioGroup4, TControl::Edit8, "", -1},
    {"Channel", TControl::RGChannel, TControl::EdtChannel, "BaseFreq", -1},
    {"Recorder", TControl::RadioGroup5, TControl::Edit9, "RecordSw", 1},
    {"DiveCom", TControl::RgDiveComInterface, TControl::EdtDiveComInterface, "", -1},
    {"VoiceGuide", TControl::RadioGroupVoiceGuideLevel, TControl::EditVoiceGuideLevel,
     "VoiceGuideSwitch", 2},
    {"AirCheck", TControl::CheckBoxDivingTimeSignalEnable, TControl::EditDivingTimeSignal,
     "DivingTimeSignalSw", 2},
}};

const TSettingControls& ControlsOf(TSetting s) {
    return kControls[static_cast<std::size_t>(s)];
}

bool From(const std::string& version, const char* gate) {
    return gate && version >= gate;
}

} // namespace

std::string_view SettingName(TSetting s) {
    return ControlsOf(s).name;
}
TControl ChoiceOf(TSetting s) {
    return ControlsOf(s).choice;
}
TControl BoxOf(TSetting s) {
    return ControlsOf(s).box;
}

const std::vector<TModelRow>& Models() {
    constexpr const char* always = "";
    constexpr const char* never = nullptr;
    static const std::vector<TModelRow> rows{
        // model, volume, auto, hands-free, channel, recorder, dive-com, voice, air,
        // adjustable, writes dive-com
        {"DW720 KEL", always, always, always, never, always, "201029", "201033", "201036", always,
         "201029"},
        {"DW720 MIV", always, always, always, always, always, "201029", "201033", "201036", always,
         "201029"},
        {"DW720 QZ", always, never, never, always, never, never, never, "201036", always, "201029"},
        {"DW730 TONAL", "201026", never, "201026", never, never, "201029", "201033", "201036",
         "201026", "201029"},
        {"DW730 VELMORAS_SPECIAL", always, always, always, never, never, always, "201033", "201036",
         always, always},
        {"PX510", always, never, never, never, never, never, never, never, always, "201029"},
        {"PX510 MIV", always, never, never, never, never, never, never, never, always, "201029"},
        {"DW740 NEW", always, always, always, always, always, "201029", "201033", "201036", always,
         "201029"},
    };
    return rows;
}

namespace {

// Without extended firmware the model is never asked: every unit follows the general rules.
const TModelRow& Unlisted() {
    return Models().back();
}

} // namespace

const TModelRow& TCase::Rules() const {
    return extended() ? *row : Unlisted();
}

bool TCase::Offers(TSetting s) const {
    static constexpr std::array<const char * TModelRow::*, kSettings.size()> kGate{
        &TModelRow::volume,     &TModelRow::autoSwitching, &TModelRow::handsFree,
        &TModelRow::channel,    &TModelRow::recorder,      &TModelRow::diveCom,
        &TModelRow::voiceGuide, &TModelRow::airCheck};
    return From(version, Rules().*kGate[static_cast<std::size_t>(s)]);
}

bool TCase::Adjustable() const {
    return From(version, Rules().adjustable);
}

bool TCase::Writes(TSetting s) const {
    // What the panel offers, Apply writes, and more: every unit's basic settings, and the
    // dive-computer choice of units that do not offer it.
    if (s == TSetting::DiveCom) return From(version, Rules().writesDiveCom);
    return s == TSetting::VoiceGuide || s == TSetting::AirCheck ? Offers(s) : true;
}

bool TCase::ReadsBack(TSetting s) const {
    switch (s) {
    case TSetting::DiveCom:
        return velmoras() || version >= "201029";
    case TSetting::VoiceGuide:
        return version >= "201033";
    case TSetting::AirCheck:
        return version >= "201036";
    default:
        return true;
    }
}

std::vector<std::string> TCase::ApplyKeys() const {
    std::vector<std::string> keys{std::string(family->volumeKey), "TxSquelchSw", "VOXsw"};
    if (sensitivity()) keys.push_back("CsgVoxNzccTh");
    for (const char* k : {"Led", "Channel", "BaseFreq", "RecordSw"})
        keys.push_back(k);
    if (Writes(TSetting::DiveCom)) keys.push_back(velmoras() ? "TxModeSw" : "DiveConWarningSw");
    if (Writes(TSetting::VoiceGuide)) keys.push_back("VoiceGuideSwitch");
    if (Writes(TSetting::AirCheck)) keys.push_back("DivingTimeSignalSw");
    keys.push_back("SAVE");
    return keys;
}

std::string TCase::StoredKey(TSetting s) const {
    if (s == TSetting::Volume) return std::string(family->volumeKey);
    if (s == TSetting::HandsFree) return sensitivity() ? "CsgVoxNzccTh" : "VOXSw";
    if (s == TSetting::DiveCom) return velmoras() ? "TxModeSw" : "DiveConWarningSw";
    return std::string(ControlsOf(s).key);
}

std::vector<std::string> TCase::Touches(TSetting s) const {
    std::vector<std::string> keys{StoredKey(s)};
    if (s == TSetting::HandsFree) keys = {"VOXSw", "CsgVoxNzccTh"};
    if (s == TSetting::Channel) keys = {"Channel", "BaseFreq", "Led"};
    // Without the model the tool cannot know that this unit's second channel is "l": every
    // run writes it back as "u".
    if (!extended() && row->model == "DW720 MIV") keys.push_back("Channel");
    return keys;
}

int TCase::NewChoice(TSetting s) const {
    if (s == TSetting::HandsFree) return sensitivity() ? 4 : 0;
    if (s == TSetting::Channel) return miv() ? 0 : 2;
    if (s == TSetting::DiveCom) return velmoras() ? 0 : 2;
    return ControlsOf(s).newChoice;
}

std::vector<TCase> Cases(TKind kind) {
    std::vector<TCase> cases;
    for (const TFamily& f : Families()) {
        if (f.kind != kind) continue;
        for (std::string_view v : f.versions)
            for (const TModelRow& r : Models())
                cases.push_back({std::string(v), &f, &r});
    }
    return cases;
}

std::vector<TCase> SupportedCases() {
    return Cases(TKind::Supported);
}

std::string CaseName(const ::testing::TestParamInfo<TCase>& info) {
    std::string name = "v" + info.param.version + "_" + std::string(info.param.model());
    for (char& c : name)
        if (c == ' ') c = '_';
    return name;
}

std::ostream& operator<<(std::ostream& out, const TCase& c) {
    return out << c.model() << " " << c.version;
}

std::string KeyOf(const std::string& command) {
    if (!command.starts_with("SPAR ")) return command;
    const auto end = command.find(' ', 5);
    return command.substr(5, end == std::string::npos ? std::string::npos : end - 5);
}

std::vector<std::string> KeysOf(const std::vector<std::string>& commands) {
    std::vector<std::string> keys;
    for (const auto& c : commands)
        keys.push_back(KeyOf(c));
    return keys;
}

} // namespace conversation_cases
