#pragma once
// The real window and the real controller on in-process HID services with one simulated
// transceiver: what the demo and the scenario runner run.
#include "app/Main.h"
#include "hid/HidControllerClass.h"
#include "hid/qt/QtMainThread.h"
#include "hid/sim/ManualMainThread.h"
#include "hid/sim/SimHidServices.h"
#include "hid/sim/TransceiverModel.h"

#include <QJsonArray>

#include <memory>
#include <optional>

namespace demo {

// How the rig's time passes.
//   Virtual: the window's clock, its tick and the unit's reply pacing all count on one
//   virtual clock that only Tick() moves; the unit's reports reach the window between
//   ticks. The same actions give the same log, time stamps included, in every run.
//   Real: the 1 ms timer and the event loop, as the interactive demo runs.
enum class TTimeMode { Virtual, Real };

class TDemoRig {
  public:
    // Dialogs null: real message boxes. Journal: backups and the record (none: neither).
    TDemoRig(const sim::Profile& profile, std::unique_ptr<TDialogs> dialogs,
             TTimeMode time = TTimeMode::Real,
             std::optional<store::TJournalOptions> journal = std::nullopt);
    ~TDemoRig();

    TForm1& Form() { return *form_; }
    bool Plugged() const { return cable_.Plugged(); }
    void Plug();
    void Unplug();
    // A fresh unit of another profile; plugged again if it was plugged.
    void ChangeUnit(const sim::Profile& profile);
    hid::sim::TTransceiverModel& Unit() { return *model_; }

    TTimeMode Time() const { return time_; }
    // Runs what is due now without letting time pass: virtual time runs the reports the
    // unit has ready and the platform's notices, one notice at a time, each after every
    // reader has settled; real time runs the event loop until everything posted so far
    // has run. False when that did not happen within a generous real-time limit (a reader
    // thread is stuck).
    bool Settle();
    // Virtual time: the clock moves 1 ms, what fell due is settled, then the window's timer
    // fires if it runs. Real time: waits for events up to 5 ms.
    bool Tick();
    // Milliseconds the virtual clock has moved since the start.
    int64_t ElapsedMs() const { return elapsedUs_ / 1000; }

  private:
    class TVirtualClock;

    const TTimeMode time_;
    std::unique_ptr<hid::TQueuedMainThread> main_;
    hid::TManualMainThread* manual_ = nullptr; // main_ in virtual time
    hid::sim::TSimServices services_;
    uint64_t elapsedUs_ = 0;
    std::shared_ptr<hid::sim::TTransceiverModel> model_;
    hid::sim::TUnitCable cable_{services_};
    std::unique_ptr<TForm1> form_;
};

// Every named control of the window with its state, in creation order.
QJsonArray ControlStates(const TForm1& form);

} // namespace demo
