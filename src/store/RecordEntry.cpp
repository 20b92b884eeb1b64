// What a run that wrote puts in the service record, and the record as a spreadsheet. No Qt:
// the page in the browser keeps the same record.
#include "link/Text.h"
#include "store/RecordFields.h"
#include "store/Requests.h"
#include "store/TimeText.h"
#include "store/UnitText.h"

#include <string_view>

namespace store {

namespace {

// A text from the unit as every output of the tool shows it.
std::string FromUnit(const std::string& bytes) {
    return Escaped(core::Latin1ToUtf8(bytes));
}

std::string NameOf(params::TSetting setting) {
    return std::string(Info(setting).name);
}

std::string JoinValues(const TNamedValues& values) {
    std::string out;
    for (const auto& [name, value] : values) {
        if (!out.empty()) out += "; ";
        out += name;
        out += '=';
        out += value;
    }
    return out;
}

std::string CsvField(const std::string& text) {
    // A serial such as "=1+2" would be taken for a formula.
    const bool formula =
        !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos;
    if (!formula && text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = formula ? "\"'" : "\"";
    for (char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

} // namespace

std::string RunName(core::TRunKind kind) {
    return kind == core::TRunKind::Default ? "default" : "apply";
}

TRunStart RunStart(const core::TConversation& c, core::TRunKind kind) {
    TRunStart start;
    start.identity = c.Identity();
    TUnitFacts facts = UnitFacts(c);
    if (!facts.serial.empty()) start.serial = std::move(facts.serial);
    start.model = std::move(facts.model);
    start.firmware = std::move(facts.firmware);
    start.language = std::move(facts.language);
    for (const params::TSettingInfo& info : kSettings) {
        if (const auto held = HeldValue(c, info.id))
            start.before[NameOf(info.id)] = *held;
        else if (const auto& raw = c.Setting(info.id).raw)
            start.before[NameOf(info.id)] = FromUnit(*raw);
    }
    if (kind == core::TRunKind::Apply)
        for (params::TSetting setting : c.Changed()) {
            std::optional<std::string> value = ChosenValue(c, setting);
            // An air check whose box and lists name no row of its table (its box unticked over
            // the times the unit held) is written as its code 0: off.
            if (!value && setting == params::TSetting::AirCheck)
                value = params::SettingValues(setting, start.identity).front();
            if (value) start.chosen[NameOf(setting)] = *value;
        }
    return start;
}

TRecordEntry MakeEntry(const core::TConversation& c, core::TRunKind kind, core::TRunEnd end,
                       const TRunStart& start, const core::TTimePoint& now,
                       const std::string& tool) {
    TRecordEntry e;
    e.utc = UtcText(now);
    e.local = LocalText(now);
    e.tool = tool;
    e.run = RunName(kind);
    e.serial = start.serial;
    e.model = start.model;
    e.firmware = start.firmware;
    e.language = start.language;
    e.before = start.before;
    e.chosen = start.chosen;
    e.backup = start.backup;
    const core::TConversation::TRunOutcome& run = c.LastRun();
    // A setting the run did not change went back with the unit's own value.
    for (params::TSetting setting : run.written) {
        if (params::SettingValues(setting, start.identity).empty()) continue;
        const std::string name = NameOf(setting);
        const auto chosen = start.chosen.find(name);
        const auto before = start.before.find(name);
        e.written[name] = chosen != start.chosen.end()   ? chosen->second
                          : before != start.before.end() ? before->second
                                                         : "?";
    }
    const bool saveRefused = run.refusal && run.refusal->command == "SAVE";
    switch (end) {
    case core::TRunEnd::Saved:
        e.result = "saved";
        break;
    case core::TRunEnd::Refused:
        e.result = saveRefused ? "save not confirmed" : "refused";
        if (run.refusal && !saveRefused) {
            e.command = FromUnit(run.refusal->command);
            e.reply = FromUnit(run.refusal->reply);
        }
        break;
    case core::TRunEnd::WriteFailed:
        e.result = "write failed";
        break;
    case core::TRunEnd::WentAway:
        e.result = "went away";
        break;
    case core::TRunEnd::Abandoned:
        // "SAVE" was sent and never answered: the settings may or may not be stored.
        e.result = c.LastCommand() == "SAVE" && !run.saved ? "save not confirmed" : "not finished";
        break;
    }
    return e;
}

std::vector<TRecordEntry> OfSerial(const std::vector<TRecordEntry>& entries,
                                   const std::string& serial) {
    std::vector<TRecordEntry> out;
    for (const TRecordEntry& e : entries)
        if (e.serial == serial) out.push_back(e);
    return out;
}

std::string RecordCsv(const std::vector<TRecordEntry>& entries) {
    std::string out;
    for (const TField& f : kFields) {
        if (&f != kFields) out += ',';
        out += f.name;
    }
    out += ",simulated\r\n";
    for (const TRecordEntry& e : entries) {
        for (const TField& f : kFields) {
            const std::string text = f.text    ? e.*f.text
                                     : f.maybe ? (e.*f.maybe).value_or("")
                                               : JoinValues(e.*f.values);
            if (&f != kFields) out += ',';
            out += CsvField(text);
        }
        out += e.simulated ? ",yes\r\n" : ",\r\n";
    }
    return out;
}

} // namespace store
