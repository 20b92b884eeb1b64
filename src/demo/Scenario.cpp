#include "demo/Scenario.h"

#include "files/FileText.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <sstream>

namespace demo {

namespace {

const std::string kProfileTooLarge = "the unit profile grows larger than 1 MiB";

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

std::vector<std::string> Words(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

std::optional<int64_t> Number(const std::string& s) {
    int64_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
}

// Text from the file as it goes into an error line: bytes that do not print are escaped.
std::string Shown(const std::string& s) {
    std::string out;
    for (const unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

// Said only when it is the reason: the messages for a missing file are older than the limit.
std::string TooLarge(const files::TFileText& file) {
    return file.error == files::TFileError::TooLarge ? ": " + file.why : std::string();
}

int CountLines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
}

} // namespace

TScenarioResult ParseScenario(const std::string& text, const std::string& baseDir) {
    TScenario scenario;
    // Saved as "UTF-8 with BOM" by some editors.
    std::istringstream in(text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text);
    std::string raw;
    int line = 0;
    const auto fail = [&](const std::string& why) {
        return TScenarioResult{std::nullopt, "line " + std::to_string(line) + ": " + why};
    };
    while (std::getline(in, raw)) {
        ++line;
        const std::string s = Trim(raw);
        if (s.empty() || s[0] == '#') continue;
        if (s.rfind("unit.", 0) == 0) {
            if (s.find('=') == std::string::npos) return fail("expected unit.KEY = VALUE");
            if (scenario.UnitProfileText.size() + s.size() > files::kMaxFileBytes)
                return fail(kProfileTooLarge);
            scenario.UnitProfileText += s.substr(5) + "\n";
            scenario.UnitProfileParts.push_back({line, {}, 1});
            continue;
        }
        const auto words = Words(s);
        if (words.empty()) continue; // a form feed or vertical tab: blank to the word split
        const std::string& verb = words[0];
        const auto rest = Trim(s.substr(verb.size()));
        TAction a;
        a.Line = line;
        const auto needWords = [&](size_t lo, size_t hi) { return words.size() >= lo && words.size() <= hi; };
        if (verb == "unit") {
            if (rest.empty()) return fail("unit needs a preset name");
            scenario.UnitPreset = rest;
            scenario.UnitPresetLine = line;
            continue;
        } else if (verb == "unit-file") {
            if (rest.empty()) return fail("unit-file needs a path");
            const std::string path = (rest[0] == '/' || baseDir.empty()) ? rest : baseDir + "/" + rest;
            const files::TFileText profile = files::ReadFileText(path);
            if (!profile) return fail("cannot read unit file '" + path + "'" + TooLarge(profile));
            // Each unit file goes under the unit. lines, however often one is named.
            if (scenario.UnitProfileText.size() + profile.text->size() >= files::kMaxFileBytes)
                return fail(kProfileTooLarge);
            scenario.UnitProfileText = *profile.text + "\n" + scenario.UnitProfileText;
            scenario.UnitProfileParts.insert(scenario.UnitProfileParts.begin(),
                                             {line, rest, CountLines(*profile.text)});
            continue;
        } else if (verb == "plug" || verb == "unplug" || verb == "reconnect") {
            if (!needWords(1, 1)) return fail(verb + " takes no argument");
            a.Kind = verb == "plug" ? TActionKind::Plug
                     : verb == "unplug" ? TActionKind::Unplug
                                        : TActionKind::Reconnect;
        } else if (verb == "wait") {
            if (words.size() < 2) return fail("wait needs idle, connected, step N or ms N");
            size_t timeoutAt = 0; // where an optional time-out may stand; 0: none may
            if (words[1] == "idle" || words[1] == "connected") {
                a.Kind = words[1] == "idle" ? TActionKind::WaitIdle : TActionKind::WaitConnected;
                timeoutAt = 2;
            } else if (words[1] == "step" || words[1] == "ms") {
                if (words.size() < 3) return fail("wait " + words[1] + " needs a number");
                const auto n = Number(words[2]);
                if (!n) return fail("'" + Shown(words[2]) + "' is not a number");
                a.Kind = words[1] == "step" ? TActionKind::WaitStep : TActionKind::WaitMs;
                a.Number = *n;
                if (a.Kind == TActionKind::WaitMs && *n < 0) return fail("negative wait");
                if (a.Kind == TActionKind::WaitMs && *n > kMaxWaitMs)
                    return fail("a wait of " + words[2] + " ms is longer than an hour");
                timeoutAt = a.Kind == TActionKind::WaitStep ? 3 : 0;
            } else {
                return fail("wait needs idle, connected, step N or ms N, not '" + Shown(words[1]) +
                            "'");
            }
            const size_t most = timeoutAt ? timeoutAt + 1 : 3;
            if (words.size() > most) return fail("too many words");
            if (timeoutAt && words.size() == timeoutAt + 1) {
                const auto t = Number(words[timeoutAt]);
                if (!t || *t <= 0)
                    return fail("'" + Shown(words[timeoutAt]) + "' is not a timeout in ms");
                if (*t > kMaxWaitMs)
                    return fail("a time-out of " + words[timeoutAt] + " ms is longer than an hour");
                a.TimeoutMs = *t;
            }
        } else if (verb == "choose") {
            if (!needWords(3, 3)) return fail("choose needs a control and an item index");
            const auto n = Number(words[2]);
            if (!n) return fail("'" + Shown(words[2]) + "' is not an item index");
            if (*n < -1 || *n > kMaxItemIndex)
                return fail("no list has an item " + words[2] + " (-1 to " +
                            std::to_string(kMaxItemIndex) + ")");
            a.Kind = TActionKind::Choose;
            a.Control = words[1];
            a.Number = *n;
        } else if (verb == "check") {
            if (!needWords(3, 3) || (words[2] != "on" && words[2] != "off"))
                return fail("check needs a control and on or off");
            a.Kind = TActionKind::Check;
            a.Control = words[1];
            a.Number = words[2] == "on";
        } else if (verb == "press") {
            if (!needWords(2, 2)) return fail("press needs one control name");
            a.Kind = TActionKind::Press;
            a.Control = words[1];
        } else if (verb == "screenshot") {
            if (rest.empty()) return fail("screenshot needs a file name");
            a.Kind = TActionKind::Screenshot;
            a.Path = rest;
        } else {
            return fail("unknown action '" + Shown(verb) + "'");
        }
        scenario.Actions.push_back(a);
    }
    return {scenario, {}};
}

TScenarioResult LoadScenario(const std::string& path) {
    const files::TFileText text = files::ReadFileText(path);
    if (!text) return {std::nullopt, "cannot read scenario '" + path + "'" + TooLarge(text)};
    const auto slash = path.find_last_of('/');
    auto result =
        ParseScenario(*text.text, slash == std::string::npos ? "." : path.substr(0, slash));
    if (!result.Scenario) result.Error = path + ": " + result.Error;
    return result;
}

std::optional<sim::Profile> ScenarioProfile(const TScenario& scenario, std::string& error) {
    std::string text;
    int presetLines = 0;
    if (!scenario.UnitPreset.empty()) {
        if (!sim::FindPreset(scenario.UnitPreset)) {
            error = "unknown unit preset '" + scenario.UnitPreset + "'";
            return std::nullopt;
        }
        const auto slash = scenario.UnitPreset.rfind('/');
        text = "model = " + scenario.UnitPreset.substr(0, slash) +
               "\nfirmware = " + scenario.UnitPreset.substr(slash + 1) + "\n";
        presetLines = 2;
    }
    text += scenario.UnitProfileText;
    const auto lineName = [&](int n) {
        if (n <= presetLines) return "line " + std::to_string(scenario.UnitPresetLine);
        n -= presetLines;
        for (const TProfilePart& part : scenario.UnitProfileParts) {
            if (n > part.Lines) {
                n -= part.Lines;
                continue;
            }
            const std::string at = "line " + std::to_string(part.ScenarioLine);
            if (part.File.empty()) return at;
            return at + " (" + part.File + " line " + std::to_string(n) + ")";
        }
        return "line " + std::to_string(n) + " of the unit profile";
    };
    auto parsed = sim::ParseProfile(text, lineName);
    if (!parsed.profile) {
        error = "unit profile: " + parsed.error;
        return std::nullopt;
    }
    return parsed.profile;
}

} // namespace demo
