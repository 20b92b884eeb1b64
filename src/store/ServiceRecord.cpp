#include "store/ServiceRecord.h"

#include "link/Text.h"
#include "store/DataFolder.h"
#include "store/QtText.h"
#include "store/RecordFields.h"
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

} // namespace

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

} // namespace store
