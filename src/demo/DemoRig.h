#pragma once
// The real window and the real controller on in-process HID services with one simulated
// transceiver: what the demo and the scenario runner run.
#include "app/Main.h"
#include "hid/HidControllerClass.h"
#include "hid/qt/QtMainThread.h"
#include "hid/sim/SimHidServices.h"
#include "hid/sim/TransceiverModel.h"

#include <QJsonArray>

#include <memory>

namespace demo {

class TDemoRig {
  public:
    // Dialogs null: real message boxes.
    TDemoRig(const sim::Profile& profile, std::unique_ptr<TDialogs> dialogs);
    ~TDemoRig();

    TForm1& Form() { return *form_; }
    bool Plugged() const { return unitId_ != 0; }
    void Plug();
    void Unplug();
    // A fresh unit of another profile; plugged again if it was plugged.
    void ChangeUnit(const sim::Profile& profile);
    hid::sim::TTransceiverModel& Unit() { return *model_; }

  private:
    hid::TQtMainThread main_;
    hid::sim::TSimServices services_;
    std::shared_ptr<hid::sim::TTransceiverModel> model_;
    std::unique_ptr<TForm1> form_;
    uint32_t unitId_ = 0;
};

// Every named control of the window with its state, in creation order.
QJsonArray ControlStates(const TForm1& form);

} // namespace demo
