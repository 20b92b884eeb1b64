#include "store/UnitJson.h"

#include "link/LogLine.h"
#include "link/Text.h"
#include "store/QtText.h"
#include "store/Requests.h"

#include <QJsonArray>
#include <QString>

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

QJsonObject UnitJson(const core::TConversation& c, bool settingsShown, TValueOf valueOf) {
    const TUnitFacts f = UnitFacts(c);
    QJsonObject unit;
    unit[QStringLiteral("model")] = Q(f.model);
    unit[QStringLiteral("firmware")] = Q(f.firmware);
    unit[QStringLiteral("language")] = Q(f.language);
    unit[QStringLiteral("serial")] = f.serial.empty() ? QJsonValue() : QJsonValue(Q(f.serial));
    unit[QStringLiteral("clock")] = Q(f.clock);
    if (f.fileBytes > 0)
        unit[QStringLiteral("informationFileBytes")] = static_cast<qint64>(f.fileBytes);

    QJsonObject root;
    root[QStringLiteral("unit")] = unit;
    root[QStringLiteral("settingsShown")] = settingsShown;
    QJsonObject settings, details;
    if (!settingsShown) {
        root[QStringLiteral("notice")] = Q(OneLine(std::string(core::kUnsupportedNotice)));
    } else {
        for (const TSettingInfo& info : kSettings) {
            const QString name = Q(info.name);
            const std::vector<std::string> values = params::SettingValues(info.id, c.Identity());
            QJsonObject d;
            d[QStringLiteral("available")] = !values.empty();
            if (!values.empty()) {
                const auto value =
                    valueOf == TValueOf::Unit ? HeldValue(c, info.id) : ChosenValue(c, info.id);
                d[QStringLiteral("value")] = value ? QJsonValue(Q(*value)) : QJsonValue();
                d[QStringLiteral("shown")] = Q(Escaped(c.Setting(info.id).shown));
                QJsonArray list;
                for (const std::string& v : values)
                    list.append(Q(v));
                d[QStringLiteral("values")] = list;
                // What "set --from" takes back: the settings this unit has, with a value.
                if (value) settings[name] = Q(*value);
            }
            details[name] = d;
        }
    }
    root[QStringLiteral("settings")] = settings;
    root[QStringLiteral("details")] = details;
    return root;
}

} // namespace store
