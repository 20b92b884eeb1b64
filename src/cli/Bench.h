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
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
    // Unplugs the unit plugged in at path, of several.
    virtual void UnplugUnitAt(const std::string& path) { (void)path; }
    // A simulated bench whose units have all been plugged in.
    virtual bool NoUnitLeft() const { return false; }
    // A simulated unit is plugged in that could still be served (one that cannot be opened
    // never could).
    virtual bool AnyUnitIn() const { return false; }
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

// Simulated units on in-process HID services and virtual time: each Pass() moves the clock
// 1 ms and runs what fell due, so a run gives the same result, log time stamps included,
// every time and as fast as the machine goes. Unit n (from 1) gets its profile's serial
// number counted up by n - 1. A unit that vanishes is unplugged, as a pulled cable would be.
class TSimBench : public TBench {
  public:
    // Units of one profile, plugged in one after another.
    TSimBench(sim::Profile profile, int units);
    // One unit of each profile, all plugged in together (as on a hub), once.
    explicit TSimBench(std::vector<sim::Profile> together);
    // One unit of each profile, the first when the bench is first asked for one, each next
    // everyMs later (0: all together); each is unplugged only when asked, or when it vanishes.
    TSimBench(std::vector<sim::Profile> units, std::int64_t everyMs);
    ~TSimBench() override;
    hid::THidDeviceController& Controller() override { return *controller_; }
    hid::TQueuedMainThread& MainThread() override { return main_; }
    core::TTimePoint Now() const override;
    void Pass() override;
    bool Simulated() const override { return true; }
    bool PlugNextUnit() override;
    void UnplugUnit() override;
    void UnplugUnitAt(const std::string& path) override;
    bool NoUnitLeft() const override { return plugged_ >= units_; }
    bool AnyUnitIn() const override;

    // The unit plugged in last (the first before any), for tests; of units plugged in
    // together, the i-th (from 0).
    hid::sim::TTransceiverModel& Unit(std::size_t i = 0) { return *in_.at(i).model; }
    int UnitsPlugged() const { return plugged_; }
    // Another HID device (a mouse, say) plugged in and pulled, for tests; returns its id.
    std::uint32_t PlugDevice(std::uint16_t vendorId, std::uint16_t productId);
    void UnplugDevice(std::uint32_t id) { services_.Unplug(id); }
    bool UnitIn() const;
    // The local date and time the virtual clock starts at (time zone UTC).
    static constexpr std::int64_t kEpochMs = hid::sim::kVirtualEpochMs;

  private:
    struct TSlot {
        std::shared_ptr<hid::sim::TTransceiverModel> model;
        std::uint32_t id = 0; // plugged in: its device id
    };
    void Settle();
    void Plug(TSlot& slot, int n);
    void PlugDue();

    const std::vector<sim::Profile> profiles_;
    const int units_;
    const bool together_;
    const std::int64_t everyUs_ = -1; // >= 0: plugged in on a plan, one every so often
    std::uint64_t planStartUs_ = 0;
    hid::TManualMainThread main_;
    hid::sim::TSimServices services_;
    std::unique_ptr<hid::THidDeviceController> controller_;
    std::vector<TSlot> in_; // one after another: one slot, used again for each unit
    std::uint64_t elapsedUs_ = 0;
    int plugged_ = 0;
};

// The bench's controller as the conversation sees it: a device at another path than the
// one asked for, or one passed over, is never checked out. Listing goes to every device.
class TDeviceView final : public hid::TCustomHidController {
  public:
    explicit TDeviceView(hid::THidDeviceController& hid) : hid_(hid) {}
    // Only the device at path is taken (empty: any).
    void Only(std::string path) { only_ = std::move(path); }
    // The device at path is not taken again.
    void PassOver(std::string path) { passedOver_.push_back(std::move(path)); }
    // Only the device at path, whatever was passed over before.
    void TakeOnly(std::string path) {
        passedOver_.clear();
        Only(std::move(path));
    }
    // A unit this user may not write to is not taken, even when no other is left.
    void WritableOnly() { writableOnly_ = true; }
    // No device is taken while room() says there is no room for it (a batch serving as many
    // units as it may at once).
    void Room(std::function<bool()> room) { room_ = std::move(room); }
    bool Takes(const hid::TCustomHidDevice& device) const;
    // The transceivers plugged in that could be taken now, by path. One this user may not
    // write to is among them only while no other is.
    std::vector<std::string> Candidates() const;
    // The path of the device checked out last.
    const std::string& TakenPath() const { return takenPath_; }

    int32_t Enumerate() override { return hid_.Enumerate(); }
    bool CheckOutByIdentifiers(hid::TCustomHidDevice*& device, int32_t vendorId,
                               int32_t productId) override;
    void CheckIn(hid::TCustomHidDevice*& device) override { hid_.CheckIn(device); }
    void SetOnDeviceChange(hid::TNotifyEvent handler) override { hid_.SetOnDeviceChange(handler); }
    void SetOnEnumerate(hid::THidEnumerateEvent handler) override { hid_.SetOnEnumerate(handler); }
    void SetOnDeviceData(hid::THidDataEvent handler) override { hid_.SetOnDeviceData(handler); }
    bool NoticesOpen() const override { return hid_.NoticesOpen(); }

  private:
    hid::THidDeviceController& hid_;
    std::string only_;
    std::vector<std::string> passedOver_;
    std::string takenPath_;
    bool writableOnly_ = false;
    std::function<bool()> room_;
    bool Writable(const hid::THidDevice& device) const;
};

// What --device names: a device path (it holds '/', '\\' or ':', as every platform's and the
// simulation's do) or else a serial number.
bool IsDevicePath(std::string_view device);

// Whether the device is one of the transceivers the tool takes (core::kTransceiverIds).
bool IsTransceiver(const hid::TCustomHidDevice& device);

// The simulated units --sim names, each a preset or else a unit file; on a name that is
// neither, the profiles are empty and error says why ("--sim: 'NAME' is neither ...").
struct TSimUnits {
    std::vector<sim::Profile> profiles;
    std::string error;
};
TSimUnits SimUnits(const std::vector<std::string>& names);

// Whether a device could be a transceiver by the hardware IDs the system gives it (one that
// gives none could be).
bool MayBeTransceiver(const hid::THidPnPInfo& info);

// The serial number of the n-th unit (from 1): the last run of digits counted up, its width
// kept ("SV0000000001" -> "SV0000000003" for the third).
std::string NthSerial(const std::string& first, int n);

} // namespace cli
