// The Qt-free JSON writer against Qt's indented documents: show --json's bytes are the
// same whichever prints them (the web build has only this writer).
#include "store/JsonText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <string>

namespace {

using store::TJson;

QJsonValue ToQt(const TJson& value) {
    if (const auto* b = value.As<bool>()) return *b;
    if (const auto* n = value.As<std::int64_t>()) return static_cast<qint64>(*n);
    if (const auto* s = value.As<std::string>()) return QString::fromStdString(*s);
    if (const auto* a = value.As<TJson::TArray>()) {
        QJsonArray array;
        for (const TJson& item : *a)
            array.append(ToQt(item));
        return array;
    }
    if (const auto* o = value.As<TJson::TObject>()) {
        QJsonObject object;
        for (const auto& [key, member] : *o)
            object[QString::fromStdString(key)] = ToQt(member);
        return object;
    }
    return QJsonValue();
}

TEST(JsonText, WritesWhatQtWrites) {
    const TJson documents[] = {
        TJson::TObject{},
        TJson::TArray{},
        TJson::TObject{{"b", true}, {"a", false}, {"n", TJson()}, {"i", std::int64_t{-2132}}},
        TJson::TObject{{"empty", TJson::TObject{}},
                       {"list", TJson::TArray{"x", TJson::TArray{}, TJson::TObject{{"k", "v"}}}}},
        TJson::TObject{
            {"texts", TJson::TArray{"quote \" back \\ slash", "\b\f\n\r\t", "\x01\x1f\x7f",
                                    "caf\xC3\xA9 \xE3\x83\xA2 \xF0\x9F\x94\x8A", "/ ' <>"}},
            {"Key with \"quotes\"", "\xC2\xA0"}},
        TJson::TArray{std::int64_t{9007199254740993}, std::int64_t{0}},
    };
    for (const TJson& document : documents) {
        const QJsonValue qt = ToQt(document);
        const QByteArray expected = qt.isArray() ? QJsonDocument(qt.toArray()).toJson()
                                                 : QJsonDocument(qt.toObject()).toJson();
        EXPECT_EQ(store::IndentedText(document), expected.toStdString());
    }
}

} // namespace
