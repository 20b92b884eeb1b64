#include "store/Requests.h"

#include "store/RequestsDetail.h"

#include <algorithm>

namespace store {

namespace {

// The length of the well-formed UTF-8 sequence at the start of text that is not a C1
// control (U+0080..U+009F, which some terminals act on); 0 when there is none.
std::size_t PrintableSequence(std::string_view text) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const auto lead = b(0);
    std::size_t n = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (n == 0 || text.size() < n) return 0;
    for (std::size_t i = 1; i < n; ++i)
        if ((b(i) & 0xC0) != 0x80) return 0;
    // Overlong forms, surrogates and code points above U+10FFFF.
    if ((lead == 0xE0 && b(1) < 0xA0) || (lead == 0xED && b(1) >= 0xA0) ||
        (lead == 0xF0 && b(1) < 0x90) || (lead == 0xF4 && b(1) >= 0x90))
        return 0;
    if (lead == 0xC2 && b(1) < 0xA0) return 0;
    return n;
}

// The bytes Escaped takes together at the start of text: one printable sequence, or one byte.
std::size_t NextPiece(std::string_view text) {
    const auto byte = static_cast<unsigned char>(text[0]);
    return byte >= 0x80 ? std::max<std::size_t>(PrintableSequence(text), 1) : 1;
}

} // namespace

namespace detail {

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// A text from an argument, a file or the unit as a message shows it: escaped as everywhere,
// and short enough to read at a glance (the escapes counted as what they print).
std::string Shown(std::string_view text) {
    constexpr std::size_t kMax = 60;
    std::string out;
    std::size_t i = 0;
    while (i < text.size() && out.size() < kMax) {
        const std::size_t n = NextPiece(text.substr(i));
        out += Escaped(text.substr(i, n));
        i += n;
    }
    if (i < text.size()) out += "...";
    return out;
}

std::string KnownNames() {
    std::string out;
    for (const TSettingInfo& info : kSettings)
        out += (out.empty() ? "" : ", ") + std::string(info.name);
    return out;
}

// Adds one "name", "value" pair; false with the error set when it cannot be taken.
bool Add(TRequests& out, std::string_view name, std::string_view value, std::string origin) {
    const std::optional<TSetting> setting = SettingNamed(name);
    if (!setting) {
        out.error = origin + ": unknown setting " + Quoted(name) + " (known: " + KnownNames() + ")";
        return false;
    }
    const std::vector<std::string> values = AnyUnitValues(*setting);
    const std::optional<std::string> canonical = Canonical(value, values);
    if (!canonical) {
        out.error = origin + ": " + std::string(Info(*setting).name) + " has no value " +
                    Quoted(value) + " (values: " + Join(values, ", ") + ")";
        return false;
    }
    for (const TRequest& earlier : out.requests) {
        if (earlier.setting == *setting) {
            out.error = origin + ": " + std::string(Info(*setting).name) +
                        " is set twice (first at " + earlier.origin + ")";
            return false;
        }
    }
    out.requests.push_back({*setting, *canonical, std::move(origin)});
    return true;
}

bool AddAssignment(TRequests& out, std::string_view text, std::string origin) {
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos) {
        out.error = origin + ": expected NAME=VALUE, got " + Quoted(Trim(text));
        return false;
    }
    const std::string_view name = Trim(text.substr(0, eq));
    const std::string_view value = Trim(text.substr(eq + 1));
    if (name.empty() || value.empty()) {
        out.error = origin + ": expected NAME=VALUE, got " + Quoted(Trim(text));
        return false;
    }
    return Add(out, name, value, std::move(origin));
}

} // namespace detail

using namespace detail;

TRequests ParseAssignments(const std::vector<std::string>& arguments, int firstNumber) {
    TRequests out;
    int number = firstNumber;
    for (const std::string& argument : arguments)
        if (!AddAssignment(out, argument, "argument " + std::to_string(number++))) return out;
    return out;
}

namespace {

// Why this unit cannot take the request; nothing when it can.
std::optional<std::string> Unfit(const TRequest& r, const params::TIdentity& identity) {
    const std::string_view name = Info(r.setting).name;
    const std::vector<std::string> values = params::SettingValues(r.setting, identity);
    if (values.empty()) return "this unit (" + UnitName(identity) + ") has no " + std::string(name);
    if (!Canonical(r.value, values))
        return "this unit (" + UnitName(identity) + ") takes " + std::string(name) + " " +
               Join(values, ", ") + ", not " + r.value;
    return std::nullopt;
}

} // namespace

