#pragma once
// The HID device controller, the device objects it lists and the reader thread that
// delivers a checked-out device's input reports to the main thread.
#include "hid/HidAccess.h"
#include "hid/HidPlatform.h"
#include "hid/MainThread.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace hid {

class THidDevice;
class THidDeviceController;

// Failing to open or identify a device while building the device list.
class EControllerError : public std::runtime_error {
  public:
    explicit EControllerError(const std::string& What, uint32_t Reason = 0)
        : std::runtime_error(What), Code(Reason) {}
    uint32_t Code; // the platform's reason, 0 when none is known
};

// A device present but left out of the list, because it cannot be opened or identified.
struct TUnopenedDevice {
    THidPnPInfo PnPInfo;
    std::string Error;   // the text the error box shows
    bool Opened = false; // opened, but could not be identified
    uint32_t Code = 0;
    bool Reported = false;
};

// A worker thread that can name itself for debugging tools.
class TCustomThread {
  public:
    TCustomThread() = default;
    TCustomThread(const TCustomThread&) = delete;
    TCustomThread& operator=(const TCustomThread&) = delete;
    virtual ~TCustomThread();

    std::string ThreadName;

    virtual std::string ClassName() const { return "TCustomThread"; }
    virtual std::string DebugName() const;
    virtual void SetThreadName(const std::string& Name) { ThreadName = Name; }
    // ThreadId -1: the calling thread, which is the only one this platform can name.
    virtual void AnnounceName(const std::string& Name, int64_t ThreadId);

    void Start();
    void Terminate();
    bool Terminated() const { return terminated_.load(); }
    bool Finished() const { return finished_.load(); }
    // Waits for the end while running the hand-overs the thread queues meanwhile.
    void WaitFor(TMainThread& Main);

  protected:
    virtual void Execute() = 0;
    // Called by Terminate in the requesting thread, to cut short what the thread waits on.
    virtual void WakeUp() {}
    virtual TPlatformServices* NamingServices() const { return nullptr; }
    // Run by the thread just before it ends; may tell the waiter.
    virtual void Ended() {}

  private:
    std::thread thread_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
};

class THidDeviceReadThread final : public TCustomThread {
  public:
    explicit THidDeviceReadThread(THidDevice* Device);
    ~THidDeviceReadThread() override;

    std::string ClassName() const override { return "THidDeviceReadThread"; }

    THidDevice* const SourceDevice;
    uint32_t LastError = 0;
    uint32_t BytesRead = 0;
    std::vector<uint8_t> ReportBuffer;

    TReadWaiter& Waiter() { return *waiter_; }

  protected:
    void Execute() override;
    void WakeUp() override;
    TPlatformServices* NamingServices() const override;
    void Ended() override;

  private:
    void DeliverReport();
    void DeliverError();
    std::unique_ptr<TReadWaiter> waiter_;
};

class THidDevice final : public TCustomHidDevice {
  public:
    // Opens the device file to identify it; throws EControllerError ("Device cannot be
    // opened", "Device cannot be identified").
    THidDevice(THidPnPInfo Info, THidDeviceController* Controller);
    ~THidDevice() override;
    THidDevice(const THidDevice&) = delete;
    THidDevice& operator=(const THidDevice&) = delete;

    // TCustomHidDevice
    bool WriteReport(const uint8_t* Buffer, uint32_t Length, uint32_t& Written) override;
    void CloseMain() override;
    std::u16string QueryProductText() override;
    THidCaps QueryCaps() override;
    bool PluggedIn() const override { return pluggedIn_.load(); }
    const THidAttributes& Attributes() const override { return attributes_; }
    const THidPnPInfo& PnPInfo() const override { return *pnpInfo_; }
    uint32_t LastErrorCode() const override;
    std::string ErrorMessage(uint32_t Code) const override;
    TErrorKind ErrorKind(uint32_t Code) const override;

