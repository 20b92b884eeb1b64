// The service record: how each way a run ends is written down, lines that survive a crash
// and many writers appending at once, the spreadsheet, and the journal that a front end
// plugs into the conversation.
#include "StoreCases.h"
#include "store/DataFolder.h"
#include "store/Journal.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <csignal>
#include <latch>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace store_cases;
using core::TRunEnd;
using core::TRunKind;
using testing_support::TCoreRig;

namespace {

#if defined(__linux__)
std::optional<rlimit> gSavedLimit; // the file size limit a test lowered
#endif

store::TRecordEntry Entry(std::string tool) {
    store::TRecordEntry e;
    e.utc = "2026-12-08T05:01:02Z";
    e.local = "2026-12-08T14:01:02+09:00";
    e.tool = std::move(tool);
    e.run = "apply";
    e.serial = "201036-4711";
    e.model = "DW730 TONAL";
    e.firmware = "201036";
    e.before = {{"volume", "3"}, {"recorder", "off"}};
    e.chosen = {{"volume", "4"}};
    e.written = {{"volume", "4"}, {"recorder", "off"}};
    e.result = "saved";
    return e;
}

void AppendBytes(const std::string& path, const char* bytes) {
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(bytes);
}

// ---- how a run ended -------------------------------------------------------------------------

struct TEnding {
    const char* name;
    void (*fault)(sim::Faults&, int commandsTaken);
    TRunEnd end;
    const char* result;
    const char* command; // the refusal recorded; nullptr: none
    bool written;        // some setting was written
};

void PrintTo(const TEnding& e, std::ostream* os) {
    *os << e.name;
}

class Ending : public ::testing::TestWithParam<TEnding> {};

TEST_P(Ending, IsRecordedAsItsResult) {
    const TEnding& p = GetParam();
    TCoreRig rig;
    Connect(rig, sim::MakeProfile("DW730 TONAL", "201036"));
    core::TConversation& c = rig.conversation;
    p.fault(rig.sim->MutableFaults(), static_cast<int>(rig.sim->Received().size()));
    c.Choose(params::TSetting::Volume, 0);
    c.PressApply();
    const store::TRunStart start = store::RunStart(c, TRunKind::Apply);
    rig.Steps(3000);

    const store::TRecordEntry e =
        store::MakeEntry(c, TRunKind::Apply, p.end, start, rig.clock.Now(), "t 1");
    EXPECT_EQ(e.result, p.result);
    ASSERT_EQ(e.command.has_value(), p.command != nullptr);
    if (p.command) {
        EXPECT_TRUE(e.command->starts_with(p.command)) << *e.command;
        ASSERT_TRUE(e.reply.has_value());
        EXPECT_TRUE(e.reply->starts_with("NG")) << *e.reply;
    }
    // What the unit held and what the run was for stay, even once the unit is gone.
    EXPECT_EQ(e.serial, std::optional<std::string>("SV0000000001"));
    EXPECT_EQ(e.model, "DW730 TONAL");
    EXPECT_EQ(e.chosen, (store::TNamedValues{{"volume", "1"}}));
    EXPECT_EQ(e.before.size(), 5u); // every setting of the unit
    EXPECT_NE(e.before.at("volume"), "1");
    EXPECT_EQ(!e.written.empty(), p.written);
    if (p.written) {
        EXPECT_EQ(e.written.at("volume"), "1");
    }
    EXPECT_EQ(e.local, "2026-12-08T14:01:05+09:00");
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Ending,
    ::testing::Values(
        TEnding{"Saved", [](sim::Faults&, int) {}, TRunEnd::Saved, "saved", nullptr, true},
        TEnding{"Refused", [](sim::Faults& f, int) { f.ng = {"SPAR RecordSw"}; }, TRunEnd::Refused,
                "refused", "SPAR RecordSw ", true},
        TEnding{"SaveRefused", [](sim::Faults& f, int) { f.ng = {"SAVE"}; }, TRunEnd::Refused,
                "save not confirmed", nullptr, true},
        TEnding{"SaveUnanswered", [](sim::Faults& f, int) { f.silent = {"SAVE"}; },
                TRunEnd::Abandoned, "save not confirmed", nullptr, true},
        TEnding{"Unfinished", [](sim::Faults& f, int) { f.silent = {"SPAR RecordSw"}; },
                TRunEnd::Abandoned, "not finished", nullptr, true},
        TEnding{"WentAway", [](sim::Faults& f, int taken) { f.vanishAfter = taken + 3; },
                TRunEnd::WentAway, "went away", nullptr, true},
        TEnding{"WriteFailed", [](sim::Faults& f, int) { f.silent = {"SPAR"}; },
                TRunEnd::WriteFailed, "write failed", nullptr, false}),
    [](const auto& param) { return std::string(param.param.name); });

// ---- the file --------------------------------------------------------------------------------

TEST(Record, LeavesALineTornByACrashBehindAndLosesNoEntry) {
    const TDataHome home;
    const std::string path = home.Path("data/record.jsonl");
    ASSERT_EQ(store::AppendRecord(path, Entry("first")), "");
    AppendBytes(path, "{\"utc\": \"2026-12-08T05:0"); // the crash
    store::TRecordEntry second = Entry("second");
    second.serial.reset();
    second.result = "refused";
    second.command = "SPAR RecordSw 1";
    second.reply = "NG\r\n";
    ASSERT_EQ(store::AppendRecord(path, second), "");
    AppendBytes(path, "[1, 2]\n{\"utc\": 5}\n\n");

    const store::TRecord record = store::ReadRecord(path);
    EXPECT_EQ(record.error, "");
    EXPECT_EQ(record.entries, (std::vector<store::TRecordEntry>{Entry("first"), second}));
    EXPECT_EQ(record.skipped, 3);
    EXPECT_EQ(store::OfSerial(record.entries, "201036-4711").size(), 1u);
    EXPECT_TRUE(store::ReadRecord(home.Path("none.jsonl")).entries.empty());
}

// Threads of one process take turns; another process meets the lock file. Every line is
// kept whole, none is lost and none refused.
TEST(Record, TakesManyWritersAtOnceLineByLine) {
    const TDataHome home;
    const std::string path = home.Path("record.jsonl");
    constexpr int kThreads = 8, kLines = 50;
    // Each writer's first failure; empty: none.
    const auto write = [&](const std::string& writer) {
        for (int i = 0; i < kLines; ++i)
            if (std::string error =
                    store::AppendRecord(path, Entry(writer + "-" + std::to_string(i)));
                !error.empty())
                return error;
        return std::string();
    };
    std::vector<std::string> writers, errors(kThreads);
    for (int t = 0; t < kThreads; ++t)
        writers.push_back("thread" + std::to_string(t));
#if !defined(_WIN32)
    // Forked before any thread starts, so that it has one thread of its own; it begins with
    // them.
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    const pid_t other = ::fork();
    if (other == 0) {
        char byte = 0;
        ::_exit(::read(go[0], &byte, 1) == 1 && write("process").empty() ? 0 : 1);
    }
    ASSERT_GT(other, 0);
    writers.push_back("process");
#endif
    {
        std::latch start(kThreads + 1);
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                errors[static_cast<std::size_t>(t)] = write(writers[static_cast<std::size_t>(t)]);
            });
#if !defined(_WIN32)
        EXPECT_EQ(::write(go[1], "", 1), 1);
#endif
        start.arrive_and_wait();
    }
    EXPECT_EQ(errors, std::vector<std::string>(kThreads));
