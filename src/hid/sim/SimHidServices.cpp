#include "hid/sim/SimHidServices.h"

#include "hid/MainThread.h"

#include <algorithm>
#include <cstring>

#if defined(__linux__)
#include <pthread.h>
#endif

namespace hid::sim {

namespace {
thread_local uint32_t lastError = 0;
constexpr const char* kPathPrefix = "sim:hid#";
} // namespace

class TSimServices::TWaiter final : public TReadWaiter {
  public:
    explicit TWaiter(TSimServices& Services) : services_(Services) {
        std::lock_guard lock(services_.lock_);
        services_.waiters_.insert(this);
        ++services_.unparked_;
    }
    ~TWaiter() override {
        {
            std::lock_guard lock(services_.lock_);
            services_.waiters_.erase(this);
            if (parkedIn_ != services_.epoch_) --services_.unparked_;
        }
        if (services_.virtualMain_) services_.virtualMain_->Wake();
    }

    bool Begin(THandle Handle, uint8_t* Buffer, uint32_t Length) override {
        std::lock_guard lock(services_.lock_);
        const auto it = services_.handles_.find(Handle);
        if (it == services_.handles_.end() || it->second.Mode != TOpenMode::ReadAsync) {
            lastError = kErrInvalidHandle;
            return false;
        }
        if (!services_.DeviceOf(Handle)) {
            lastError = kErrNotConnected;
            return false;
        }
        handle_ = Handle;
        buffer_ = Buffer;
        length_ = Length;
        end_ = TReadEnd{};
        begun_ = true;
        completed_ = false;
        return true;
    }

    TWaitResult Wait(int32_t Ms) override {
        using namespace std::chrono;
        std::unique_lock lock(services_.lock_);
        if (services_.virtual_) return WaitVirtual(lock, Ms);
        const auto deadline = steady_clock::now() + milliseconds(Ms);
        for (;;) {
            std::optional<uint64_t> due;
            if (const auto ended = Look(due)) return *ended;
            auto until = deadline;
            if (due) {
                const auto at = services_.start_ + microseconds(*due);
                until = std::min(until, at);
            }
            if (steady_clock::now() >= deadline) return TWaitResult::TimedOut;
            services_.changed_.wait_until(lock, until);
        }
    }

    TReadEnd Result() override {
        const TReadEnd end = completed_ ? end_ : TReadEnd{};
        begun_ = false;
        completed_ = false;
        return end;
    }

    bool Cancel() override {
        const bool was = begun_;
        begun_ = false;
        completed_ = false;
        return was;
    }

    void Wake() override {
        {
            std::lock_guard lock(services_.lock_);
            woken_ = true;
            services_.ChangedLocked();
        }
        services_.changed_.notify_all();
    }

  private:
    static constexpr uint64_t kNotParked = ~uint64_t{0};

    // Under the services' lock: how the wait ends at the current time, if it ends now.
    // Due is set to when the begun read's next report falls due, if one is pending.
    std::optional<TWaitResult> Look(std::optional<uint64_t>& Due) {
        if (woken_) {
            woken_ = false;
            return TWaitResult::Woken;
        }
        if (!begun_ || completed_) return std::nullopt;
        TDevice* dev = services_.DeviceOf(handle_);
        if (!dev || dev->Desc.Model->Gone()) {
            end_ = {0, true, kErrNotConnected};
            completed_ = true;
            return TWaitResult::Completed;
        }
        TDeviceModel& model = *dev->Desc.Model;
        if (auto report = model.NextReport(services_.NowUs())) {
            const uint32_t n = std::min<uint32_t>(length_, static_cast<uint32_t>(report->size()));
            std::memcpy(buffer_, report->data(), n);
            end_ = {n, false, 0};
            completed_ = true;
            return TWaitResult::Completed;
        }
        Due = model.NextDueUs();
        return std::nullopt;
    }

