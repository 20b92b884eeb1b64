#pragma once
// In-memory HID services: any number of simulated devices, plugged and unplugged by the
// program or a test, read and written through the real controller and reader threads.
#include "hid/HidPlatform.h"
#include "hid/sim/DeviceModel.h"
#include "hid/sim/ManualMainThread.h"
#include "hid/sim/VirtualTime.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace hid::sim {

// Error codes as the Windows target reports them.
inline constexpr uint32_t kErrFileNotFound = 2;
inline constexpr uint32_t kErrAccessDenied = 5;
inline constexpr uint32_t kErrInvalidHandle = 6;
inline constexpr uint32_t kErrGenFailure = 31;
inline constexpr uint32_t kErrInvalidParameter = 87;
inline constexpr uint32_t kErrNotConnected = 1167;

struct TSimDeviceSpec {
    uint16_t VendorID = 0;
    uint16_t ProductID = 0;
    uint16_t VersionNumber = 0;
    std::u16string Product;
    std::string Manufacturer;
    // Null: a device that never sends and swallows writes, with the lengths below.
    std::shared_ptr<TDeviceModel> Model;
    uint16_t InputLength = 65;
    uint16_t OutputLength = 65;
    bool ReadWriteAllowed = true; // false: opens only without access rights
    bool Openable = true;         // false: cannot be opened at all
    bool Identifiable = true;     // false: attributes cannot be read
};

class TSimServices final : public TPlatformServices {
  public:
    TSimServices();
    ~TSimServices() override;

    // Attaches a device and raises a change notice; returns its id (also its DeviceID).
    uint32_t Plug(TSimDeviceSpec Desc);
    // Detaches it and raises a change notice; its open handles fail from now on.
    void Unplug(uint32_t Id);
    size_t OpenHandleCount();
    // Every path named in the order devices were plugged, present or not.
    static std::string PathOf(uint32_t Id);
    // Microseconds on the clock the models are driven by.
    uint64_t NowUs() const;

    // Virtual time: from now on the models and every reader's waits count on a clock that
    // only AdvanceTo moves, so what is delivered when no longer depends on how the reader
    // threads are scheduled. Call before the first device is opened.
    // Main is told (Wake) whenever a reader parks or goes.
    void UseVirtualClock(TMainThread& Main);
    bool VirtualClock() const { return virtual_; }
    // Moves the virtual clock forward (never back) and lets the readers look again.
    void AdvanceTo(uint64_t Us);
    // Virtual time: true when every reader is parked, that is waiting with nothing due on
    // its read at the current virtual time. A reader that has a report to hand over, is on
    // its way between two waits, or was woken is not parked.
    bool Settled();

    bool Available() const override { return true; }
    THidGuid HidGuid() override { return kPublishedHidGuid; }
    std::vector<THidPnPInfo> CollectInterfaces(const THidGuid& Guid) override;
    THandle Open(const std::string& Path, TOpenMode Mode) override;
    void Close(THandle Handle) override;
    bool GetAttributes(THandle Handle, THidAttributes& Attributes) override;
    bool GetPreparsedData(THandle Handle, TPreparsed& Data) override;
    void FreePreparsedData(TPreparsed Data) override;
    bool GetCaps(TPreparsed Data, THidCaps& Caps) override;
    bool GetProductString(THandle Handle, char16_t* Buffer, uint32_t Bytes) override;
    bool Write(THandle Handle, const uint8_t* Buffer, uint32_t Length, uint32_t& Written) override;
    std::unique_ptr<TReadWaiter> NewReadWaiter() override;
    bool OpenNotices(TMainThread& Main, std::function<void(TDeviceNotice)> Notice) override;
    void PostNotice(TDeviceNotice Notice) override;
    void CloseNotices() override;
    uint32_t LastError() const override;
    void SetLastError(uint32_t Code) override;
    std::string ErrorMessage(uint32_t Code) const override;
    TErrorKind ErrorKind(uint32_t Code) const override;
    uint32_t NotConnectedError() const override { return kErrNotConnected; }
    void AnnounceThreadName(const std::string& Name) override;

  private:
    struct TDevice {
        TSimDeviceSpec Desc;
        bool Present = true;
    };
    struct THandleInfo {
        uint32_t Device;
        TOpenMode Mode;
    };
    class TWaiter;

    // Under lock_: the device behind a handle, null when it is not there any more.
    TDevice* DeviceOf(THandle Handle);
    // Something a reader may be waiting for has happened: every parked reader must look
    // again before the services count as settled.
    void Changed();
    void ChangedLocked() {
        ++epoch_;
        unparked_ = waiters_.size(); // every reader must look again
    }
    // Virtual time, under lock_, after a write to the device: whether a reader must look
    // again now (the reply is due, or a reader is not parked).
    bool ReplyDueLocked(uint32_t Device, TDeviceModel& Model);

    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::mutex lock_;
    std::condition_variable changed_; // input may have fallen due, a device went
    std::condition_variable parked_;  // a reader parked (virtual time)
    std::atomic<bool> virtual_{false};
    std::atomic<uint64_t> virtualUs_{0};
    TMainThread* virtualMain_ = nullptr; // set before any reader exists
    uint64_t epoch_ = 0;                 // counts Changed(); a reader is parked in the epoch it saw
    std::set<TWaiter*> waiters_;         // under lock_
    // The waiters not parked in the current epoch; changed under lock_, read without it.
    std::atomic<size_t> unparked_{0};
    std::map<uint32_t, TDevice> devices_;
    std::map<THandle, THandleInfo> handles_;
    uint32_t nextDevice_ = 1;
    THandle nextHandle_ = 1;

    TMainThread* main_ = nullptr;
    std::shared_ptr<std::function<void(TDeviceNotice)>> sink_;
};

// A reader thread has at most a few hand-overs to make before it waits again; one that has
// not settled after this long of real time is stuck, not slow.
inline constexpr int kSettleLimitMs = 60000;

// Virtual time: runs what is due now without letting time pass: the posted operations (the
// reports and the platform's notices) one at a time, each after every reader has settled.
// False when a reader did not settle within kSettleLimitMs.
bool SettleVirtual(TSimServices& Services, TManualMainThread& Main);

} // namespace hid::sim