#if !defined(_WIN32)
    ::close(go[0]);
    ::close(go[1]);
    int status = -1;
    ASSERT_EQ(::waitpid(other, &status, 0), other);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process failed";
#endif
    const store::TRecord record = store::ReadRecord(path);
    EXPECT_EQ(record.skipped, 0);
    ASSERT_EQ(record.entries.size(), writers.size() * kLines);
    std::set<std::string> tools; // each line once
    for (const auto& e : record.entries) {
        EXPECT_EQ(e, Entry(e.tool));
        tools.insert(e.tool);
    }
    EXPECT_EQ(tools.size(), record.entries.size());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path + ".lock")));
}

TEST(RecordCsv, QuotesWhatASpreadsheetWouldSplit) {
    store::TRecordEntry e = Entry("tool, \"quoted\"");
    e.language = "line\nbreak";
    e.chosen.clear();
    EXPECT_EQ(store::RecordCsv({e}),
              "utc,local,tool,run,serial,model,firmware,language,result,before,chosen,written,"
              "command,reply,backup,simulated\r\n"
              "2026-12-08T05:01:02Z,2026-12-08T14:01:02+09:00,\"tool, \"\"quoted\"\"\",apply,"
              "201036-4711,DW730 TONAL,201036,\"line\nbreak\",saved,recorder=off; volume=3,,"
              "recorder=off; volume=4,,,,\r\n");
}

