#pragma once
// The real window and the real controller on the sim services and Qt's event loop, with
// one simulated unit whose reports are timed. Like the demo's rig, but the unit is
// wrapped so that the harness sees when the window wrote and when the reader read.
#include "TimedModel.h"
#include "app/Main.h"
#include "hid/HidControllerClass.h"
#include "hid/qt/QtMainThread.h"
#include "hid/sim/SimHidServices.h"
#include "hid/sim/TransceiverModel.h"

#include <functional>
#include <memory>

namespace bench {

// Runs Qt's event loop until Done() holds; false when TimeoutMs passed first.
bool RunEventsUntil(const std::function<bool()>& Done, int TimeoutMs);
// Runs Qt's event loop for Ms milliseconds and nothing else.
void RunEventsFor(int Ms);

// Message boxes as warnings: nothing may block a measurement.
class TSilentDialogs final : public TUnattendedDialogs {
  public:
    void ShowErrorBox(std::string_view text) override {
        qWarning("error box: %.*s", static_cast<int>(text.size()), text.data());
    }
    void ShowErrorMessage(std::string_view, std::string_view text) override {
        qWarning("message box: %.*s", static_cast<int>(text.size()), text.data());
    }
    void ShowAbout(std::string_view, const std::vector<std::string>&) override {}

  private:
    void Say(std::string_view, std::string_view) override {}
};

class TBenchRig {
  public:
    explicit TBenchRig(const sim::Profile& Profile);
    ~TBenchRig();

    TForm1& Form() { return *form_; }
    TTimedModel& Timed() { return *timed_; }
    hid::sim::TTransceiverModel& Unit() { return *unit_; }
    // The controller's first pass has run (the tool has started with no unit attached).
    bool Started() const { return !form_->Conversation().FirstCheck(); }
    // Idle at step 1 with the panel's Apply button enabled.
    bool PanelReady() const {
        return form_->Conversation().Phase() == core::TPhase::Ready &&
               form_->Painter().Panel()[params::TControl::SpeedButton2].enabled;
    }
    void Plug();
    void Unplug();

  private:
    hid::TQtMainThread main_;
    hid::sim::TSimServices services_;
    std::shared_ptr<hid::sim::TTransceiverModel> unit_;
    std::shared_ptr<TTimedModel> timed_;
    hid::sim::TUnitCable cable_{services_};
    std::unique_ptr<TForm1> form_;
};

} // namespace bench
