#include "store/UnitJson.h"

#include "store/QtText.h"

#include <QJsonArray>

namespace store {

namespace {

QJsonValue ToQt(const TJson& value) {
    if (const auto* b = value.As<bool>()) return *b;
    if (const auto* n = value.As<std::int64_t>()) return static_cast<qint64>(*n);
    if (const auto* s = value.As<std::string>()) return Q(*s);
    if (const auto* a = value.As<TJson::TArray>()) {
        QJsonArray array;
        for (const TJson& item : *a)
            array.append(ToQt(item));
        return array;
    }
    if (const auto* o = value.As<TJson::TObject>()) {
        QJsonObject object;
        for (const auto& [key, member] : *o)
            object[Q(key)] = ToQt(member);
        return object;
    }
    return QJsonValue();
}

} // namespace

QJsonObject UnitJson(const core::TConversation& c, bool settingsShown, TValueOf valueOf) {
    return ToQt(UnitDescription(c, settingsShown, valueOf)).toObject();
}

} // namespace store