// A field from the unit that a spreadsheet would take for a formula is shown as text.
struct TCsvSerial {
    const char* name;
    std::string serial;
    std::string field; // as the spreadsheet's serial column has it
};

void PrintTo(const TCsvSerial& t, std::ostream* out) {
    *out << t.name;
}

class CsvSerial : public ::testing::TestWithParam<TCsvSerial> {};

TEST_P(CsvSerial, ReachesTheSpreadsheetAsText) {
    const TCsvSerial& t = GetParam();
    store::TRecordEntry e = Entry("t");
    e.serial = t.serial;
    e.backup = t.serial + "_1.json";
    e.simulated = true;
    const std::string csv = store::RecordCsv({e});
    const std::string row = csv.substr(csv.find("\r\n") + 2);
    EXPECT_NE(row.find(",apply," + t.field + ",DW730 TONAL,"), std::string::npos) << row;
    EXPECT_TRUE(row.ends_with(",yes\r\n")) << row;
}

INSTANTIATE_TEST_SUITE_P(
    Serials, CsvSerial,
    ::testing::Values(TCsvSerial{"Equals", "=1+2", "\"'=1+2\""},
                      TCsvSerial{"Plus", "+1", "\"'+1\""}, TCsvSerial{"Minus", "-1", "\"'-1\""},
                      TCsvSerial{"At", "@SUM(A1)", "\"'@SUM(A1)\""},
                      TCsvSerial{"Tab", "\t1", "\"'\t1\""},
                      TCsvSerial{"CarriageReturn", "\r1", "\"'\r1\""},
                      TCsvSerial{"QuoteAndFormula", "=\"a\",1", "\"'=\"\"a\"\",1\""},
                      TCsvSerial{"FormulaSignInside", "SV=1", "SV=1"}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- reading a record that is not what it should be -----------------------------------------

TEST(Record, SkipsAnOverLongLineWithoutHoldingItAndReadsOn) {
    const TDataHome home;
    const std::string path = home.Path("record.jsonl");
    ASSERT_EQ(store::AppendRecord(path, Entry("first")), "");
    // A few hundred MB of zeros (a sparse file: quick to make and to read), then a JSON line
    // just over the limit, both skipped as damaged lines.
    {
        QFile file(QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.resize(file.size() + (200LL << 20)));
        ASSERT_TRUE(file.seek(file.size()));
        QByteArray longLine = "\n[\"";
        longLine.append(QByteArray(store::kMaxRecordLine, 'x'));
        longLine.append("\"]\n");
        ASSERT_EQ(file.write(longLine), longLine.size());
    }
    ASSERT_EQ(store::AppendRecord(path, Entry("second")), "");

#if defined(__linux__)
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
#endif
    const store::TRecord record = store::ReadRecord(path);
#if defined(__linux__)
    // Read in pieces: the process's peak memory does not grow by the zeros' size.
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kB";
#endif
    EXPECT_EQ(record.error, "");
    EXPECT_EQ(record.entries, (std::vector<store::TRecordEntry>{Entry("first"), Entry("second")}));
    EXPECT_EQ(record.skipped, 2);
}

// ---- a lock left behind ----------------------------------------------------------------------

struct TLeftLock {
    const char* name;
    QByteArray contents; // what the lock file holds; "PID" is a process that has ended
};

void PrintTo(const TLeftLock& t, std::ostream* out) {
    *out << t.name;
}

class LeftLock : public ::testing::TestWithParam<TLeftLock> {};

TEST_P(LeftLock, IsTakenOverAndTheLineKept) {
    const TDataHome home;
    const std::string path = home.Path("record.jsonl");
    QByteArray contents = GetParam().contents;
    if (contents.contains("PID")) {
#if defined(_WIN32)
        GTEST_SKIP() << "a process that has ended is made with fork()";
#else
        const pid_t child = ::fork();
        if (child == 0) ::_exit(0);
        ASSERT_GT(child, 0);
        ASSERT_EQ(::waitpid(child, nullptr, 0), child);
        contents.replace("PID", QByteArray::number(child));
        contents.replace("HOST", QSysInfo::machineHostName().toUtf8());
#endif
    }
    const QString lock = QString::fromStdString(path + ".lock");
    {
        QFile file(lock);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
        // Left by a run that ended a while ago.
        file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                         QFileDevice::FileModificationTime);
    }
    EXPECT_EQ(store::AppendRecord(path, Entry("after")), "");
    EXPECT_EQ(store::ReadRecord(path).entries, std::vector<store::TRecordEntry>{Entry("after")});
    EXPECT_FALSE(QFile::exists(lock));
}

INSTANTIATE_TEST_SUITE_P(Locks, LeftLock,
                         ::testing::Values(TLeftLock{"Empty", {}},
                                           TLeftLock{"OfAnEndedProcess",
                                                     "PID\nstore_tests\nHOST\n"}),
                         [](const auto& row) { return std::string(row.param.name); });

// What stops a line from being kept is said, never taken for success.
struct TUnwritable {
    const char* name;
    void (*make)(const std::string& path); // the record's path, made unwritable
    const char* error;                     // how the reason begins
};

void PrintTo(const TUnwritable& t, std::ostream* out) {
    *out << t.name;
}

class Unwritable : public ::testing::TestWithParam<TUnwritable> {};

TEST_P(Unwritable, RecordSaysWhy) {
    const TDataHome home;
    const std::string path = home.Path("data/record.jsonl");
    GetParam().make(path);
    const std::string error = store::AppendRecord(path, Entry("lost"));
#if defined(__linux__)
    if (gSavedLimit) {
        setrlimit(RLIMIT_FSIZE, &*gSavedLimit);
        gSavedLimit.reset();
    }
#endif
    EXPECT_TRUE(error.starts_with(GetParam().error)) << error;
}

const TUnwritable kUnwritable[] = {
    TUnwritable{"AFolder", [](const std::string& p) { QDir().mkpath(QString::fromStdString(p)); },
                "cannot open "},
    TUnwritable{"FolderIsAFile",
                [](const std::string& p) {
                    QFile(QFileInfo(QString::fromStdString(p)).path()).open(QIODevice::WriteOnly);
                },
                "folder not writable: "}
#if defined(__linux__)
    ,
    // A full disk, as a file size limit has it.
    TUnwritable{"Full",
                [](const std::string& p) {
                    QDir().mkpath(QFileInfo(QString::fromStdString(p)).path());
                    QFile(QString::fromStdString(p)).open(QIODevice::WriteOnly);
                    std::signal(SIGXFSZ, SIG_IGN);
                    rlimit limit{};
                    getrlimit(RLIMIT_FSIZE, &limit);
                    gSavedLimit = limit;
                    limit.rlim_cur = 200; // room for the lock's few lines, not the record's
                    setrlimit(RLIMIT_FSIZE, &limit);
                },
                "cannot write "}
#endif
};

INSTANTIATE_TEST_SUITE_P(Paths, Unwritable, ::testing::ValuesIn(kUnwritable),
                         [](const auto& row) { return std::string(row.param.name); });

// ---- the journal -----------------------------------------------------------------------------

// Volume set to the item through the journal, as a front end runs Apply.
void ApplyThrough(store::TJournal& journal, TCoreRig& rig, int item) {
    rig.conversation.Choose(params::TSetting::Volume, item);
    rig.conversation.PressApply();
    ASSERT_TRUE(journal.BeforeFirstWrite(TRunKind::Apply));
    ASSERT_TRUE(rig.RunToRest());
    journal.RunEnded(TRunKind::Apply, TRunEnd::Saved);
}

TEST(Journal, BacksUpBeforeTheRunAndRecordsItsEndInTheDataFolder) {
    const TDataHome home;
    TCoreRig rig;
    Connect(rig, sim::MakeProfile("DW730 TONAL", "201036"));
    std::vector<std::string> notes;
    store::TJournalOptions options;
    options.tool = "t 1";
    options.extraRecords = {home.Path("bench.jsonl")};
    options.runName = "restore";
    store::TJournal journal(options, rig.clock,
                            [&](const std::string& line) { notes.push_back(line); }, {});
    journal.Attach(rig.conversation);
    rig.conversation.Choose(params::TSetting::Volume, 0);
    rig.conversation.PressApply();
    ASSERT_TRUE(journal.BeforeFirstWrite(TRunKind::Apply));
    ASSERT_TRUE(rig.RunToRest());
    journal.RunEnded(TRunKind::Apply, TRunEnd::Saved);

    const std::string data = home.Path("Sonavelle/Customize");
    const std::string backup =
        data + "/backups/SV0000000001/SV0000000001_000001_20261208-140102.json";
    EXPECT_EQ(journal.LastBackup(), backup);
    EXPECT_EQ(journal.LastError(), "");
    EXPECT_EQ(notes, (std::vector<std::string>{
                         "Backup saved: " + backup,
                         "Service record: saved (" + data + "/service-record.jsonl)",
                         "Service record: saved (" + home.Path("bench.jsonl") + ")"}));
    // The backup holds what the unit held, not what the run was about to write.
    const store::TBackup held = store::ReadBackup(backup);
    ASSERT_TRUE(held) << held.error;
    EXPECT_EQ(store::Differences(held.requests, rig.conversation),
              std::vector<params::TSetting>{params::TSetting::Volume});
    for (const std::string& path : {data + "/service-record.jsonl", home.Path("bench.jsonl")}) {
        const store::TRecord record = store::ReadRecord(path);
        ASSERT_EQ(record.entries.size(), 1u) << path;
        EXPECT_EQ(record.entries[0].run, "restore");
        EXPECT_EQ(record.entries[0].backup, "SV0000000001_000001_20261208-140102.json");
        EXPECT_EQ(record.entries[0].written, (store::TNamedValues{{"air-check", "20/10"},
                                                                  {"dive-computer", "beep"},
                                                                  {"hands-free", "2"},
                                                                  {"voice-guide", "low"},
                                                                  {"volume", "1"}}));
    }
}

// One file under two names gets each line once; two files get it each.
struct TSecondName {
    const char* name;
    // Another name of dir/record.jsonl (made here), or another file; appended to dir.
    void (*make)(const QString& dir);
    const char* second;
    std::size_t lines; // in dir/record.jsonl
};

void PrintTo(const TSecondName& t, std::ostream* out) {
    *out << t.name;
}

class SecondName : public ::testing::TestWithParam<TSecondName> {};

TEST_P(SecondName, GetsTheRunOnceWhenItIsTheSameFile) {
    const TSecondName& t = GetParam();
    const TDataHome home;
    const QString dir = QString::fromStdString(home.Path("d"));
    ASSERT_TRUE(QDir().mkpath(dir + QStringLiteral("/sub")));
    ASSERT_TRUE(QFile(dir + QStringLiteral("/record.jsonl")).open(QIODevice::WriteOnly));
    t.make(dir);
    TCoreRig rig;
    Connect(rig, sim::MakeProfile("DW730 TONAL", "201036"));
    store::TJournalOptions options;
    options.record = (dir + QStringLiteral("/record.jsonl")).toStdString();
    options.extraRecords = {(dir + QString::fromLatin1(t.second)).toStdString()};
    options.backups = false;
    store::TJournal journal(options, rig.clock, {}, {});
    journal.Attach(rig.conversation);
    ApplyThrough(journal, rig, 0);
    EXPECT_EQ(journal.RecordError(), "");
    EXPECT_EQ(store::ReadRecord(options.record).entries.size(), t.lines);
    EXPECT_EQ(store::ReadRecord(options.extraRecords[0]).entries.size(), 1u);
}

const TSecondName kSecondNames[] = {
    TSecondName{"SameSpelling", [](const QString&) {}, "/record.jsonl", 1},
    TSecondName{"OtherSpelling", [](const QString&) {}, "/sub/.././record.jsonl", 1},
    TSecondName{"SymbolicLink",
                [](const QString& d) {
                    QFile::link(d + QStringLiteral("/record.jsonl"), d + QStringLiteral("/link"));
                },
                "/link", 1},
#if !defined(_WIN32)
    TSecondName{"HardLink",
                [](const QString& d) {
                    ::link(QFile::encodeName(d + QStringLiteral("/record.jsonl")).constData(),
                           QFile::encodeName(d + QStringLiteral("/hard")).constData());
                },
                "/hard", 1},
#endif
    TSecondName{"AnotherFile", [](const QString&) {}, "/sub/record.jsonl", 1}};

INSTANTIATE_TEST_SUITE_P(Names, SecondName, ::testing::ValuesIn(kSecondNames),
                         [](const auto& row) { return std::string(row.param.name); });

// A simulated unit's run is marked so, and takes its times from the journal's own clock
// (the PC's), not from the simulation's.
TEST(Journal, MarksASimulatedRunAndTakesItsTimesFromItsOwnClock) {
    const TDataHome home;
    TCoreRig rig;
    Connect(rig, sim::MakeProfile("DW730 TONAL", "201036"));
    testing_support::TManualClock pc;
    pc.SetWall(kWallMs + 86400000LL); // a day after the simulation's
    store::TJournalOptions options;
    options.simulated = true;
    options.clock = &pc;
    store::TJournal journal(options, rig.clock, {}, {});
    journal.Attach(rig.conversation);
    ApplyThrough(journal, rig, 0);
    EXPECT_TRUE(journal.LastBackup().ends_with("/SV0000000001_000001_20261209-140102.json"))
        << journal.LastBackup();
    const store::TRecord record = store::ReadRecord(store::RecordPath());
    ASSERT_EQ(record.entries.size(), 1u);
    EXPECT_TRUE(record.entries[0].simulated);
    EXPECT_EQ(record.entries[0].utc, "2026-12-09T05:01:02Z");
    EXPECT_EQ(record.entries[0].local, "2026-12-09T14:01:02+09:00");
    // Read back by this tool and by another that does not know the field.
    QFile file(QString::fromStdString(store::RecordPath()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("\"simulated\":true"));
}

TEST(Journal, SaysWhichRecordLineWasNotKept) {
    const TDataHome home;
    TCoreRig rig;
    Connect(rig, sim::MakeProfile("DW730 TONAL", "201036"));
    store::TJournalOptions options;
    options.backups = false;
    options.record = home.Path("record.jsonl");
    options.extraRecords = {home.Path("folder")};
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(options.extraRecords[0])));
    store::TJournal journal(options, rig.clock, {}, {});
    journal.Attach(rig.conversation);
    for (const bool lost : {true, false}) {
        ApplyThrough(journal, rig, lost ? 0 : 1);
        if (lost) {
            EXPECT_TRUE(journal.RecordError().starts_with("cannot open " + options.extraRecords[0]))
                << journal.RecordError();
        } else {
            EXPECT_EQ(journal.RecordError(), "");
        }
        journal.Options().extraRecords.clear();
    }
    EXPECT_EQ(store::ReadRecord(options.record).entries.size(), 2u);
}

