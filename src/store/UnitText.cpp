#include "store/UnitText.h"

#include "link/LogLine.h"
#include "link/Text.h"
#include "store/Requests.h"

#include <algorithm>

namespace store {

namespace {

// The unit's clock as the tool set it: seconds from 2001-01-01 00:00 local time.
std::string ClockText(std::int64_t value) {
    const std::string line = core::FormatLogLine((978307200 + value) * 1000, "", core::kLogNote);
    // "yy/MM/dd HH:mm:ss zzz," -> "20yy-MM-dd HH:mm:ss"
    return "20" + line.substr(0, 2) + "-" + line.substr(3, 2) + "-" + line.substr(6, 2) + " " +
           line.substr(9, 8);
}

} // namespace

bool SerialRead(std::string_view serial) {
    return std::any_of(serial.begin(), serial.end(),
                       [](char c) { return static_cast<unsigned char>(c) > 0x20 && c != 0x7f; });
}

TUnitFacts UnitFacts(const core::TConversation& c) {
    const auto text = [](const std::string& bytes) { return Escaped(core::Latin1ToUtf8(bytes)); };
    TUnitFacts f;
    f.model = text(c.Identity().model);
    f.firmware = text(c.Identity().version);
    f.language = text(c.Language());
    if (c.Serial() && SerialRead(*c.Serial())) f.serial = text(*c.Serial());
    if (c.ClockValue() != 0) f.clock = ClockText(c.ClockValue());
    f.fileBytes = c.UploadedFile().size();
    return f;
}

std::string OneLine(std::string text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        out += c == '\n' ? ' ' : c;
    }
    return Escaped(out);
}

TJson UnitDescription(const core::TConversation& c, bool settingsShown, TValueOf valueOf) {
    const TUnitFacts f = UnitFacts(c);
    TJson::TObject unit{{"model", f.model},
                        {"firmware", f.firmware},
                        {"language", f.language},
                        {"serial", f.serial.empty() ? TJson() : TJson(f.serial)},
                        {"clock", f.clock}};
    if (f.fileBytes > 0)
        unit["informationFileBytes"] = TJson(static_cast<std::int64_t>(f.fileBytes));

    TJson::TObject root{{"unit", std::move(unit)}, {"settingsShown", settingsShown}};
    TJson::TObject settings, details;
    if (!settingsShown) {
        root["notice"] = OneLine(std::string(core::kUnsupportedNotice));
    } else {
        for (const TSettingInfo& info : kSettings) {
            const std::string name(info.name);
            const std::vector<std::string> values = params::SettingValues(info.id, c.Identity());
            TJson::TObject d{{"available", !values.empty()}};
            if (!values.empty()) {
                const auto value =
                    valueOf == TValueOf::Unit ? HeldValue(c, info.id) : ChosenValue(c, info.id);
                d["value"] = value ? TJson(*value) : TJson();
                d["shown"] = Escaped(c.Setting(info.id).shown);
                d["values"] = TJson::TArray(values.begin(), values.end());
                // What "set --from" takes back: the settings this unit has, with a value.
                if (value) settings[name] = *value;
            }
            details[name] = std::move(d);
        }
    }
    root["settings"] = std::move(settings);
    root["details"] = std::move(details);
    return root;
}

} // namespace store
