#include "store/Backups.h"

#include "files/FileText.h"
#include "link/Text.h"
#include "store/DataFolder.h"
#include "store/QtText.h"
#include "store/UnitJson.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTimeZone>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <tuple>

namespace store {

namespace {

std::string PathIn(const std::string& folder, const std::string& name) {
    return QDir(Q(folder)).filePath(Q(name)).toStdString();
}

bool FileNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

// FNV-1a: stable across runs and systems, enough to keep two serial numbers apart.
std::string Hash(std::string_view text) {
    std::uint32_t h = 2166136261u;
    for (char c : text)
        h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    char out[9];
    std::snprintf(out, sizeof out, "%08x", h);
    return out;
}

std::string SafeName(std::string_view text) {
    constexpr std::size_t kMax = 64;
    std::string name;
    bool changed = text.empty() || text.front() == '.' || text.size() > kMax;
    for (char c : text) {
        // A blank is spelt '_' without more ado: models have them ("DW730 TONAL").
        changed = changed || (!FileNameCharacter(c) && c != ' ');
        name += FileNameCharacter(c) ? c : '_';
    }
    if (!changed) return name;
    name.resize(std::min(name.size(), kMax - 9)); // room for "-" and the hash
    if (name.empty()) name = "unit";
    if (name.front() == '.') name.front() = '_'; // neither hidden nor "." or ".."
    return name + "-" + Hash(text);
}

// "20261208-140102" of the local date and time.
std::string Stamp(std::int64_t wallMs) {
    return QDateTime::fromMSecsSinceEpoch(wallMs, QTimeZone::utc())
        .toString(QStringLiteral("yyyyMMdd-HHmmss"))
        .toStdString();
}

// A backup's file name taken apart: its stamp and its number (1 for none); false for a
// file of another unit or anything else.
bool ParseBackupName(std::string_view name, std::string_view unit, std::string& stamp,
                     int& number) {
    const auto digits = [](std::string_view s) {
        return !s.empty() &&
               std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!name.starts_with(unit) || name.substr(unit.size(), 1) != "_" || !name.ends_with(".json"))
        return false;
    std::string_view rest = name.substr(unit.size() + 1, name.size() - unit.size() - 6);
    if (rest.size() < 15 || !digits(rest.substr(0, 8)) || rest[8] != '-' ||
        !digits(rest.substr(9, 6)))
        return false;
    stamp = rest.substr(0, 15);
    number = 1;
    if (rest.size() == 15) return true;
    const std::string_view suffix = rest.substr(15);
    if (suffix.size() < 2 || suffix.size() > 6 || suffix[0] != '-' || !digits(suffix.substr(1)))
        return false;
    number = std::stoi(std::string(suffix.substr(1)));
    return number >= 2;
}

// The command's key: "SPAR Led " -> "Led".
std::string RawKey(std::string_view command) {
    if (command.starts_with("SPAR ")) command.remove_prefix(5);
    while (!command.empty() && command.back() == ' ')
        command.remove_suffix(1);
    return std::string(command);
}

// The unit's backups in each of the folders, newest first.
std::vector<TBackupFile> ListBackupsIn(std::initializer_list<std::string> folders,
                                       const std::string& unitFileName) {
    struct TFound {
        std::string stamp;
        int number;
        TBackupFile file;
    };
    std::vector<TFound> found;
    for (const std::string& folder : folders) {
        const QDir dir(Q(folder));
        for (const QString& entry :
             dir.entryList({Q(unitFileName) + QStringLiteral("_*.json")}, QDir::Files)) {
            const std::string name = entry.toStdString();
            std::string stamp;
            int number = 0;
            if (!ParseBackupName(name, unitFileName, stamp, number)) continue;
            const std::string local = stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" +
                                      stamp.substr(6, 2) + "T" + stamp.substr(9, 2) + ":" +
                                      stamp.substr(11, 2) + ":" + stamp.substr(13, 2);
            found.push_back({stamp, number, {PathIn(folder, name), local}});
        }
    }
    std::sort(found.begin(), found.end(), [](const TFound& a, const TFound& b) {
        return std::tie(a.stamp, a.number) > std::tie(b.stamp, b.number);
    });
    std::vector<TBackupFile> out;
    for (TFound& f : found)
        out.push_back(std::move(f.file));
    return out;
}

} // namespace

std::string BackupFolder() {
    return PathIn(DataFolder(), "backups");
}

std::string UnitFileName(const std::optional<std::string>& serial,
                         const params::TIdentity& identity) {
    if (serial && SerialRead(*serial)) return SafeName(*serial);
    return SafeName(identity.model.empty() ? identity.version
                                           : identity.model + " " + identity.version);
}

std::string UnitFileName(const core::TConversation& conversation) {
    return UnitFileName(conversation.Serial(), conversation.Identity());
}

TBackupWritten WriteBackup(const core::TConversation& c, const std::string& folder,
                           const core::TTimePoint& now, const std::string& tool, int keep) {
    // What the unit holds, not what the user has chosen for the run about to write.
    QJsonObject root = UnitJson(c, c.Supported(), TValueOf::Unit);
    QJsonObject raw;
    for (const auto& [command, value] : c.UnitValues().All())
        raw[Q(RawKey(command))] = Q(Escaped(core::Latin1ToUtf8(value)));
    root[QStringLiteral("raw")] = raw;
    QJsonObject backup;
    backup[QStringLiteral("utc")] = Q(UtcText(now));
    backup[QStringLiteral("local")] = Q(LocalText(now));
    backup[QStringLiteral("tool")] = Q(tool);
    backup[QStringLiteral("product")] = Q(kProduct);
    root[QStringLiteral("backup")] = backup;
    const QByteArray text = QJsonDocument(root).toJson(QJsonDocument::Indented);

    // Each unit's backups have a folder of their own: keeping the newest few looks at that
    // unit's files only, however many units the folder has seen.
    const std::string unit = UnitFileName(c);
    const std::string unitFolder = PathIn(folder, unit);
    if (!QDir().mkpath(Q(unitFolder))) return {{}, "folder not writable: " + folder};
    // The name is taken by creating the file: another process never has it overwritten.
    const std::string base = unit + "_" + Stamp(now.wallMs);
    std::string path;
    for (int n = 1;; ++n) {
        path = PathIn(unitFolder, base + (n > 1 ? "-" + std::to_string(n) : "") + ".json");
        QFile claim(Q(path));
        if (claim.open(QIODevice::WriteOnly | QIODevice::NewOnly)) break;
        if (!claim.exists() || n >= 999)
            return {{},
                    "folder not writable: " + folder + " (" + claim.errorString().toStdString() +
                        ")"};
    }
    QSaveFile file(Q(path));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        const std::string why = file.errorString().toStdString();
        file.cancelWriting();
        QFile::remove(Q(path));
        return {{}, "backup not written: " + path + " (" + why + ")"};
    }
    if (keep > 0) {
        int kept = 1; // the one just written, whatever its time says
        // Backups of the old flat layout (folder/UNIT_*.json) are listed, never removed.
        for (const TBackupFile& old : ListBackupsIn({unitFolder}, unit))
            if (old.path != path && ++kept > keep) QFile::remove(Q(old.path));
    }
    return {path, {}};
}

