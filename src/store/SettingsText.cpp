// Settings files: lines "name = value", or the JSON "show --json" prints (read with Qt's
// JSON classes).
#include "store/Requests.h"

#include "files/FileText.h"
#include "store/RequestsDetail.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>

namespace store {

using namespace detail;

namespace {

// The first key given twice in one object, with its line: QJsonDocument silently keeps the
// last. The text is valid JSON already.
std::optional<std::pair<QString, int>> RepeatedKey(std::string_view text) {
    std::vector<std::optional<std::vector<QString>>> open; // an object's keys; nothing: array
    char before = 0; // the last character outside strings that is not blank
    int line = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') ++line;
        if (c == '{' || c == '[') {
            open.emplace_back(c == '{' ? std::optional<std::vector<QString>>(std::in_place)
                                       : std::nullopt);
        } else if (c == '}' || c == ']') {
            if (!open.empty()) open.pop_back();
        } else if (c == '"') {
            std::size_t end = i + 1;
            while (end < text.size() && text[end] != '"')
                end += text[end] == '\\' ? 2 : 1;
            const bool key = !open.empty() && open.back() && (before == '{' || before == ',');
            if (key) {
                // Decoded, so that "vol\u0075me" is "volume" too.
                const std::string_view quoted = text.substr(i, end + 1 - i);
                const QJsonDocument doc = QJsonDocument::fromJson(
                    "[" + QByteArray(quoted.data(), static_cast<qsizetype>(quoted.size())) + "]");
                const QString name = doc.array().at(0).toString();
                std::vector<QString>& keys = *open.back();
                if (std::find(keys.begin(), keys.end(), name) != keys.end())
                    return std::make_pair(name, line);
                keys.push_back(name);
            }
            i = end;
        }
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') before = c;
    }
    return std::nullopt;
}

TRequests ParseJson(std::string_view text, const std::string& name) {
    TRequests out;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(
        QByteArray(text.data(), static_cast<qsizetype>(text.size())), &error);
    if (error.error != QJsonParseError::NoError) {
        // The offset as a line number, as a text editor shows it.
        const auto before = text.substr(
            0, static_cast<std::size_t>(std::clamp<qsizetype>(error.offset, 0, text.size())));
        const auto line = 1 + std::count(before.begin(), before.end(), '\n');
        out.error = name + ":" + std::to_string(line) + ": not valid JSON (" +
                    error.errorString().toStdString() + ")";
        return out;
    }
    if (!doc.isObject() || !doc.object().value(QStringLiteral("settings")).isObject()) {
        out.error = name + ": the JSON has no \"settings\" object (as \"show --json\" prints it)";
        return out;
    }
    if (const auto repeated = RepeatedKey(text)) {
        out.error = name + ":" + std::to_string(repeated->second) + ": the key " +
                    Quoted(repeated->first.toStdString()) + " is given twice";
        return out;
    }
    const QJsonObject settings = doc.object().value(QStringLiteral("settings")).toObject();
    for (auto it = settings.begin(); it != settings.end(); ++it) {
        const std::string key = it.key().toStdString();
        const std::string origin = name + ": settings." + Shown(key);
        std::string value;
        if (it.value().isString()) {
            value = it.value().toString().toStdString();
        } else if (it.value().isDouble() && it.value().toDouble() == it.value().toInt()) {
            value = std::to_string(it.value().toInt()); // volume: 4
        } else {
            out.error = origin + ": the value must be a text such as \"4\" or \"off\"";
            return out;
        }
        if (!Add(out, key, value, origin)) return out;
    }
    return out;
}

} // namespace

TRequests ParseSettingsText(std::string_view text, const std::string& name) {
    // Editors on Windows often begin a UTF-8 file with a byte order mark; Windows PowerShell
    // 5.1 writes "show --json > unit.json" as UTF-16 with one.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    const bool littleEndian = text.starts_with("\xFF\xFE");
    if (littleEndian || text.starts_with("\xFE\xFF")) {
        if (text.size() % 2 != 0) return {{}, name + ": not a text file"};
        std::u16string units((text.size() - 2) / 2, u'\0');
        for (std::size_t i = 0; i < units.size(); ++i) {
            const auto lo = static_cast<unsigned char>(text[2 + 2 * i + (littleEndian ? 0 : 1)]);
            const auto hi = static_cast<unsigned char>(text[2 + 2 * i + (littleEndian ? 1 : 0)]);
            units[i] = static_cast<char16_t>(hi << 8 | lo);
        }
        const QByteArray utf8 =
            QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size())).toUtf8();
        return ParseSettingsText(
            std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())), name);
    }
    if (Trim(text).substr(0, 1) == "{") return ParseJson(text, name);
    TRequests out;
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (line.find('\0') != std::string_view::npos) {
            out.error = name + ":" + std::to_string(number) + ": not a text file";
            return out;
        }
        if (!AddAssignment(out, line, name + ":" + std::to_string(number))) return out;
    }
    return out;
}

namespace {

TRequests FromFileText(const files::TFileText& file, const std::string& name) {
    if (file) return ParseSettingsText(*file.text, name);
    TRequests out;
    out.error =
        name + ": " +
        (file.error == files::TFileError::TooLarge ? "too large for a settings file" : file.why);
    return out;
}

} // namespace

TRequests LoadSettingsFile(const std::string& path) {
    // A settings file is a few hundred bytes; a huge one is a mistake, not settings.
    return FromFileText(files::ReadFileText(path), path);
}

TRequests LoadSettingsStream(std::FILE* stream, const std::string& name) {
    return FromFileText(files::ReadStreamText(stream), name);
}

} // namespace store
