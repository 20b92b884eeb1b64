#pragma once
// What the command-line tests share: the presets they run on, output caught from a FILE*,
// a session on a simulated bench, and the item of the window a person clicks for each value
// of the command line's vocabulary.
#include "cli/Bench.h"
#include "cli/Commands.h"
#include "cli/Session.h"
#include "cli/Requests.h"
#include "sim/Profile.h"
#include "support/ParamSetPrinter.h"
#include "support/QtPrinters.h"

#include <QByteArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace cli_cases {

// Every listed model on every firmware family, the unsupported and the uploading ones too.
std::vector<std::string> Presets();
// The presets whose settings the window shows (not the uploading "105" nor "202000").
std::vector<std::string> PresetsShowingSettings();
bool ShowsSettings(const std::string& firmware);
std::string PresetTestName(const ::testing::TestParamInfo<std::string>& info);
sim::Profile Preset(const std::string& name);

// A data folder of the test's own ($XDG_DATA_HOME), so that backups and the service record
// stay out of the home folder; the one before comes back when it goes. Every test program
// that links this file runs in one from its start.
class TDataHome {
  public:
    TDataHome();
    ~TDataHome();
    TDataHome(const TDataHome&) = delete;
    TDataHome& operator=(const TDataHome&) = delete;
    std::string Path(const std::string& name = {}) const;
    // DataFolder()/backups and DataFolder()/service-record.jsonl
    std::string Backups() const;
    std::string Record() const;

  private:
    QTemporaryDir dir_;
    QByteArray before_;
};

// What a FILE* was given: a temporary file, which every platform has.
class TCapture {
  public:
    TCapture();
    ~TCapture();
    TCapture(const TCapture&) = delete;
    TCapture& operator=(const TCapture&) = delete;
    std::FILE* File() const { return file_; }
    std::string Text() const;
    std::vector<std::string> Lines() const;

  private:
    std::FILE* file_;
};

// Output and messages of one command.
struct TPrinted {
    TCapture out, err;
    cli::TCommandOptions Options(std::int64_t timeoutMs = 30000) const;
    // What the person at the bench is told, but for the backups' lines (tested on their own).
    std::vector<std::string> Said() const;
};

std::optional<sim::ParamSet> StoredOf(cli::TSimBench& bench);
// The commands that write ("SPAR ...", "SAVE", "CLEAR") the unit (from 0) received.
std::size_t WritesTo(cli::TSimBench& bench, std::size_t unit = 0);

// A bench of simulated units with a session on it; its messages are caught, its log kept.
struct TBenchRun {
    explicit TBenchRun(const sim::Profile& profile, int units = 1, std::int64_t timeoutMs = 30000);
    cli::TSessionOptions Options(std::int64_t timeoutMs) const;

    TCapture messages;
    cli::TSimBench bench;
    cli::TSession session;
    const core::TConversation& c() const { return session.Conversation(); }
    std::optional<sim::ParamSet> Stored() {
        return bench.Unit().Inspect([](sim::Transceiver& u) { return u.Stored(); });
    }
    std::optional<sim::ParamSet> Working() {
        return bench.Unit().Inspect([](sim::Transceiver& u) { return u.Working(); });
    }
    std::size_t CommandsTaken() {
        return bench.Unit().Inspect([](sim::Transceiver& u) { return u.Received().size(); });
    }
};

// The written/not-written report of a run that stopped in the setting `stoppedIn` (none: the
// run wrote everything): the settings this unit has, in the order Apply writes them, before
// and from that one.
std::string WrittenLine(const params::TIdentity& identity, std::optional<cli::TSetting> stoppedIn);

// The texts sent (">>" lines) among log lines, from line `from` on.
std::vector<std::string> SentIn(const std::vector<std::string>& logLines, std::size_t from = 0);

// The requests "setting = value" for a choice, as the command line parses them.
std::vector<cli::TRequest>
Requests(const std::vector<std::pair<cli::TSetting, std::string>>& choices);

// Whether the window's radio item is the one a person clicks for the value (not for the air
// check): "ch B" or, before the model is known, "B ch" for channel B; "Transmitting record"
// for the recorder's "transmit"; "Off" for "off".
bool IsWindowItem(cli::TSetting setting, std::string_view value, std::string_view item);
// The air check's two list items for a value other than "off".
struct TAirCheckItems {
    std::string first, later;
};
TAirCheckItems AirCheckItems(std::string_view value);

} // namespace cli_cases