std::vector<TBackupFile> ListBackups(const std::string& folder, const std::string& unitFileName) {
    return ListBackupsIn({PathIn(folder, unitFileName), folder}, unitFileName);
}

TBackup ReadBackup(const std::string& path) {
    TBackup out;
    bool marked = false;
    const auto fail = [&](std::string why) {
        out = {};
        out.error = std::move(why);
        out.marked = marked;
        return out;
    };
    const files::TFileText file = files::ReadFileText(path);
    if (!file)
        return fail(
            path + ": " +
            (file.error == files::TFileError::TooLarge ? "too large for a backup" : file.why));
    const std::string& text = *file.text;
    const std::string notBackup = path + ": not a backup of the " + std::string(kProduct);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(
        QByteArray(text.data(), static_cast<qsizetype>(text.size())), &error);
    if (error.error != QJsonParseError::NoError) {
        // JSON cut short or damaged: the settings file's message says where.
        const TRequests parsed = ParseSettingsText(text, path);
        const bool json = text.find_first_not_of(" \t\r\n") != std::string::npos &&
                          text[text.find_first_not_of(" \t\r\n")] == '{';
        return fail(json && !parsed ? parsed.error : notBackup);
    }
    const QJsonObject root = doc.object();
    marked = root.contains(QStringLiteral("backup"));
    const QJsonObject backup = root.value(QStringLiteral("backup")).toObject();
    if (backup.value(QStringLiteral("product")).toString() != Q(kProduct)) return fail(notBackup);

    TRequests parsed = ParseSettingsText(text, path);
    if (!parsed) return fail(parsed.error);
    out.requests = std::move(parsed.requests);

    const QJsonObject unit = root.value(QStringLiteral("unit")).toObject();
    const QJsonValue serial = unit.value(QStringLiteral("serial"));
    const QJsonObject raw = root.value(QStringLiteral("raw")).toObject();
    const auto text_ = [](const QJsonObject& o, const char* key) {
        return o.value(QLatin1String(key)).isString();
    };
    bool whole = text_(unit, "model") && text_(unit, "firmware") && text_(backup, "utc") &&
                 text_(backup, "local") && (serial.isString() || serial.isNull()) &&
                 root.value(QStringLiteral("raw")).isObject();
    for (auto it = raw.begin(); whole && it != raw.end(); ++it)
        whole = it.value().isString();
    if (!whole) return fail(path + ": a damaged backup (its unit, time or raw values are missing)");

    out.identity = params::TIdentity::FromVersion(
        unit.value(QStringLiteral("firmware")).toString().toStdString(),
        unit.value(QStringLiteral("model")).toString().toStdString());
    if (serial.isString()) out.serial = serial.toString().toStdString();
    out.utc = backup.value(QStringLiteral("utc")).toString().toStdString();
    out.local = backup.value(QStringLiteral("local")).toString().toStdString();
    for (auto it = raw.begin(); it != raw.end(); ++it)
        out.raw[it.key().toStdString()] = it.value().toString().toStdString();
    out.marked = true;
    return out;
}

} // namespace store
