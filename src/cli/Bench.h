#pragma once
// Where the units are and how time passes for the command line: the operating system's HID
// services on real time, or a bench of simulated units on virtual time. The session drives
// either the same way: a step of about 1 ms at a time.
#include "hid/HidControllerClass.h"
#include "hid/sim/ManualMainThread.h"
#include "hid/sim/SimHidServices.h"
#include "hid/sim/TransceiverModel.h"
#include "link/Conversation.h"
#include "sim/Profile.h"

#include <cstdint>
#include <memory>

namespace cli {

// Its clock (Now) is the local clock, as the window's log shows it.
class TBench : public core::TClock {
  public:
    virtual hid::THidDeviceController& Controller() = 0;
    virtual hid::TQueuedMainThread& MainThread() = 0;
    // About 1 ms passes; whatever the HID layer hands to the main thread meanwhile runs.
    virtual void Pass() = 0;

    // A simulated bench plugs its units in itself, one after another, as a person would.
    virtual bool Simulated() const { return false; }
    // Plugs the next unit in; false when no unit is left (or a person does the plugging).
    virtual bool PlugNextUnit() { return false; }
    // Unplugs the unit that is in.
    virtual void UnplugUnit() {}
    // A simulated bench whose units have all been plugged in.
    virtual bool NoUnitLeft() const { return false; }
};

// The operating system's HID services, the 1 ms tick on the steady clock.
class TSystemBench : public TBench {
  public:
    TSystemBench();
    ~TSystemBench() override;
    bool Available() const { return services_->Available(); }
    hid::THidDeviceController& Controller() override { return *controller_; }
    hid::TQueuedMainThread& MainThread() override { return main_; }
    core::TTimePoint Now() const override;
    void Pass() override;

  protected:
    explicit TSystemBench(std::unique_ptr<hid::TPlatformServices> services);

  private:
    hid::TManualMainThread main_;
    std::unique_ptr<hid::TPlatformServices> services_;
    std::unique_ptr<hid::THidDeviceController> controller_;
    std::int64_t nextTickUs_ = 0;
};

// Simulated units of one profile on in-process HID services and virtual time: each Pass()
// moves the clock 1 ms and runs what fell due, so a run gives the same result, log time
// stamps included, every time and as fast as the machine goes. Unit n (from 1) gets the
// profile's serial number counted up by n - 1. A unit that vanishes is unplugged, as a
// pulled cable would be.
class TSimBench final : public TBench {
  public:
    TSimBench(sim::Profile profile, int units);
    ~TSimBench() override;
    hid::THidDeviceController& Controller() override { return *controller_; }
    hid::TQueuedMainThread& MainThread() override { return main_; }
    core::TTimePoint Now() const override;
    void Pass() override;
    bool Simulated() const override { return true; }
    bool PlugNextUnit() override;
    void UnplugUnit() override;
    bool NoUnitLeft() const override { return plugged_ >= units_; }

    // The unit plugged in last (the first before any), for tests.
    hid::sim::TTransceiverModel& Unit() { return *model_; }
    int UnitsPlugged() const { return plugged_; }
    bool UnitIn() const { return unitId_ != 0; }
    // The local date and time the virtual clock starts at (time zone UTC).
    static constexpr std::int64_t kEpochMs = hid::sim::kVirtualEpochMs;

  private:
    void Settle();

    const sim::Profile profile_;
    const int units_;
    hid::TManualMainThread main_;
    hid::sim::TSimServices services_;
    std::unique_ptr<hid::THidDeviceController> controller_;
    std::shared_ptr<hid::sim::TTransceiverModel> model_;
    std::uint64_t elapsedUs_ = 0;
    std::uint32_t unitId_ = 0;
    int plugged_ = 0;
};

// The serial number of the n-th unit (from 1): the last run of digits counted up, its width
// kept ("SV0000000001" -> "SV0000000003" for the third).
std::string NthSerial(const std::string& first, int n);

} // namespace cli
