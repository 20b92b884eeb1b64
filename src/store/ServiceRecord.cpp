#include "store/ServiceRecord.h"

#include "link/Text.h"
#include "store/DataFolder.h"
#include "store/QtText.h"
#include "store/Requests.h"
#include "store/UnitJson.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
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

// The fields in their order, for the JSON line and the spreadsheet alike.
struct TField {
    const char* name;
    std::string TRecordEntry::*text = nullptr;
    std::optional<std::string> TRecordEntry::*maybe = nullptr;
    TNamedValues TRecordEntry::*values = nullptr;
};
constexpr TField kFields[] = {
    {"utc", &TRecordEntry::utc},
    {"local", &TRecordEntry::local},
    {"tool", &TRecordEntry::tool},
    {"run", &TRecordEntry::run},
    {"serial", nullptr, &TRecordEntry::serial},
    {"model", &TRecordEntry::model},
    {"firmware", &TRecordEntry::firmware},
    {"language", &TRecordEntry::language},
    {"result", &TRecordEntry::result},
    {"before", nullptr, nullptr, &TRecordEntry::before},
    {"chosen", nullptr, nullptr, &TRecordEntry::chosen},
    {"written", nullptr, nullptr, &TRecordEntry::written},
    {"command", nullptr, &TRecordEntry::command},
    {"reply", nullptr, &TRecordEntry::reply},
    {"backup", nullptr, &TRecordEntry::backup},
};

QJsonObject ToJson(const TRecordEntry& e) {
    QJsonObject o;
    for (const TField& f : kFields) {
        const QString key = QLatin1String(f.name);
        if (f.text) {
            o[key] = Q(e.*f.text);
        } else if (f.maybe) {
            o[key] = e.*f.maybe ? QJsonValue(Q(*(e.*f.maybe))) : QJsonValue();
        } else {
            QJsonObject values;
            for (const auto& [name, value] : e.*f.values)
                values[Q(name)] = Q(value);
            o[key] = values;
        }
    }
    if (e.simulated) o[QStringLiteral("simulated")] = true;
    if (e.port) o[QStringLiteral("port")] = Q(*e.port);
    return o;
}

// Nothing unless every field is there with its type.
std::optional<TRecordEntry> FromJson(const QJsonObject& o) {
    TRecordEntry e;
    for (const TField& f : kFields) {
        const QJsonValue v = o.value(QLatin1String(f.name));
        if (f.text) {
            if (!v.isString()) return std::nullopt;
            e.*f.text = v.toString().toStdString();
        } else if (f.maybe) {
            if (!v.isString() && !v.isNull()) return std::nullopt;
            if (v.isString()) e.*f.maybe = v.toString().toStdString();
        } else {
            if (!v.isObject()) return std::nullopt;
            const QJsonObject values = v.toObject();
            for (auto it = values.begin(); it != values.end(); ++it) {
                if (!it.value().isString()) return std::nullopt;
                (e.*f.values)[it.key().toStdString()] = it.value().toString().toStdString();
            }
        }
    }
    // Lines written before simulated units had a place of their own carry no such field.
    const QJsonValue simulated = o.value(QStringLiteral("simulated"));
    if (!simulated.isUndefined() && !simulated.isBool()) return std::nullopt;
    e.simulated = simulated.toBool(false);
    const QJsonValue port = o.value(QStringLiteral("port"));
    if (!port.isUndefined() && !port.isString()) return std::nullopt;
    if (port.isString()) e.port = port.toString().toStdString();
    return e;
}

// This process's appends, one at a time, whatever record each goes to (two names may be one
// file): the lock file keeps other processes out, and a thread of this one never meets
// another's lock file, so never waits on it for nothing nor takes it for one left behind.
// Taken in turn until the deadline, which the wait for the lock file shares.
class TAppendTurn {
  public:
    explicit TAppendTurn(std::chrono::steady_clock::time_point deadline) {
        TTurns& turns = Turns();
        std::unique_lock<std::mutex> lock(turns.mutex);
        taken_ = turns.free.wait_until(lock, deadline, [&turns] { return !turns.busy; });
        if (taken_) turns.busy = true;
    }
    ~TAppendTurn() {
        if (!taken_) return;
        TTurns& turns = Turns();
        {
            const std::lock_guard<std::mutex> lock(turns.mutex);
            turns.busy = false;
        }
        turns.free.notify_one();
    }
    TAppendTurn(const TAppendTurn&) = delete;
    TAppendTurn& operator=(const TAppendTurn&) = delete;
    explicit operator bool() const { return taken_; }

