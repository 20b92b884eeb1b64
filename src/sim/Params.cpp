#include "sim/Params.h"

#include "params/Decimal.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace sim {

namespace {

enum class Kind { Integer, Real, Text };

struct KeySpec {
    std::string_view key;
    Kind kind;
    double min;
    double max;
    std::string_view letters; // accepted texts of a text key, blank separated
    bool counted;
};

// Report order of a unit. Uncounted keys never come last (see KeysFor).
constexpr std::array<KeySpec, 16> kKeys{{
    {"RxLevel", Kind::Integer, 0, 65535, "", true},
    {"RxOutLevel", Kind::Integer, 0, 65535, "", true},
    {"PhoneOutVol", Kind::Real, -12, 0, "", true},
    {"PhoneOutVolTrx", Kind::Real, -12, 0, "", false},
    {"TxSquelchSw", Kind::Integer, 0, 1, "", true},
    {"VOXSw", Kind::Integer, 0, 1, "", true},
    {"CsgVoxNzccTh", Kind::Real, 0, 1, "", true},
    {"RecordSw", Kind::Integer, 0, 4, "", true},
    {"Channel", Kind::Text, 0, 0, "u l", true},
    {"ChannelChangeSw", Kind::Integer, 0, 1, "", false},
    {"Led", Kind::Text, 0, 0, "y b a", true},
    {"TxModeSw", Kind::Integer, 0, 1, "", false},
    {"BaseFreq", Kind::Integer, 2, 4, "", true},
    {"DiveConWarningSw", Kind::Integer, 0, 3, "", true},
    {"VoiceGuideSwitch", Kind::Integer, 0, 511, "", true},
    {"DivingTimeSignalSw", Kind::Integer, 0, 0xFFFFFF, "", true},
}};

const KeySpec* FindSpec(std::string_view key) {
    for (const auto& s : kKeys)
        if (s.key == key) return &s;
    return nullptr;
}

bool HasKey(std::string_view model, std::string_view firmware, std::string_view key) {
    const bool six = firmware.size() == 6;
    if (key == "RxLevel" || key == "TxSquelchSw" || key == "VOXSw" || key == "RecordSw" ||
        key == "Channel" || key == "Led" || key == "BaseFreq")
        return true;
    if (key == "TxModeSw") return model == "DW730 VELMORAS_SPECIAL";
    // Firmware past the supported range still carries everything the newest one has.
    auto from = [&](std::string_view gate) { return six && VersionAtLeast(firmware, gate); };
    if (key == "RxOutLevel" || key == "ChannelChangeSw") return from("201020");
    if (key == "CsgVoxNzccTh") return from("201026");
    if (key == "DiveConWarningSw") return from("201029");
    if (key == "PhoneOutVol" || key == "PhoneOutVolTrx" || key == "VoiceGuideSwitch")
        return from("201033");
    if (key == "DivingTimeSignalSw") return from("201036");
    return false;
}

bool IsPlainInteger(std::string_view t) {
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) t.remove_prefix(1);
    return !t.empty() &&
           std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digits with at most one point, optional sign; no exponent, no comma, no inf/nan.
bool IsPlainReal(std::string_view t) {
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) t.remove_prefix(1);
    int digits = 0;
    int points = 0;
    for (char c : t) {
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == '.')
            ++points;
        else
            return false;
    }
    return digits > 0 && points <= 1;
}

std::string FormatReal(double v) {
    if (v == 0) v = 0; // no "-0"
    return decimal::Shortest(v);
}

bool IsVelmoras(std::string_view model) {
    return model == "DW730 VELMORAS_SPECIAL";
}
bool IsKelOrMiv(std::string_view model) {
    return model == "DW720 KEL" || model == "DW720 MIV";
}

ParamSet Build(std::string_view model, std::string_view firmware,
               const std::vector<ParamSet::Entry>& values) {
    std::vector<ParamSet::Entry> entries;
    for (const auto& key : KeysFor(model, firmware))
        for (const auto& [k, v] : values)
            if (k == key) entries.emplace_back(k, v);
    return ParamSet(std::move(entries));
}

} // namespace

bool VersionAtLeast(std::string_view version, std::string_view threshold) {
    return !(version < threshold);
}

bool HasKind(std::string_view firmware) {
    return firmware.size() == 6 && VersionAtLeast(firmware, "201020");
}

bool HasLanguage(std::string_view firmware) {
    return firmware.size() == 6 && VersionAtLeast(firmware, "201033");
}

bool HasSerialCommand(std::string_view firmware) {
    return firmware.size() != 3;
}

std::vector<std::string> KeysFor(std::string_view model, std::string_view firmware) {
    std::vector<std::string> keys;
    for (const auto& s : kKeys)
        if (HasKey(model, firmware, s.key)) keys.emplace_back(s.key);
    return keys;
}