    // The time-out counts on the virtual clock too. With nothing to do at the current
    // virtual time the reader parks and tells the main thread, which may then move on.
    TWaitResult WaitVirtual(std::unique_lock<std::mutex>& Lock, int32_t Ms) {
        const uint64_t deadline = services_.NowUs() + static_cast<uint64_t>(Ms) * 1000;
        for (;;) {
            std::optional<uint64_t> due;
            if (const auto ended = Look(due)) return *ended;
            if (services_.NowUs() >= deadline) return TWaitResult::TimedOut;
            parkedIn_ = services_.epoch_;
            --services_.unparked_;
            wakeAtUs_ = std::min(deadline, due.value_or(deadline));
            Lock.unlock();
            if (services_.virtualMain_) services_.virtualMain_->Wake();
            Lock.lock();
            services_.changed_.wait(Lock, [&] { return services_.epoch_ != parkedIn_; });
            parkedIn_ = kNotParked;
        }
    }

    TSimServices& services_;
    THandle handle_ = kNoHandle;
    uint8_t* buffer_ = nullptr;
    uint32_t length_ = 0;
    TReadEnd end_;
    bool begun_ = false;
    bool completed_ = false;
    bool woken_ = false;             // under services_.lock_
    uint64_t parkedIn_ = kNotParked; // the epoch this reader parked in; under services_.lock_
    uint64_t wakeAtUs_ = 0;          // parked: the virtual time it has something to do at

    friend class TSimServices;
};

TSimServices::TSimServices() = default;

TSimServices::~TSimServices() {
    CloseNotices();
}

void TSimServices::Changed() {
    {
        std::lock_guard lock(lock_);
        ChangedLocked();
    }
    changed_.notify_all();
}

void TSimServices::UseVirtualClock(TMainThread& Main) {
    std::lock_guard lock(lock_);
    virtualMain_ = &Main;
    virtual_ = true;
}

void TSimServices::AdvanceTo(uint64_t Us) {
    {
        std::lock_guard lock(lock_);
        if (Us <= virtualUs_) return;
        virtualUs_ = Us;
        // A parked reader stays parked (and asleep) until the time it waits for: most ticks
        // wake no thread at all.
        const bool due = std::any_of(waiters_.begin(), waiters_.end(), [&](const TWaiter* w) {
            return w->parkedIn_ == epoch_ && w->wakeAtUs_ <= Us;
        });
        if (!due) return;
        ChangedLocked();
    }
    changed_.notify_all();
}

bool TSimServices::Settled() {
    return unparked_.load() == 0;
}

uint64_t TSimServices::NowUs() const {
    if (virtual_) return virtualUs_;
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now() - start_).count());
}

std::string TSimServices::PathOf(uint32_t Id) {
    return kPathPrefix + std::to_string(Id);
}

uint32_t TSimServices::Plug(TSimDeviceSpec Desc) {
    if (!Desc.Model)
        Desc.Model = std::make_shared<TQueueModel>(Desc.InputLength, Desc.OutputLength);
    Desc.Model->SetInputNotice([this] { Changed(); });
    uint32_t id;
    {
        std::lock_guard lock(lock_);
        id = nextDevice_++;
        devices_[id] = TDevice{std::move(Desc), true};
    }
    PostNotice({kDeviceChangeMessage, kDevNodesChanged, 0});
    return id;
}

void TSimServices::Unplug(uint32_t Id) {
    TDevice gone;
    {
        std::lock_guard lock(lock_);
        const auto it = devices_.find(Id);
        if (it == devices_.end() || !it->second.Present) return;
        // Forgotten at once: its handles fail as they would on a missing device, and a long
        // run of plugs neither keeps every model alive nor slows each enumeration down.
        gone = std::move(it->second);
        devices_.erase(it);
    }
    Changed();
    PostNotice({kDeviceChangeMessage, kDevNodesChanged, 0});
}

size_t TSimServices::OpenHandleCount() {
    std::lock_guard lock(lock_);
    return handles_.size();
}

TSimServices::TDevice* TSimServices::DeviceOf(THandle Handle) {
    const auto h = handles_.find(Handle);
    if (h == handles_.end()) return nullptr;
    const auto d = devices_.find(h->second.Device);
    if (d == devices_.end() || !d->second.Present) return nullptr;
    return &d->second;
}