TEST(Journal, WritesNothingWithoutABackupUnlessTheUserSaysSo) {
    const TDataHome home;
    TCoreRig rig;
    Connect(rig, sim::MakeProfile("DW730 TONAL", "201036"));
    AppendBytes(home.Path("file"), "x");
    struct TCase {
        bool backups, answer, starts;
        int asked;
    };
    for (const TCase& k :
         {TCase{true, false, false, 1}, TCase{true, true, true, 1}, TCase{false, false, true, 0}}) {
        int asked = 0;
        store::TJournalOptions options;
        options.folder = home.Path("file") + "/backups"; // cannot be made
        options.record = home.Path("record.jsonl");
        options.backups = k.backups;
        store::TJournal journal(options, rig.clock, {}, [&](const std::string& reason) {
            EXPECT_EQ(reason, "folder not writable: " + options.folder);
            ++asked;
            return k.answer;
        });
        journal.Attach(rig.conversation);
        EXPECT_EQ(journal.BeforeFirstWrite(TRunKind::Default), k.starts) << k.backups << k.answer;
        EXPECT_EQ(asked, k.asked);
        EXPECT_EQ(journal.LastError().empty(), !k.backups);
        EXPECT_EQ(journal.LastBackup(), "");
    }
}

} // namespace

// The record's time stamps are written without Qt (the page in the browser writes them too):
// the same text as Qt's date of the same instant, across leap days, centuries, times before
// 1970 and far offsets either way.
TEST(RecordTime, IsWrittenAsQtWritesTheSameInstant) {
    const std::int64_t kInstants[] = {0,
                                      -1,
                                      951782400000,     // 2000-02-29
                                      4107542399999,    // 2100-02-28 23:59:59.999
                                      -2208988800000,   // 1900-01-01
                                      1798761599000,    // 2026-12-31 23:59:59
                                      253402214400000}; // 9999-12-31
    const std::int64_t kOffsetsMin[] = {0, 540, -600, 345, -30};
    for (std::int64_t utc : kInstants) {
        for (std::int64_t offset : kOffsetsMin) {
            const core::TTimePoint t{utc, utc + offset * 60000};
            const auto qt = [](std::int64_t ms) {
                return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC)
                    .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
                    .toStdString();
            };
            const long long m = offset < 0 ? -offset : offset;
            char zone[64];
            std::snprintf(zone, sizeof zone, "%c%02lld:%02lld", offset < 0 ? '-' : '+', m / 60,
                          m % 60);
            EXPECT_EQ(store::UtcText(t), qt(utc) + "Z") << utc;
            EXPECT_EQ(store::LocalText(t), qt(t.wallMs) + zone) << utc << " " << offset;
        }
    }
}
