#pragma once
// A failing comparison of Qt texts and JSON values prints them as text (JSON as compact
// JSON), not as the bytes of the objects. GoogleTest finds these by argument-dependent
// lookup; Qt's classes are in the global namespace.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QJsonObject& object, std::ostream* os) {
    *os << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

inline void PrintTo(const QJsonArray& array, std::ostream* os) {
    *os << QJsonDocument(array).toJson(QJsonDocument::Compact).toStdString();
}

inline void PrintTo(const QJsonValue& value, std::ostream* os) {
    if (value.isUndefined()) {
        *os << "(undefined)";
        return;
    }
    // A document holds an object or an array only: the value goes in one and out again.
    const std::string inArray =
        QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).toStdString();
    *os << inArray.substr(1, inArray.size() - 2);
}
