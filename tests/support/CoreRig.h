#pragma once
// The conversation core on the deterministic HID contract, without any window: recording
// log, dialog and view sinks, a journal that agrees to every run, a manual clock, and
// optionally a simulated unit behind the fake device. What the core writes goes to the unit;
// the unit's replies are delivered one report per tick (or all that are due, for a unit
// faster than the tick); the clock moves 1 ms a tick. The core ticks only while its Timer1
// is enabled, as the window's timer does.
#include "link/Bench.h"
#include "link/Conversation.h"
#include "link/PanelPainter.h"
#include "sim/Transceiver.h"
#include "support/FakeHid.h"
#include "support/Recording.h"
#include "support/Reports.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

class TRecordingView final : public core::TViewSink {
  public:
    void Refresh(bool processEvents) override {
        ++refreshes;
        if (processEvents) ++eventPasses;
    }
    void Close() override { ++closes; }
    int refreshes = 0, eventPasses = 0, closes = 0;
};

class TCoreRig {
  public:
    // Started: the start line is logged and the controller's own first device-change
    // notice has found nothing. Not started: plug something in first, then Start().
    explicit TCoreRig(bool started = true);
    ~TCoreRig();
    TCoreRig(const TCoreRig&) = delete;
    TCoreRig& operator=(const TCoreRig&) = delete;

    void Start();

    // A simulated unit made from the profile, plugged in (with its change notice).
    sim::Transceiver& PlugUnit(const sim::Profile& profile);
    sim::Transceiver& PlugUnit(std::string_view model, std::string_view firmware);
    // The cable pulled, and the same unit plugged back (it restarts: unsaved changes go).
    void UnplugUnit();
    void ReplugUnit();
    // A bare transceiver with nothing behind it: the test answers for it (Answer, Deliver).
    TFakeHidDevice* PlugBare(std::uint16_t productId = 0x7802);

    // One tick: the clock moves 1 ms, due reports are delivered (one, or all with allDue),
    // the core ticks if its timer runs. A unit that vanished is unplugged first.
    void Step(bool allDue = false);
    // So many ticks, whatever happens.
    void Steps(int count) {
        RunUntil([] { return false; }, count);
    }
    // Steps until the predicate holds; false when maxTicks ran out first.
    bool RunUntil(const std::function<bool()>& done, int maxTicks = 20000, bool allDue = false);
    // The conversation rests, ready or closed, with nothing left to deliver.
    bool Resting() const;
    // Until it rests (the read-back ends one second after its last reply).
    bool RunToRest(int maxTicks = 20000, bool allDue = false);

    // One input report to the checked-out unit, without a tick.
    bool Deliver(const std::string& report);
    // A line reply to the checked-out unit, then one tick.
    void Answer(std::string_view text);

    // Commands the simulated unit took since the last Mark().
    std::vector<std::string> SentSinceMark() const;
    void Mark();

    const core::TPanel& Panel() const { return painter.Panel(); }
    // The user's choice in a control, as the window feeds it back.
    void Choose(core::TControl control, int index) { painter.Choose(conversation, control, index); }
    void Check(core::TControl control, bool checked) {
        painter.Check(conversation, control, checked);
    }
    const core::TControlState& operator[](core::TControl c) const { return Panel()[c]; }
    std::vector<std::string> LogTexts() const;
    bool LogHas(std::string_view text) const;
    // Lines that begin with the text.
    int LogCount(std::string_view prefix) const;

    TFakeHidController hid;
    TManualClock clock;
    TRecordingLog log;
    TRecordingDialogs dialogs;
    TRecordingView view;
    TRecordingJournal journal; // says yes unless told otherwise
    // The panel as the window draws it from the unit's state.
    mutable core::TPanelPainter painter;
    core::TUnitBench bench; // the window's policy: one unit
    core::TConversation& conversation;
    std::unique_ptr<sim::Transceiver> sim;
    TFakeHidDevice* unit = nullptr;
    std::int64_t nowUs = 0;
    int delivered = 0; // reports the unit sent that reached the core

  private:
    std::size_t mark_ = 0;
};

} // namespace testing_support