    THidDeviceController* Controller() const { return controller_; }
    bool CheckedOut() const { return checkedOut_.load(); }
    bool InHandler() const { return inHandler_.load(); }
    bool ReadWriteAccess() const { return readWriteAccess_; }
    int32_t SleepTime() const { return sleepTime_.load(); }
    bool ReaderRunning() const { return reader_ != nullptr; }
    const THidDataEvent& DataHandler() const { return dataHandler_; }
    const THidDataErrorEvent& DataErrorHandler() const { return dataErrorHandler_; }
    const THidPlugEvent& UnplugHandler() const { return unplugHandler_; }

    bool Accessible() const;
    bool OpenMain();
    bool OpenRead();
    void CloseRead();
    // The reader's side of the read handle.
    bool BeginRead(uint8_t* Buffer, uint32_t Length);
    uint32_t ReadResult();
    bool CancelRead();

    void SetDataHandler(THidDataEvent Handler);
    void SetDataErrorHandler(THidDataErrorEvent Handler) { dataErrorHandler_ = Handler; }
    void SetUnplugHandler(THidPlugEvent Handler) { unplugHandler_ = Handler; }
    void SetSleepTime(int32_t Ms);
    void StartReader();
    void StopReader();
    void HandleUnplug();

  private:
    friend class THidDeviceController;
    friend class THidDeviceReadThread;

    // Capabilities from preparsed data already fetched; safe in the reader.
    THidCaps CapsFromPreparsed() const;
    THandle OpenFile(TOpenMode Mode);
    bool OpenReadLocked();

    TPlatformServices& services_;
    TMainThread& main_;
    THidDeviceController* controller_;
    std::unique_ptr<THidPnPInfo> pnpInfo_;
    THidAttributes attributes_;
    std::u16string productText_;
    std::atomic<bool> pluggedIn_{true};
    std::atomic<bool> checkedOut_{false};
    std::atomic<bool> inHandler_{false};
    std::atomic<int32_t> sleepTime_{100};
    bool readWriteAccess_ = false;
    THandle mainHandle_ = kNoHandle;
    std::atomic<TPreparsed> preparsed_{nullptr};
    THidDataEvent dataHandler_;
    THidDataErrorEvent dataErrorHandler_;
    THidPlugEvent unplugHandler_;
    std::unique_ptr<THidDeviceReadThread> reader_;

    // The read handle is shared by the main thread (open on demand, close at unplug and
    // check-in) and the reader (waiting on it without the lock). While a read is
    // outstanding the handle is never closed under the reader: CloseRead only marks it
    // orphaned and wakes the reader, which closes it once its wait has ended.
    mutable std::mutex readLock_;
    THandle readHandle_ = kNoHandle;
    THandle busyHandle_ = kNoHandle; // handle of the outstanding read, if any
    bool orphaned_ = false;          // busyHandle_ was closed by the main thread
    bool readGone_ = false;          // the platform said the device is gone
    uint32_t goneError_ = 0;
    uint32_t lastReadError_ = 0; // why the last read start failed
    uint32_t lastError_ = 0;
};

class THidDeviceController final : public TCustomHidController {
  public:
    THidDeviceController(TPlatformServices& Services, TMainThread& Main);
    ~THidDeviceController() override;
    THidDeviceController(const THidDeviceController&) = delete;
    THidDeviceController& operator=(const THidDeviceController&) = delete;

    // TCustomHidController
    int32_t Enumerate() override;
    bool CheckOutByIdentifiers(TCustomHidDevice*& HidDev, int32_t VendorID,
                               int32_t ProductID) override;
    void CheckIn(TCustomHidDevice*& HidDev) override;
    void SetOnDeviceChange(TNotifyEvent Handler) override;
    void SetOnEnumerate(THidEnumerateEvent Handler) override { onEnumerate_ = Handler; }
    void SetOnDeviceData(THidDataEvent Handler) override;
    bool NoticesOpen() const override { return noticesOpen_; }

