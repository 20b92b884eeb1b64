#include "store/Backups.h"

#include "files/FileText.h"
#include "link/Text.h"
#include "store/DataFolder.h"
#include "store/QtText.h"
#include "store/UnitJson.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <tuple>
#include <utility>

namespace store {

namespace {

constexpr std::size_t kMaxName = 64;
constexpr int kNumberDigits = 6;

std::string PathIn(const std::string& folder, const std::string& name) {
    return QDir(Q(folder)).filePath(Q(name)).toStdString();
}

// FNV-1a, 64 bits: stable across runs and systems, to keep apart serial numbers too long to
// be spelt out.
std::string Hash(std::string_view text) {
    std::uint64_t h = 14695981039346656037u;
    for (char c : text)
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211u;
    char out[17];
    std::snprintf(out, sizeof out, "%016llX", static_cast<unsigned long long>(h));
    return out;
}

bool Kept(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

// Every byte of the serial either as it is or as "_XX", so the serial can be spelt back from
// the name: no two serials share one. No lower-case letter is left, so neither do they on a
// file system that ignores case. "_" followed by anything but two hex digits never occurs.
std::string SerialName(std::string_view serial) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    // Windows gives these names to devices, whatever follows them.
    static constexpr std::string_view kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    const bool device =
        std::find(std::begin(kDevices), std::end(kDevices), serial) != std::end(kDevices) ||
        (serial.size() == 4 && (serial.starts_with("COM") || serial.starts_with("LPT")) &&
         serial[3] >= '0' && serial[3] <= '9');
    std::string name;
    for (std::size_t i = 0; i < serial.size(); ++i) {
        const char c = serial[i];
        // Neither an option to a shell command ("-x") nor a device's name.
        if (Kept(c) && !(i == 0 && (c == '-' || device))) {
            name += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        name += '_';
        name += kHex[byte >> 4];
        name += kHex[byte & 0xF];
    }
    if (name.size() <= kMaxName) return name;
    // Cut before an escape, not inside one; "_H" is no escape, so no spelt-out name has it.
    std::size_t cut = kMaxName - 18;
    if (const std::size_t escape = name.rfind('_', cut - 1);
        escape != std::string::npos && escape + 3 > cut)
        cut = escape;
    return name.substr(0, cut) + "_H" + Hash(serial);
}

// The name of the units whose serial number was not read: a '.' is always escaped in a
// serial's name, so none is ever called so.
std::string NoSerialName(const params::TIdentity& identity) {
    std::string name = "no-serial.";
    for (char c :
         identity.model.empty() ? identity.version : identity.model + " " + identity.version)
        name += Kept(c) || (c >= 'a' && c <= 'z') ? c : '-';
    // Windows drops a name's last '.', which would leave a name a serial could have.
    if (name.back() == '.') name += "unknown";
    return name.substr(0, kMaxName);
}

// How the tool named a unit's backups before names were escaped one to one; still listed
// when the content names the unit's serial.
std::string OldName(std::string_view text) {
    const auto safe = [](char c) {
        return Kept(c) || (c >= 'a' && c <= 'z') || c == '.' || c == '_';
    };
    std::string name;
    bool changed = text.empty() || text.front() == '.' || text.size() > kMaxName;
    for (char c : text) {
        changed = changed || (!safe(c) && c != ' ');
        name += safe(c) ? c : '_';
    }
    if (!changed) return name;
    name.resize(std::min(name.size(), kMaxName - 9));
    if (name.empty()) name = "unit";
    if (name.front() == '.') name.front() = '_';
    std::uint32_t h = 2166136261u;
    for (char c : text)
        h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    char out[10];
    std::snprintf(out, sizeof out, "-%08x", h);
    return name + out;
}

// "20261208-140102" of the local date and time.
std::string Stamp(std::int64_t wallMs) {
    return QDateTime::fromMSecsSinceEpoch(wallMs, QTimeZone::utc())
        .toString(QStringLiteral("yyyyMMdd-HHmmss"))
        .toStdString();
}

std::string NumberText(std::uint64_t number) {
    std::string text = std::to_string(number);
    if (text.size() < kNumberDigits) text.insert(0, kNumberDigits - text.size(), '0');
    return text;
}

bool Digits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A backup's file name taken apart.
struct TName {
    std::uint64_t number = 0; // NAME_NNNNNN_...; 0 for the older names without one
    std::string stamp;        // "20261208-140102"
    int taken = 1;            // the older names' "-2", "-3" for a second in which one was taken
    auto Order() const { return std::tie(number, stamp, taken); }
};

bool IsStamp(std::string_view s) {
    return s.size() == 15 && Digits(s.substr(0, 8)) && s[8] == '-' && Digits(s.substr(9, 6));
}

// False for a file of another unit or anything else.
bool ParseBackupName(std::string_view name, std::string_view unit, TName& out) {
    if (!name.starts_with(unit) || name.substr(unit.size(), 1) != "_" || !name.ends_with(".json"))
        return false;
    std::string_view rest = name.substr(unit.size() + 1, name.size() - unit.size() - 6);
    out = {};
    if (const std::size_t sep = rest.find('_'); sep != std::string_view::npos) {
        const std::string_view number = rest.substr(0, sep);
        if (number.size() < kNumberDigits || number.size() > 18 || !Digits(number) ||
            !IsStamp(rest.substr(sep + 1)))
            return false;
        out.number = std::stoull(std::string(number));
        out.stamp = rest.substr(sep + 1);
        return out.number > 0;
    }
    if (rest.size() < 15 || !IsStamp(rest.substr(0, 15))) return false;
    out.stamp = rest.substr(0, 15);
    if (rest.size() == 15) return true;
    const std::string_view suffix = rest.substr(15);
    if (suffix.size() < 2 || suffix.size() > 6 || suffix[0] != '-' || !Digits(suffix.substr(1)))
        return false;
    out.taken = std::stoi(std::string(suffix.substr(1)));
    return out.taken >= 2;
}

// The command's key: "SPAR Led " -> "Led".
std::string RawKey(std::string_view command) {
    if (command.starts_with("SPAR ")) command.remove_prefix(5);
    while (!command.empty() && command.back() == ' ')
        command.remove_suffix(1);
    return std::string(command);
}

struct TFound {
    TName name;
    TBackupFile file;
};

// The unit's backups in each (folder, name), newest first.
std::vector<TFound> Find(const std::vector<std::pair<std::string, std::string>>& places) {
    std::vector<TFound> found;
    std::set<std::string> seen;
    for (const auto& [folder, unit] : places) {
        const QDir dir(Q(folder));
        for (const QString& entry :
             dir.entryList({Q(unit) + QStringLiteral("_*.json")}, QDir::Files)) {
            const std::string name = entry.toStdString();
            TName parsed;
            if (!ParseBackupName(name, unit, parsed)) continue;
            const std::string path = PathIn(folder, name);
            if (!seen.insert(path).second) continue;
            const std::string& s = parsed.stamp;
            const std::string local = s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2) +
                                      "T" + s.substr(9, 2) + ":" + s.substr(11, 2) + ":" +
                                      s.substr(13, 2);
            found.push_back({std::move(parsed), {path, local}});
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const TFound& a, const TFound& b) {
        return a.name.Order() > b.name.Order();
    });
    return found;
}

std::vector<std::pair<std::string, std::string>> PlacesOf(const std::string& folder,
                                                          const std::string& unit) {
    return {{PathIn(folder, unit), unit}, {folder, unit}};
}

std::vector<TBackupFile> Files(std::vector<TFound> found) {
    std::vector<TBackupFile> out;
    for (TFound& f : found)
        out.push_back(std::move(f.file));
    return out;
}

// The backup as it must read back: the unit's identity, serial, settings and raw values.
struct TExpected {
    params::TIdentity identity;
    std::string serial; // as "show --json" has it; empty: not read
    std::vector<std::pair<TSetting, std::string>> settings;
    std::map<std::string, std::string> raw;
};

TExpected ExpectedOf(const core::TConversation& c) {
    TExpected e{c.Identity(), UnitFacts(c).serial, {}, {}};
    if (c.Supported())
        for (const TSettingInfo& info : kSettings)
            if (!params::SettingValues(info.id, c.Identity()).empty())
                if (const auto value = HeldValue(c, info.id))
                    e.settings.emplace_back(info.id, *value);
    for (const auto& [command, value] : c.UnitValues().All())
        e.raw[RawKey(command)] = Escaped(core::Latin1ToUtf8(value));
    return e;
}

bool OfSerial(const TBackup& backup, const std::string& serial) {
    return !serial.empty() && backup.serial.value_or("") == serial;
}

// Conversations of this process back up one unit's folder one after the other: units whose
// serial number was not read share it, and so do two that report one serial, and two at once
// would both take the number one past the highest.
std::mutex& UnitTurn(const std::string& unitFolder) {
    static std::mutex guard;
    static std::map<std::string, std::mutex> turns; // by the folder's absolute path
    const std::lock_guard<std::mutex> lock(guard);
    return turns[QDir::cleanPath(QFileInfo(Q(unitFolder)).absoluteFilePath()).toStdString()];
}

// Whatever the backup holds: no settings is not yet a failure here.
TBackup ParseWhole(std::string_view text, const std::string& path);

// One line on what the backup read back lacks; empty when it is whole.
std::string Lacks(const TBackup& backup, const TExpected& e) {
    if (!backup) return backup.error;
    if (backup.identity.model != e.identity.model ||
        backup.identity.version != e.identity.version || backup.serial.value_or("") != e.serial)
        return "it names another unit";
    std::vector<std::pair<TSetting, std::string>> settings;
    for (const TRequest& r : backup.requests)
        settings.emplace_back(r.setting, r.value);
    std::vector<std::pair<TSetting, std::string>> expected = e.settings;
    std::sort(settings.begin(), settings.end());
    std::sort(expected.begin(), expected.end());
    if (settings != expected) return "its settings are not the unit's";
    if (backup.raw != e.raw) return "its raw values are not the unit's";
    return {};
}

} // namespace

std::string BackupFolder() {
    return PathIn(DataFolder(), "backups");
}

std::string UnitFileName(const std::optional<std::string>& serial,
                         const params::TIdentity& identity) {
    if (serial && SerialRead(*serial)) return SerialName(*serial);
    return NoSerialName(identity);
}

std::string UnitFileName(const core::TConversation& conversation) {
    return UnitFileName(conversation.Serial(), conversation.Identity());
}

TBackupWritten WriteBackup(const core::TConversation& c, const std::string& folder,
                           const core::TTimePoint& now, const std::string& tool, int keep) {
    // What the unit holds, not what the user has chosen for the run about to write.
    const TExpected expected = ExpectedOf(c);
    QJsonObject root = UnitJson(c, c.Supported(), TValueOf::Unit);
    QJsonObject raw;
    for (const auto& [key, value] : expected.raw)
        raw[Q(key)] = Q(value);
    root[QStringLiteral("raw")] = raw;
    QJsonObject backup;
    backup[QStringLiteral("utc")] = Q(UtcText(now));
    backup[QStringLiteral("local")] = Q(LocalText(now));
    backup[QStringLiteral("tool")] = Q(tool);
    backup[QStringLiteral("product")] = Q(kProduct);
    root[QStringLiteral("backup")] = backup;
    const QByteArray json = QJsonDocument(root).toJson(QJsonDocument::Indented);
    const std::string text(json.constData(), static_cast<std::size_t>(json.size()));

    // Each unit's backups have a folder of their own: keeping the newest few looks at that
    // unit's files only, however many units the folder has seen.
    const std::string unit = UnitFileName(c);
    const std::string unitFolder = PathIn(folder, unit);
    if (!QDir().mkpath(Q(unitFolder))) return {{}, "folder not writable: " + folder};
    const std::lock_guard<std::mutex> turn(UnitTurn(unitFolder));
    std::uint64_t number = 1;
    for (const TFound& f : Find({{unitFolder, unit}}))
        number = std::max(number, f.name.number + 1);
    std::string path;
    for (int tries = 0;; ++tries, ++number) {
        path =
            PathIn(unitFolder, unit + "_" + NumberText(number) + "_" + Stamp(now.wallMs) + ".json");
        // Written under a name no listing takes, and named only once it reads back whole: a
        // run cut short (a full disk, a file-size limit, a kill) leaves no backup that
        // restore could take for the unit's settings.
        const std::string temporary =
            PathIn(unitFolder, "." + QDir(Q(path)).dirName().toStdString() + ".part");
        const auto failed = [&](const std::string& why) {
            QFile::remove(Q(temporary));
            return TBackupWritten{{}, "backup not written: " + path + " (" + why + ")"};
        };
        std::string why = files::WriteNewFile(temporary, text);
        if (why == files::kExists && tries < 100) continue; // another run's, or one cut short
        if (!why.empty()) return {{}, "backup not written: " + path + " (" + why + ")"};
        const files::TFileText back = files::ReadFileText(temporary);
        if (!back) return failed("not read back: " + back.why);
        if (*back.text != text) return failed("it read back other than written");
        if (const std::string lacks = Lacks(ParseWhole(*back.text, path), expected); !lacks.empty())
            return failed("read back, " + lacks);
        why = files::MoveNoReplace(temporary, path);
        if (why == files::kExists && tries < 100) {
            QFile::remove(Q(temporary));
            continue;
        }
        if (!why.empty()) return failed(why);
        break;
    }
    // Only once a whole backup is in place; the one just written has the highest number, so
    // it is the newest, whatever the clock says. Files that are no good backup of this unit
    // are neither counted nor removed; a unit without a serial number may be any unit of its
    // model, so none of those is ever removed.
    if (keep > 0 && !expected.serial.empty()) {
        int kept = 0;
        for (const TFound& f : Find({{unitFolder, unit}})) {
            const TBackup old = ReadBackup(f.file.path);
            if (old && OfSerial(old, expected.serial) && ++kept > keep)
                QFile::remove(Q(f.file.path));
        }
    }
    return {path, {}};
}

std::vector<TBackupFile> ListBackups(const std::string& folder, const std::string& unitFileName) {
    return Files(Find(PlacesOf(folder, unitFileName)));
}

std::vector<TBackupFile> RestorableBackups(const std::string& folder,
                                           const core::TConversation& c) {
    const std::string serial = UnitFacts(c).serial;
    if (serial.empty()) return {};
    const std::string unit = UnitFileName(c);
    auto places = PlacesOf(folder, unit);
    if (const std::string old = OldName(*c.Serial()); old != unit) {
        const auto more = PlacesOf(folder, old);
        places.insert(places.end(), more.begin(), more.end());
    }
    std::vector<TFound> found = Find(places);
    std::erase_if(found, [&](const TFound& f) {
        const TBackup backup = ReadBackup(f.file.path);
        return !backup || !OfSerial(backup, serial);
    });
    return Files(std::move(found));
}

std::string ReadError(const files::TFileText& file, const std::string& path,
                      std::string_view what) {
    return path + ": " +
           (file.error == files::TFileError::TooLarge ? "too large for " + std::string(what)
                                                      : file.why);
}

TBackup ReadBackup(const std::string& path, files::TStopCheck stop) {
    const files::TFileText file = files::ReadFileText(path, files::kMaxFileBytes, stop);
    if (!file) {
        TBackup out;
        out.error = ReadError(file, path, "a backup");
        return out;
    }
    return ParseBackup(*file.text, path);
}

TBackup ParseBackup(std::string_view text, const std::string& path) {
    TBackup out = ParseWhole(text, path);
    if (out && out.requests.empty()) {
        out = {};
        out.error = path + ": a backup that holds no settings";
        out.marked = true;
    }
    return out;
}

namespace {

TBackup ParseWhole(std::string_view text, const std::string& path) {
    TBackup out;
    bool marked = false;
    const auto fail = [&](std::string why) {
        out = {};
        out.error = std::move(why);
        out.marked = marked;
        return out;
    };
    const std::string notBackup = path + ": not a backup of the " + std::string(kProduct);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(
        QByteArray(text.data(), static_cast<qsizetype>(text.size())), &error);
    if (error.error != QJsonParseError::NoError) {
        // JSON cut short or damaged: the settings file's message says where.
        const TRequests parsed = ParseSettingsText(text, path);
        const std::size_t first = text.find_first_not_of(" \t\r\n");
        const bool json = first != std::string_view::npos && text[first] == '{';
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

} // namespace

} // namespace store