std::optional<std::string> CheckForUnit(const std::vector<TRequest>& requests,
                                        const params::TIdentity& identity) {
    for (const TRequest& r : requests)
        if (const auto why = Unfit(r, identity)) return r.origin + ": " + *why;
    return std::nullopt;
}

TUnitSplit SplitForUnit(const std::vector<TRequest>& requests, const params::TIdentity& identity) {
    TUnitSplit split;
    for (const TRequest& r : requests) {
        if (auto why = Unfit(r, identity))
            split.skipped.push_back({r, std::move(*why)});
        else
            split.taken.push_back(r);
    }
    return split;
}

std::vector<TSetting> Differences(const std::vector<TRequest>& requests,
                                  const core::TConversation& conversation) {
    std::vector<TSetting> differ;
    for (const TRequest& r : requests) {
        const std::optional<std::string> held = HeldValue(conversation, r.setting);
        if (!held || !Canonical(r.value, {*held})) differ.push_back(r.setting);
    }
    return differ;
}

TRestoreRaw RestoreRawFor(const params::TIdentity& backup,
                          const std::map<std::string, std::string>& raw,
                          const params::TIdentity& unit) {
    // Another model or firmware may take other values under the same keys.
    if (backup.model != unit.model || backup.version != unit.version) return {};
    params::TRestoreValues checked = params::RestoreValuesOf(raw);
    if (!checked) return {std::nullopt, "raw." + Escaped(checked.key) + ": " + checked.why};
    // A backup without values goes by its settings, as one of another unit does.
    if (checked.values.Empty()) return {};
    return {std::move(checked.values), {}};
}

std::vector<TRawChange> RawChanges(const std::vector<params::TWriteEntry>& plan,
                                   const params::TUnitValues& unit) {
    std::vector<TRawChange> changes;
    for (const params::TWriteEntry& e : plan) {
        if (!e.setting || !e.command) continue;
        const std::string_view command = params::WriteCommandOf(*e.command);
        if (command.empty()) continue;
        const std::optional<std::string_view> held = unit.Of(command);
        if (held && !params::ChangesUnitValue(*e.command, unit)) continue;
        if (changes.empty() || changes.back().setting != *e.setting)
            changes.push_back({*e.setting, {}});
        changes.back().values.push_back(
            params::UnitValueKey(command) + " " + (held ? Escaped(*held) : std::string("?")) +
            " -> " + Escaped(std::string_view(*e.command).substr(command.size())));
    }
    return changes;
}

std::string ChangeLine(TSetting setting, const std::optional<std::string>& from,
                       const std::optional<std::string>& to,
                       const std::vector<std::string>& values) {
    std::string line(Info(setting).name);
    line += ": " + from.value_or("?") + " -> " + to.value_or("?");
    if (!values.empty()) line += " (" + Join(values, ", ") + ")";
    return line;
}

std::vector<std::string> RestoreChanges(const params::TUnitValues& values,
                                        const std::vector<TRequest>& requests,
                                        const core::TConversation& conversation) {
    // The plan Apply would send, carrying the backup's values; a command whose value the
    // backup lacks goes back as the unit has it.
    std::vector<params::TWriteEntry> plan = params::WritePlan(conversation.Identity(), {});
    for (params::TWriteEntry& e : plan)
        if (e.command && !values.Of(*e.command))
            e.command.reset();
        else if (e.command)
            e.command = params::WithUnitValue(*e.command, values);
    std::vector<std::string> lines;
    for (const TRawChange& change : RawChanges(plan, conversation.UnitValues())) {
        const auto named = std::find_if(requests.begin(), requests.end(), [&](const TRequest& r) {
            return r.setting == change.setting;
        });
        lines.push_back(ChangeLine(
            change.setting, HeldValue(conversation, change.setting),
            named != requests.end() ? std::optional(named->value) : std::nullopt, change.values));
    }
    return lines;
}

std::string UnitName(const params::TIdentity& identity) {
    if (identity.model.empty()) return "firmware " + identity.version;
    return identity.model + " " + identity.version;
}

std::string Escaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = NextPiece(text.substr(i));
        const auto byte = static_cast<unsigned char>(text[i]);
        if (n > 1 || (byte >= 0x20 && byte < 0x7f)) {
            out += text.substr(i, n);
        } else {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
        i += n;
    }
    return out;
}

std::string Quoted(std::string_view text) {
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "'" + text + "'" at -O3.
    std::string quoted(1, '\'');
    quoted += Shown(text);
    quoted += '\'';
    return quoted;
}

std::string Join(const std::vector<std::string>& values, std::string_view between) {
    std::string out;
    for (const std::string& v : values) {
        if (!out.empty()) out += between;
        out += v;
    }
    return out;
}

} // namespace store
