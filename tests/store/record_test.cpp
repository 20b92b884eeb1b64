// The service record: how each way a run ends is written down, lines that survive a crash
// and two programs appending at once, the spreadsheet, and the journal that a front end
// plugs into the conversation.
#include "StoreCases.h"
#include "store/DataFolder.h"
#include "store/Journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace store_cases;
using core::TRunEnd;
using core::TRunKind;
using testing_support::TCoreRig;

namespace {

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

TEST(Record, TakesTwoWritersAtOnceLineByLine) {
    const TDataHome home;
    const std::string path = home.Path("record.jsonl");
    constexpr int kLines = 200;
    std::vector<std::string> errors(2);
    const auto writer = [&](int w) {
        for (int i = 0; i < kLines; ++i) {
            const std::string error =
                store::AppendRecord(path, Entry(std::to_string(w) + "-" + std::to_string(i)));
            if (!error.empty()) errors[static_cast<std::size_t>(w)] = error;
        }
    };
    std::thread first(writer, 0), second(writer, 1);
    first.join();
    second.join();
    EXPECT_EQ(errors, (std::vector<std::string>{"", ""}));
    const store::TRecord record = store::ReadRecord(path);
    EXPECT_EQ(record.skipped, 0);
    std::set<std::string> tools;
    for (const auto& e : record.entries)
        tools.insert(e.tool);
    EXPECT_EQ(tools.size(), 2u * kLines);
}

TEST(RecordCsv, QuotesWhatASpreadsheetWouldSplit) {
    store::TRecordEntry e = Entry("tool, \"quoted\"");
    e.language = "line\nbreak";
    e.chosen.clear();
    EXPECT_EQ(store::RecordCsv({e}),
              "utc,local,tool,run,serial,model,firmware,language,result,before,chosen,written,"
              "command,reply,backup\r\n"
              "2026-12-08T05:01:02Z,2026-12-08T14:01:02+09:00,\"tool, \"\"quoted\"\"\",apply,"
              "201036-4711,DW730 TONAL,201036,\"line\nbreak\",saved,recorder=off; volume=3,,"
              "recorder=off; volume=4,,,\r\n");
}

// ---- the journal -----------------------------------------------------------------------------

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
    const std::string backup = data + "/backups/SV0000000001/SV0000000001_20261208-140102.json";
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
        EXPECT_EQ(record.entries[0].backup, "SV0000000001_20261208-140102.json");
        EXPECT_EQ(record.entries[0].written, (store::TNamedValues{{"air-check", "20/10"},
                                                                  {"dive-computer", "beep"},
                                                                  {"hands-free", "2"},
                                                                  {"voice-guide", "low"},
                                                                  {"volume", "1"}}));
    }
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