int CountedKeys(std::string_view firmware) {
    int n = 0;
    for (const auto& s : kKeys)
        if (s.counted && HasKey("", firmware, s.key)) ++n;
    return n;
}

bool IsCountedKey(std::string_view key) {
    const KeySpec* s = FindSpec(key);
    return s && s->counted;
}

std::optional<std::string> CanonicalKey(std::string_view key) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    for (const auto& s : kKeys) {
        if (s.key.size() != key.size()) continue;
        if (std::equal(key.begin(), key.end(), s.key.begin(),
                       [&](char a, char b) { return lower(a) == lower(b); }))
            return std::string(s.key);
    }
    return std::nullopt;
}

std::optional<std::string> NormaliseValue(std::string_view key, std::string_view value) {
    const KeySpec* s = FindSpec(key);
    if (!s) return std::nullopt;
    switch (s->kind) {
    case Kind::Integer: {
        if (!IsPlainInteger(value)) return std::nullopt;
        if (value[0] == '+') value.remove_prefix(1);
        int64_t v = 0;
        auto r = std::from_chars(value.data(), value.data() + value.size(), v);
        if (r.ec != std::errc() || r.ptr != value.data() + value.size()) return std::nullopt;
        if (v < s->min || v > s->max) return std::nullopt;
        return std::to_string(v);
    }
    case Kind::Real: {
        if (!IsPlainReal(value)) return std::nullopt;
        if (value[0] == '+') value.remove_prefix(1);
        const std::optional<double> v = decimal::Parse(value);
        if (!v || !std::isfinite(*v) || *v < s->min || *v > s->max) return std::nullopt;
        return FormatReal(*v);
    }
    case Kind::Text: {
        std::string_view letters = s->letters;
        while (!letters.empty()) {
            auto blank = letters.find(' ');
            std::string_view one = letters.substr(0, blank);
            if (one == value) return std::string(value);
            if (blank == std::string_view::npos) break;
            letters.remove_prefix(blank + 1);
        }
        return std::nullopt;
    }
    }
    return std::nullopt;
}

bool ParamSet::Has(std::string_view key) const {
    return Get(key).has_value();
}

std::optional<std::string> ParamSet::Get(std::string_view key) const {
    for (const auto& [k, v] : entries_)
        if (k == key) return v;
    return std::nullopt;
}

bool ParamSet::Set(std::string_view key, std::string value) {
    for (auto& [k, v] : entries_)
        if (k == key) {
            v = std::move(value);
            return true;
        }
    return false;
}

ParamSet FactorySet(std::string_view model, std::string_view firmware) {
    const char* rxOut = IsKelOrMiv(model) ? "12744" : IsVelmoras(model) ? "12530" : "10620";
    return Build(model, firmware,
                 {{"RxLevel", "25000"},
                  {"RxOutLevel", rxOut},
                  {"PhoneOutVol", "-6"},
                  {"PhoneOutVolTrx", "-6"},
                  {"TxSquelchSw", "1"},
                  {"VOXSw", "0"},
                  {"CsgVoxNzccTh", "0.6"},
                  {"RecordSw", "0"},
                  {"Channel", "u"},
                  {"ChannelChangeSw", "0"},
                  {"Led", "y"},
                  {"TxModeSw", "1"},
                  {"BaseFreq", "2"},
                  {"DiveConWarningSw", "0"},
                  {"VoiceGuideSwitch", "510"},
                  {"DivingTimeSignalSw", "0"}});
}

ParamSet PresetCurrentSet(std::string_view model, std::string_view firmware) {
    const char* rxOut = IsKelOrMiv(model) ? "15138" : IsVelmoras(model) ? "18000" : "12615";
    // Second channel: "S" (l, 3) on the DW720 MIV, "B" (u, 3) elsewhere.
    const char* channel = model == "DW720 MIV" ? "l" : "u";
    return Build(model, firmware,
                 {{"RxLevel", "26500"},
                  {"RxOutLevel", rxOut},
                  {"PhoneOutVol", "-3"},
                  {"PhoneOutVolTrx", "-3"},
                  {"TxSquelchSw", "0"},
                  {"VOXSw", "1"},
                  {"CsgVoxNzccTh", "0.7"},
                  {"RecordSw", "3"},
                  {"Channel", channel},
                  {"ChannelChangeSw", "0"},
                  {"Led", "b"},
                  {"TxModeSw", "0"},
                  {"BaseFreq", "3"},
                  {"DiveConWarningSw", "2"},
                  {"VoiceGuideSwitch", "120"},
                  {"DivingTimeSignalSw", "4915800"}});
}

} // namespace sim