std::vector<THidPnPInfo> TSimServices::CollectInterfaces(const THidGuid&) {
    std::vector<THidPnPInfo> result;
    std::lock_guard lock(lock_);
    for (const auto& [id, dev] : devices_) {
        if (!dev.Present) continue;
        THidPnPInfo info;
        info.DeviceID = id;
        info.DevicePath = PathOf(id);
        info.ClassDescr = "HIDClass";
        info.DeviceDescr = "Simulated HID device";
        info.Mfg = dev.Desc.Manufacturer;
        char hw[40];
        std::snprintf(hw, sizeof hw, "HID\\VID_%04X&PID_%04X", dev.Desc.VendorID,
                      dev.Desc.ProductID);
        info.HardwareID.push_back(hw);
        info.EnumeratorName = "SIM";
        result.push_back(std::move(info));
    }
    return result;
}

THandle TSimServices::Open(const std::string& Path, TOpenMode Mode) {
    std::lock_guard lock(lock_);
    uint32_t id = 0;
    if (Path.rfind(kPathPrefix, 0) == 0) id = static_cast<uint32_t>(std::atoi(Path.c_str() + 8));
    const auto d = devices_.find(id);
    if (d == devices_.end() || !d->second.Present || !d->second.Desc.Openable) {
        lastError = kErrFileNotFound;
        return kNoHandle;
    }
    if (Mode != TOpenMode::QueryOnly && !d->second.Desc.ReadWriteAllowed) {
        lastError = kErrAccessDenied;
        return kNoHandle;
    }
    const THandle handle = nextHandle_++;
    handles_[handle] = {id, Mode};
    return handle;
}

void TSimServices::Close(THandle Handle) {
    std::lock_guard lock(lock_);
    handles_.erase(Handle);
}

bool TSimServices::GetAttributes(THandle Handle, THidAttributes& Attributes) {
    std::lock_guard lock(lock_);
    TDevice* dev = DeviceOf(Handle);
    if (!dev || !dev->Desc.Identifiable) {
        lastError = dev ? kErrInvalidParameter : kErrNotConnected;
        return false;
    }
    Attributes.VendorID = dev->Desc.VendorID;
    Attributes.ProductID = dev->Desc.ProductID;
    Attributes.VersionNumber = dev->Desc.VersionNumber;
    return true;
}

bool TSimServices::GetPreparsedData(THandle Handle, TPreparsed& Data) {
    std::lock_guard lock(lock_);
    TDevice* dev = DeviceOf(Handle);
    if (!dev) {
        lastError = kErrNotConnected;
        return false;
    }
    auto* caps = new THidCaps{};
    caps->UsagePage = 0xFF00;
    caps->Usage = 0x01;
    caps->InputReportByteLength = dev->Desc.Model->InputReportLength();
    caps->OutputReportByteLength = dev->Desc.Model->OutputReportLength();
    Data = caps;
    return true;
}

void TSimServices::FreePreparsedData(TPreparsed Data) {
    delete static_cast<THidCaps*>(Data);
}

bool TSimServices::GetCaps(TPreparsed Data, THidCaps& Caps) {
    if (!Data) return false;
    Caps = *static_cast<const THidCaps*>(Data);
    return true;
}

bool TSimServices::GetProductString(THandle Handle, char16_t* Buffer, uint32_t Bytes) {
    std::lock_guard lock(lock_);
    TDevice* dev = DeviceOf(Handle);
    if (!dev || dev->Desc.Product.empty() || Bytes < 2) {
        lastError = dev ? kErrInvalidParameter : kErrNotConnected;
        return false;
    }
    const size_t n = std::min<size_t>(dev->Desc.Product.size(), Bytes / 2 - 1);
    std::copy_n(dev->Desc.Product.begin(), n, Buffer);
    Buffer[n] = 0;
    return true;
}