  private:
    struct TTurns {
        std::mutex mutex;
        std::condition_variable free;
        bool busy = false;
    };
    static TTurns& Turns() {
        static TTurns turns;
        return turns;
    }
    bool taken_ = false;
};

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

std::string RecordPath() {
    return QDir(Q(DataFolder())).filePath(QStringLiteral("service-record.jsonl")).toStdString();
}

std::string AppendRecord(const std::string& path, const TRecordEntry& entry) {
    using std::chrono::steady_clock;
    const steady_clock::time_point deadline = steady_clock::now() + std::chrono::seconds(10);
    const TAppendTurn turn(deadline);
    if (!turn) return "the service record is locked (" + path + ".lock)";
    const QString file = Q(path);
    const QString folder = QFileInfo(file).absolutePath();
    if (!QDir().mkpath(folder)) return "folder not writable: " + folder.toStdString();
    // The window and the command line may append at the same moment.
    QLockFile lock(file + QStringLiteral(".lock"));
    // Only a holder that no longer runs makes a lock stale, not its age.
    lock.setStaleLockTime(0);
    while (!lock.tryLock(0)) {
        if (lock.error() != QLockFile::LockFailedError)
            return "cannot lock " + path + ".lock (" +
                   (lock.error() == QLockFile::PermissionError ? "permission denied"
                                                               : "unknown error") +
                   ")";
        // A run killed as it made the lock leaves it empty. A live one fills it at once, and
        // keeps it locked so that it is not removed under it.
        qint64 pid = 0;
        QString host, application;
        const QDateTime made = QFileInfo(file + QStringLiteral(".lock")).lastModified();
        if (!lock.getLockInfo(&pid, &host, &application) && made.isValid() &&
            qAbs(made.msecsTo(QDateTime::currentDateTime())) > 1000 && lock.removeStaleLockFile())
            continue;
        if (steady_clock::now() >= deadline)
            return "the service record is locked (" + path + ".lock)";
        QThread::msleep(20);
    }
    QByteArray line = QJsonDocument(ToJson(entry)).toJson(QJsonDocument::Compact) + '\n';
    QFile record(file);
    if (record.open(QIODevice::ReadOnly)) {
        // A crash tore the last line: this one begins on a line of its own.
        char last = '\n';
        if (record.size() > 0 && record.seek(record.size() - 1)) record.getChar(&last);
        if (last != '\n') line.prepend('\n');
        record.close();
    }
    // Unbuffered: the whole line goes to the file in one write, appended where the file ends.
    if (!record.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return "cannot open " + path + " (" + record.errorString().toStdString() + ")";
    const bool written = record.write(line) == line.size() && record.flush();
    const std::string why = record.errorString().toStdString();
    record.close();
    if (!written) return "cannot write " + path + " (" + why + ")";
    return {};
}

TRecord ReadRecord(const std::string& path) {
    TRecord out;
    QFile file(Q(path));
    if (!file.exists()) return out;
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = "cannot open " + path + " (" + file.errorString().toStdString() + ")";
        return out;
    }
    const auto take = [&out](const QByteArray& bytes) {
        const QByteArray line = bytes.trimmed();
        if (line.isEmpty()) return;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        const auto entry = error.error == QJsonParseError::NoError && doc.isObject()
                               ? FromJson(doc.object())
                               : std::nullopt;
        if (entry)
            out.entries.push_back(*entry);
        else
            ++out.skipped;
    };
    // In pieces: a line longer than kMaxRecordLine is dropped as it grows, never held whole.
    QByteArray line;
    bool overLong = false;
    const auto end = [&] {
        if (overLong)
            ++out.skipped;
        else
            take(line);
        line.clear();
        overLong = false;
    };
    std::vector<char> piece(1 << 20);
    for (;;) {
        const qint64 n = file.read(piece.data(), static_cast<qint64>(piece.size()));
        if (n < 0)
            out.error = "cannot read " + path + " (" + file.errorString().toStdString() + ")";
        if (n <= 0) break;
        const char* at = piece.data();
        const char* const stop = at + n;
        while (at < stop) {
            const auto* newline = static_cast<const char*>(
                std::memchr(at, '\n', static_cast<std::size_t>(stop - at)));
            const char* const upTo = newline ? newline : stop;
            if (!overLong && line.size() + (upTo - at) > kMaxRecordLine) {
                overLong = true;
                line = QByteArray();
            }
            if (!overLong) line.append(at, upTo - at);
            if (!newline) break;
            end();
            at = newline + 1;
        }
    }
    if (overLong || !line.isEmpty()) end();
    return out;
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
