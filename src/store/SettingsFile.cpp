#include "store/SettingsFile.h"

#include "store/Backups.h"
#include "store/DataFolder.h"
#include "store/QtText.h"
#include "store/Requests.h"

#include <QJsonDocument>
#include <QSaveFile>

namespace store {

std::string SettingsFileText(const core::TConversation& c, TValueOf valueOf, bool json,
                             const core::TTimePoint& now) {
    if (json) return QJsonDocument(UnitJson(c, true, valueOf)).toJson().toStdString();
    const TUnitFacts f = UnitFacts(c);
    std::string text = "# " + std::string(kProduct) + ": settings of " + f.model + " " +
                       f.firmware + ", serial " + (f.serial.empty() ? kSerialNotRead : f.serial) +
                       "\n# " + LocalText(now) + "\n";
    for (const TSettingInfo& info : kSettings) {
        if (params::SettingValues(info.id, c.Identity()).empty()) continue;
        const auto value =
            valueOf == TValueOf::Unit ? HeldValue(c, info.id) : ChosenValue(c, info.id);
        if (value) text += std::string(info.name) + " = " + *value + "\n";
    }
    return text;
}

std::string WriteSettingsFile(const std::string& path, const core::TConversation& conversation,
                              TValueOf valueOf, const core::TTimePoint& now) {
    const bool json = Q(path).endsWith(QStringLiteral(".json"), Qt::CaseInsensitive);
    return WriteWholeFile(path, SettingsFileText(conversation, valueOf, json, now));
}

std::string WriteWholeFile(const std::string& path, const std::string& text) {
    QSaveFile file(Q(path));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit())
        return path + ": not saved (" + file.errorString().toStdString() + ")";
    return {};
}

} // namespace store