bool TSimServices::Write(THandle Handle, const uint8_t* Buffer, uint32_t Length,
                         uint32_t& Written) {
    Written = 0;
    {
        std::lock_guard lock(lock_);
        const auto h = handles_.find(Handle);
        TDevice* dev = DeviceOf(Handle);
        if (h == handles_.end() || !dev) {
            lastError = h == handles_.end() ? kErrInvalidHandle : kErrNotConnected;
            return false;
        }
        if (h->second.Mode != TOpenMode::ReadWrite) {
            lastError = kErrAccessDenied;
            return false;
        }
        TDeviceModel& model = *dev->Desc.Model;
        // The HID class driver takes whole output reports only.
        if (Length != model.OutputReportLength()) {
            lastError = kErrInvalidParameter;
            return false;
        }
        if (model.Gone()) {
            lastError = kErrNotConnected;
            return false;
        }
        if (!model.WriteReport(Buffer, Length, NowUs())) {
            lastError = kErrGenFailure;
            return false;
        }
        Written = Length;
        if (virtual_ && !ReplyDueLocked(h->second.Device, model)) return true;
        ChangedLocked();
    }
    changed_.notify_all();
    return true;
}

bool TSimServices::ReplyDueLocked(uint32_t Device, TDeviceModel& Model) {
    // A reply that falls due later needs no reader awake now: the parked readers of the
    // device are told when to look again, and AdvanceTo wakes them then.
    const std::optional<uint64_t> due = Model.NextDueUs();
    if (due && *due <= virtualUs_) return true;
    for (TWaiter* w : waiters_) {
        if (w->parkedIn_ != epoch_) continue; // not parked: it looks again by itself
        const auto h = handles_.find(w->handle_);
        if (!w->begun_ || h == handles_.end() || h->second.Device != Device) continue;
        if (due) w->wakeAtUs_ = std::min(w->wakeAtUs_, *due);
    }
    return false;
}

std::unique_ptr<TReadWaiter> TSimServices::NewReadWaiter() {
    return std::make_unique<TWaiter>(*this);
}

bool TSimServices::OpenNotices(TMainThread& Main, std::function<void(TDeviceNotice)> Notice) {
    main_ = &Main;
    sink_ = std::make_shared<std::function<void(TDeviceNotice)>>(std::move(Notice));
    return true;
}

void TSimServices::PostNotice(TDeviceNotice Notice) {
    if (!main_ || !sink_) return;
    std::weak_ptr<std::function<void(TDeviceNotice)>> weak = sink_;
    main_->Post([weak, Notice] {
        if (const auto sink = weak.lock()) (*sink)(Notice);
    });
}

void TSimServices::CloseNotices() {
    sink_.reset();
    main_ = nullptr;
}

uint32_t TSimServices::LastError() const {
    return lastError;
}

void TSimServices::SetLastError(uint32_t Code) {
    lastError = Code;
}

std::string TSimServices::ErrorMessage(uint32_t Code) const {
    switch (Code) {
    case 0:
        return "The operation completed successfully.";
    case kErrFileNotFound:
        return "The system cannot find the file specified.";
    case kErrAccessDenied:
        return "Access is denied.";
    case kErrInvalidHandle:
        return "The handle is invalid.";
    case kErrInvalidParameter:
        return "The parameter is incorrect.";
    case kErrNotConnected:
        return "The device is not connected.";
    case kErrGenFailure:
        return "A device attached to the system is not functioning.";
    default:
        return "Error " + std::to_string(Code) + ".";
    }
}

TErrorKind TSimServices::ErrorKind(uint32_t Code) const {
    switch (Code) {
    case kErrAccessDenied:
        return TErrorKind::AccessDenied;
    // Read as the Windows services read the same codes; a unit that vanishes refuses its
    // last write with kErrGenFailure.
    case kErrNotConnected:
    case kErrGenFailure:
    case kErrInvalidHandle:
        return TErrorKind::NotConnected;
    default:
        return TErrorKind::Other;
    }
}

void TSimServices::AnnounceThreadName(const std::string& Name) {
#if defined(__linux__)
    pthread_setname_np(pthread_self(), Name.substr(0, 15).c_str());
#else
    (void)Name;
#endif
}

bool SettleVirtual(TSimServices& Services, TManualMainThread& Main) {
    const auto settled = [&Services] { return Services.Settled(); };
    for (;;) {
        // Most ticks find every reader parked and nothing handed over: no wait to set up.
        const bool idle = Services.Settled() && Main.PendingSends() == 0;
        if (!idle && !Main.ServeFor(settled, kSettleLimitMs)) return false;
        if (!Main.RunOnePost()) return true;
    }
}

} // namespace hid::sim