    bool CheckOutAt(THidDevice*& HidDev, size_t Index, bool Eligible);
    bool CheckOutByIdentifiers(THidDevice*& HidDev, int32_t VendorID, int32_t ProductID);
    void CheckIn(THidDevice*& HidDev);
    void DeviceChange();
    // The platform's notice handler.
    void HandleNotice(const TDeviceNotice& Notice);
    // The owner has installed its handlers: from now on setting OnDeviceChange runs a
    // pass at once. The first notice processed ends loading as well.
    void Loaded() { loading_ = false; }

    void SetDevThreadSleepTime(int32_t Ms);
    int32_t DevThreadSleepTime() const { return devThreadSleepTime_; }
    std::string Version() const { return "1.0.35"; }
    void SetVersion(const std::string&) {}
    void SetOnArrival(THidPlugEvent Handler) { onArrival_ = Handler; }
    void SetOnRemoval(THidPlugEvent Handler) { onRemoval_ = Handler; }
    void SetOnDeviceDataError(THidDataErrorEvent Handler);
    void SetOnDeviceUnplug(THidPlugEvent Handler);

    const TNotifyEvent& OnDeviceChange() const { return onDeviceChange_; }
    const THidDataEvent& OnDeviceData() const { return onDeviceData_; }
    const THidDataErrorEvent& OnDeviceDataError() const { return onDeviceDataError_; }
    const THidPlugEvent& OnDeviceUnplug() const { return onDeviceUnplug_; }

    const std::vector<THidDevice*>& Devices() const { return devices_; }
    // Devices that are present but could not be listed: tried again at every pass, each
    // reported (raised out of the notice handler) once, forgotten when it goes away.
    const std::vector<TUnopenedDevice>& Unopened() const { return unopened_; }
    int32_t CheckedInCount() const { return checkedInCount_; }
    int32_t CheckedOutCount() const { return checkedOutCount_; }
    int32_t UnpluggedCount() const { return unpluggedCount_; }
    bool InChange() const { return inChange_; }
    int32_t LastNoticeParam() const { return lastNoticeParam_; }
    const THidGuid& HidGuid() const { return hidGuid_; }

    TPlatformServices& Services() const { return services_; }
    TMainThread& Main() const { return main_; }

  private:
    friend class THidDevice;

    struct TPresent {
        std::vector<uint32_t> IDs;                      // every device present
        std::vector<std::unique_ptr<THidDevice>> Fresh; // those not listed yet
    };
    TPresent CollectPresent();
    void RaiseUnreported();
    template <typename Handler> void Fire(const Handler& H, THidDevice* Dev);
    void Recount();

    TPlatformServices& services_;
    TMainThread& main_;
    THidGuid hidGuid_ = kPublishedHidGuid;
    bool noticesOpen_ = false;
    bool loading_ = true;
    bool destroying_ = false;
    bool inChange_ = false;
    bool noticeInChange_ = false; // a notice came during the pass: one more pass is due
    int32_t lastNoticeParam_ = 0;
    int32_t devThreadSleepTime_ = 100;
    int32_t checkedInCount_ = 0;
    int32_t checkedOutCount_ = 0;
    int32_t unpluggedCount_ = 0;
    THidPlugEvent onArrival_;
    TNotifyEvent onDeviceChange_;
    THidEnumerateEvent onEnumerate_;
    THidDataEvent onDeviceData_;
    THidDataErrorEvent onDeviceDataError_;
    THidPlugEvent onDeviceUnplug_;
    THidPlugEvent onRemoval_;
    // Owned, except a checked-out device, which its holder gives back. A device's own
    // destruction edits this list, so it holds plain pointers.
    std::vector<THidDevice*> devices_;
    std::vector<TUnopenedDevice> unopened_;
    // Expires with the controller: an operation it posted to the main thread runs only
    // while the controller is there.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace hid
