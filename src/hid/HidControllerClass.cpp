#include "hid/HidControllerClass.h"

#include <algorithm>
#include <cstring>

namespace hid {

namespace {

// Restores a flag however the scope is left.
class TFlagGuard {
  public:
    template <typename Flag> TFlagGuard(Flag& F, bool Value) : reset_([&F] { F = false; }) {
        F = Value;
    }
    ~TFlagGuard() { reset_(); }
    TFlagGuard(const TFlagGuard&) = delete;
    TFlagGuard& operator=(const TFlagGuard&) = delete;

  private:
    std::function<void()> reset_;
};

} // namespace

// --- TCustomThread ---

TCustomThread::~TCustomThread() {
    if (thread_.joinable()) {
        Terminate();
        thread_.join();
    }
}

std::string TCustomThread::DebugName() const {
    if (ThreadName.empty()) return ClassName();
    return ThreadName + " {" + ClassName() + "}";
}

void TCustomThread::AnnounceName(const std::string& Name, int64_t ThreadId) {
    if (ThreadId != -1) return;
    if (TPlatformServices* services = NamingServices()) services->AnnounceThreadName(Name);
}

void TCustomThread::Start() {
    thread_ = std::thread([this] {
        try {
            Execute();
        } catch (...) {
            // Nothing may escape a thread; the reader reports its failures itself.
        }
        finished_ = true;
        Ended();
    });
}

void TCustomThread::Terminate() {
    terminated_ = true;
    WakeUp();
}

void TCustomThread::WaitFor(TMainThread& Main) {
    if (!thread_.joinable()) return;
    Main.ServeUntil([this] { return Finished(); });
    thread_.join();
}

// --- THidDeviceReadThread ---

THidDeviceReadThread::THidDeviceReadThread(THidDevice* Device)
    : SourceDevice(Device), waiter_(Device->services_.NewReadWaiter()) {
    // One byte at least, so that the data pointer handed to the handler is always valid.
    ReportBuffer.assign(std::max<size_t>(Device->QueryCaps().InputReportByteLength, 1), 0);
}

THidDeviceReadThread::~THidDeviceReadThread() {
    if (!Finished()) {
        Terminate();
        WaitFor(SourceDevice->main_);
    }
}

void THidDeviceReadThread::WakeUp() {
    waiter_->Wake();
}

TPlatformServices* THidDeviceReadThread::NamingServices() const {
    return &SourceDevice->services_;
}

void THidDeviceReadThread::Ended() {
    SourceDevice->main_.Wake();
}

void THidDeviceReadThread::Execute() {
    AnnounceName(DebugName(), -1);
    THidDevice& dev = *SourceDevice;
    TWaitResult wait = TWaitResult::Completed;
    while (!Terminated()) {
        wait = TWaitResult::Completed;
        const uint32_t length = std::min<uint32_t>(dev.CapsFromPreparsed().InputReportByteLength,
                                                   static_cast<uint32_t>(ReportBuffer.size()));
        std::memset(ReportBuffer.data(), 0, length);
        if (dev.BeginRead(ReportBuffer.data(), length)) {
            do {
                wait = waiter_->Wait(dev.SleepTime());
            } while (!Terminated() && wait == TWaitResult::TimedOut);
            if (Terminated()) break;
            BytesRead = dev.ReadResult();
            if (BytesRead > 0) dev.main_.Send([this] { DeliverReport(); });
        } else {
            {
                std::lock_guard lock(dev.readLock_);
                LastError = dev.lastReadError_;
            }
            dev.main_.Send([this] { DeliverError(); });
            waiter_->Wait(dev.SleepTime());
        }
    }
    // Whatever ended the loop, no read may stay outstanding and an orphaned handle is
    // closed here, by the only thread that was still using it.
    dev.CancelRead();
}

void THidDeviceReadThread::DeliverReport() {
    THidDevice* dev = SourceDevice;
    if (!dev->dataHandler_) return;
    dev->dataHandler_(dev, ReportBuffer[0], ReportBuffer.data() + 1,
                      static_cast<uint16_t>(BytesRead - 1));
}

void THidDeviceReadThread::DeliverError() {
    THidDevice* dev = SourceDevice;
    if (dev->dataErrorHandler_) dev->dataErrorHandler_(dev, LastError);
}

// --- THidDevice ---

THidDevice::THidDevice(THidPnPInfo Info, THidDeviceController* Owner)
    : services_(Owner->Services()), main_(Owner->Main()), controller_(Owner),
      pnpInfo_(std::make_unique<THidPnPInfo>(std::move(Info))) {
    SetDataHandler(Owner->OnDeviceData());
    unplugHandler_ = Owner->OnDeviceUnplug();
    mainHandle_ = OpenFile(TOpenMode::ReadWrite);
    readWriteAccess_ = mainHandle_ != kNoHandle;
    if (!readWriteAccess_) {
        const uint32_t refused = services_.LastError();
        mainHandle_ = OpenFile(TOpenMode::QueryOnly);
        if (mainHandle_ == kNoHandle) {
            // A refused read-write open says more (a missing access rule) than the
            // query-only one that came after it.
            const uint32_t code = services_.ErrorKind(refused) == TErrorKind::AccessDenied
                                      ? refused
                                      : services_.LastError();
            throw EControllerError("Device cannot be opened", code);
        }
    }
    attributes_.Size = 12;
    if (!services_.GetAttributes(mainHandle_, attributes_)) {
        const uint32_t code = services_.LastError();
        CloseMain();
        throw EControllerError("Device cannot be identified", code);
    }
    CloseMain();
}

THidDevice::~THidDevice() {
    const THidDataEvent keptData = dataHandler_;
    const THidPlugEvent keptUnplug = unplugHandler_;
    SetDataHandler({});
    unplugHandler_ = {};
    CloseMain();
    CloseRead();
    if (TPreparsed data = preparsed_.exchange(nullptr)) services_.FreePreparsedData(data);
    if (!controller_) return;
    auto& list = controller_->devices_;
    const auto at = std::find(list.begin(), list.end(), this);
    if (at == list.end()) return;
    if (!PluggedIn()) {
        list.erase(at);
        --controller_->unpluggedCount_;
        return;
    }
    // The device is still present, so the list keeps an object for it.
    try {
        auto* fresh = new THidDevice(std::move(*pnpInfo_), controller_);
        fresh->dataHandler_ = keptData;
        fresh->unplugHandler_ = keptUnplug;
        fresh->sleepTime_ = sleepTime_.load();
        *at = fresh;
        if (CheckedOut()) {
            --controller_->checkedOutCount_;
            ++controller_->checkedInCount_;
        }
    } catch (...) {
        // It vanished meanwhile: the next change notice has nothing left to remove.
        list.erase(at);
        if (CheckedOut())
            --controller_->checkedOutCount_;
        else
            --controller_->checkedInCount_;
    }
}

THandle THidDevice::OpenFile(TOpenMode Mode) {
    return services_.Open(pnpInfo_->DevicePath, Mode);
}

uint32_t THidDevice::LastErrorCode() const {
    return lastError_;
}

std::string THidDevice::ErrorMessage(uint32_t Code) const {
    return services_.ErrorMessage(Code);
}

TErrorKind THidDevice::ErrorKind(uint32_t Code) const {
    return services_.ErrorKind(Code);
}

bool THidDevice::Accessible() const {
    return PluggedIn() && (CheckedOut() || InHandler());
}

bool THidDevice::OpenMain() {
    if (!Accessible()) {
        lastError_ = services_.NotConnectedError();
        return mainHandle_ != kNoHandle;
    }
    if (mainHandle_ == kNoHandle) {
        mainHandle_ = OpenFile(TOpenMode::ReadWrite);
        readWriteAccess_ = mainHandle_ != kNoHandle;
        if (!readWriteAccess_) mainHandle_ = OpenFile(TOpenMode::QueryOnly);
        if (mainHandle_ == kNoHandle) lastError_ = services_.LastError();
    }
    return mainHandle_ != kNoHandle;
}

void THidDevice::CloseMain() {
    if (mainHandle_ == kNoHandle) return;
    services_.Close(mainHandle_);
    mainHandle_ = kNoHandle;
}

bool THidDevice::OpenRead() {
    std::lock_guard lock(readLock_);
    return OpenReadLocked();
}

bool THidDevice::OpenReadLocked() {
    if (!Accessible() || readGone_) {
        lastReadError_ = readGone_ && goneError_ ? goneError_ : services_.NotConnectedError();
        return false;
    }
    if (readHandle_ == kNoHandle) {
        readHandle_ = OpenFile(TOpenMode::ReadAsync);
        if (readHandle_ == kNoHandle) lastReadError_ = services_.LastError();
    }
    return readHandle_ != kNoHandle;
}

void THidDevice::CloseRead() {
    std::lock_guard lock(readLock_);
    if (readHandle_ == kNoHandle) return;
    if (busyHandle_ == readHandle_) {
        // The reader is waiting on it: it closes the handle itself once woken.
        orphaned_ = true;
        reader_->Waiter().Wake();
    } else {
        services_.Close(readHandle_);
    }
    readHandle_ = kNoHandle;
}

bool THidDevice::BeginRead(uint8_t* Buffer, uint32_t Length) {
    std::lock_guard lock(readLock_);
    if (!reader_ || !OpenReadLocked()) return false;
    if (!reader_->Waiter().Begin(readHandle_, Buffer, Length)) {
        lastReadError_ = services_.LastError();
        return false;
    }
    busyHandle_ = readHandle_;
    orphaned_ = false;
    return true;
}

uint32_t THidDevice::ReadResult() {
    std::lock_guard lock(readLock_);
    if (busyHandle_ == kNoHandle) return 0;
    TReadWaiter& waiter = reader_->Waiter();
    if (orphaned_) {
        waiter.Cancel();
        services_.Close(busyHandle_);
        busyHandle_ = kNoHandle;
        orphaned_ = false;
        return 0;
    }
    const TReadEnd end = waiter.Result();
    busyHandle_ = kNoHandle;
    if (end.Gone) {
        // Reading a vanished device again would only spin; from now on every read start
        // fails until the reader is stopped (check-in).
        readGone_ = true;
        goneError_ = end.Error;
        services_.Close(readHandle_);
        readHandle_ = kNoHandle;
    }
    return end.Bytes;
}

bool THidDevice::CancelRead() {
    std::lock_guard lock(readLock_);
    if (busyHandle_ == kNoHandle) return false;
    const bool ok = reader_->Waiter().Cancel();
    if (orphaned_) services_.Close(busyHandle_);
    orphaned_ = false;
    busyHandle_ = kNoHandle;
    return ok;
}

bool THidDevice::WriteReport(const uint8_t* Buffer, uint32_t Length, uint32_t& Written) {
    Written = 0;
    if (!OpenMain()) return false;
    if (services_.Write(mainHandle_, Buffer, Length, Written)) return true;
    lastError_ = services_.LastError();
    return false;
}

THidCaps THidDevice::CapsFromPreparsed() const {
    THidCaps caps{};
    if (TPreparsed data = preparsed_.load()) {
        if (!services_.GetCaps(data, caps)) caps = THidCaps{};
    }
    return caps;
}

THidCaps THidDevice::QueryCaps() {
    if (!preparsed_.load() && OpenMain()) {
        TPreparsed data = nullptr;
        if (services_.GetPreparsedData(mainHandle_, data)) preparsed_ = data;
        CloseMain();
    }
    return CapsFromPreparsed();
}

std::u16string THidDevice::QueryProductText() {
    if (productText_.empty() && OpenMain()) {
        char16_t buffer[254] = {};
        if (services_.GetProductString(mainHandle_, buffer, sizeof buffer)) {
            size_t n = 0;
            while (n < std::size(buffer) && buffer[n] != 0)
                ++n;
            productText_.assign(buffer, n);
        }
        CloseMain();
    }
    return productText_;
}

void THidDevice::SetDataHandler(THidDataEvent Handler) {
    if (!Handler) StopReader();
    dataHandler_ = Handler;
    StartReader();
}

void THidDevice::SetSleepTime(int32_t Ms) {
    if (Ms >= 10 && Ms <= 10000) sleepTime_ = Ms;
}

void THidDevice::StartReader() {
    if (!dataHandler_ || !PluggedIn() || !CheckedOut() || !readWriteAccess_ || reader_) return;
    reader_ = std::make_unique<THidDeviceReadThread>(this);
    reader_->Start();
}

void THidDevice::StopReader() {
    if (!reader_) return;
    reader_->Terminate();
    reader_->WaitFor(main_);
    reader_.reset();
    // A read that ended as gone speaks for that reader only: a device checked in and out
    // again (Reconnect, or a fast re-plug that keeps the device id) is read afresh.
    std::lock_guard lock(readLock_);
    readGone_ = false;
    goneError_ = 0;
}

void THidDevice::HandleUnplug() {
    // Marked first: a reader whose handle is closed here tries again at once, and it must
    // find the device gone, not open its path anew (a not-found, read as some other fault).
    pluggedIn_ = false;
    CloseMain();
    CloseRead();
    if (unplugHandler_) unplugHandler_(this);
    unplugHandler_ = {};
}

// --- THidDeviceController ---

THidDeviceController::THidDeviceController(TPlatformServices& Services, TMainThread& MainThread)
    : services_(Services), main_(MainThread) {
    if (!services_.Available()) return;
    hidGuid_ = services_.HidGuid();
    noticesOpen_ = services_.OpenNotices(main_, [this](TDeviceNotice N) { HandleNotice(N); });
    const TDeviceNotice first{kDeviceChangeMessage, kDevNodesChanged, -1};
    if (noticesOpen_) {
        services_.PostNotice(first);
        return;
    }
    // No notice source, but the devices can be listed: the first pass still runs, so the
    // start-up rule holds and a transceiver present at start is found.
    std::weak_ptr<bool> alive = alive_;
    main_.Post([this, alive, first] {
        if (alive.lock()) HandleNotice(first);
    });
}

THidDeviceController::~THidDeviceController() {
    destroying_ = true;
    onDeviceChange_ = {};
    onDeviceUnplug_ = {};
    onEnumerate_ = {};
    if (noticesOpen_) services_.CloseNotices();
    const std::vector<THidDevice*> list = std::move(devices_);
    devices_.clear();
    for (THidDevice* dev : list) {
        dev->controller_ = nullptr;
        if (dev->CheckedOut())
            dev->HandleUnplug();
        else
            delete dev;
    }
}

void THidDeviceController::HandleNotice(const TDeviceNotice& Notice) {
    if (destroying_ || Notice.Message != kDeviceChangeMessage || Notice.Event != kDevNodesChanged)
        return;
    lastNoticeParam_ = Notice.Param;
    if (inChange_) {
        // The pass may already have looked at the devices, and the platform will not
        // tell again (udev has handed this event over already).
        noticeInChange_ = true;
        return;
    }
    loading_ = false;
    {
        // Cleared however the pass ends: a handler that throws must not block every
        // later notice.
        TFlagGuard guard(inChange_, true);
        do {
            noticeInChange_ = false;
            DeviceChange();
        } while (noticeInChange_ && !destroying_);
    }
    RaiseUnreported();
}

void THidDeviceController::RaiseUnreported() {
    std::vector<std::string> errors;
    for (TUnopenedDevice& u : unopened_) {
        if (u.Reported) continue;
        u.Reported = true;
        errors.push_back(u.Error);
    }
    if (errors.empty()) return;
    // One error box per device: the first is raised here, the others after it.
    std::weak_ptr<bool> alive = alive_;
    for (size_t i = 1; i < errors.size(); ++i) {
        main_.Post([alive, error = errors[i]] {
            if (alive.lock()) throw EControllerError(error);
        });
    }
    throw EControllerError(errors.front());
}

template <typename Handler> void THidDeviceController::Fire(const Handler& H, THidDevice* Dev) {
    if (!H) return;
    TFlagGuard guard(Dev->inHandler_, true);
    H(Dev);
}

THidDeviceController::TPresent THidDeviceController::CollectPresent() {
    TPresent present;
    if (!services_.Available()) return present;
    std::vector<TUnopenedDevice> unopened;
    for (THidPnPInfo& info : services_.CollectInterfaces(hidGuid_)) {
        present.IDs.push_back(info.DeviceID);
        const bool listed = std::any_of(devices_.begin(), devices_.end(), [&](THidDevice* dev) {
            return dev->PluggedIn() && dev->PnPInfo().DeviceID == info.DeviceID;
        });
        if (listed) continue;
        THidPnPInfo kept = info;
        try {
            present.Fresh.push_back(std::make_unique<THidDevice>(std::move(info), this));
        } catch (const EControllerError& e) {
            // Left out of this pass only: the others are listed all the same, and the next
            // pass tries it again (a permission may be granted a moment after the plug-in).
            TUnopenedDevice u{std::move(kept), e.what(), false, e.Code, false};
            u.Opened = u.Error != "Device cannot be opened";
            for (const TUnopenedDevice& known : unopened_) {
                if (known.PnPInfo.DeviceID == u.PnPInfo.DeviceID) u.Reported = known.Reported;
            }
            unopened.push_back(std::move(u));
        }
    }
    unopened_ = std::move(unopened);
    return present;
}

void THidDeviceController::DeviceChange() {
    bool changed = lastNoticeParam_ == -1;
    TPresent present = CollectPresent();

    for (size_t i = devices_.size(); i-- > 0;) {
        if (i >= devices_.size()) continue; // a handler shortened the list
        THidDevice* dev = devices_[i];
        if (dev->PluggedIn() && std::find(present.IDs.begin(), present.IDs.end(),
                                          dev->PnPInfo().DeviceID) != present.IDs.end())
            continue;
        dev->HandleUnplug();
        Fire(onRemoval_, dev);
        changed = true;
        // A handler may have checked the device in (and so destroyed it) already.
        if (i < devices_.size() && devices_[i] == dev && !dev->CheckedOut()) {
            devices_.erase(devices_.begin() + static_cast<std::ptrdiff_t>(i));
            dev->controller_ = nullptr;
            delete dev;
        }
    }

    for (auto& f : present.Fresh) {
        THidDevice* dev = f.release();
        devices_.push_back(dev);
        changed = true;
        Fire(onArrival_, dev);
    }

    Recount();
    if (changed && onDeviceChange_) onDeviceChange_(this);
}

void THidDeviceController::Recount() {
    checkedInCount_ = 0;
    unpluggedCount_ = 0;
    int32_t out = 0;
    for (const THidDevice* dev : devices_) {
        if (dev->CheckedOut())
            ++out;
        else
            ++checkedInCount_;
        if (!dev->PluggedIn()) ++unpluggedCount_;
    }
    checkedOutCount_ = out - unpluggedCount_;
}

int32_t THidDeviceController::Enumerate() {
    int32_t count = 0;
    for (size_t i = 0; i < devices_.size(); ++i) {
        THidDevice* dev = devices_[i];
        if (!dev->PluggedIn()) continue;
        ++count;
        bool goOn = false;
        if (onEnumerate_) {
            {
                TFlagGuard guard(dev->inHandler_, true);
                goOn = onEnumerate_(dev, static_cast<int32_t>(i));
            }
            if (!dev->CheckedOut()) {
                dev->CloseMain();
                dev->CloseRead();
            }
        }
        if (!goOn) break;
    }
    return count;
}

bool THidDeviceController::CheckOutAt(THidDevice*& HidDev, size_t Index, bool Eligible) {
    if (!Eligible || Index >= devices_.size() || devices_[Index]->CheckedOut()) return false;
    HidDev = devices_[Index];
    HidDev->checkedOut_ = true;
    ++checkedOutCount_;
    --checkedInCount_;
    HidDev->StartReader();
    return true;
}

bool THidDeviceController::CheckOutByIdentifiers(THidDevice*& HidDev, int32_t VendorID,
                                                 int32_t ProductID) {
    HidDev = nullptr;
    for (size_t i = 0; i < devices_.size(); ++i) {
        const THidAttributes& a = devices_[i]->Attributes();
        const bool eligible =
            a.VendorID == VendorID && (ProductID == -1 || a.ProductID == ProductID);
        if (CheckOutAt(HidDev, i, eligible)) return true;
    }
    return false;
}

bool THidDeviceController::CheckOutByIdentifiers(TCustomHidDevice*& HidDev, int32_t VendorID,
                                                 int32_t ProductID) {
    THidDevice* dev = nullptr;
    const bool ok = CheckOutByIdentifiers(dev, VendorID, ProductID);
    HidDev = dev;
    return ok;
}

void THidDeviceController::CheckIn(THidDevice*& HidDev) {
    if (!HidDev) return;
    THidDevice* dev = HidDev;
    dev->StopReader();
    dev->CloseMain();
    dev->CloseRead();
    if (dev->PluggedIn()) {
        // A second check-in of the same device must not count it twice.
        if (dev->CheckedOut()) {
            dev->checkedOut_ = false;
            --checkedOutCount_;
            ++checkedInCount_;
        }
    } else {
        delete dev;
    }
    HidDev = nullptr;
}

void THidDeviceController::CheckIn(TCustomHidDevice*& HidDev) {
    THidDevice* dev = dynamic_cast<THidDevice*>(HidDev);
    CheckIn(dev);
    HidDev = nullptr;
}

void THidDeviceController::SetOnDeviceChange(TNotifyEvent Handler) {
    if (Handler == onDeviceChange_) return;
    onDeviceChange_ = Handler;
    if (!loading_) DeviceChange();
}

void THidDeviceController::SetOnDeviceData(THidDataEvent Handler) {
    if (Handler == onDeviceData_) return;
    const THidDataEvent old = onDeviceData_;
    onDeviceData_ = Handler;
    // A device's reader may run hand-overs while it stops; walk a copy of the list.
    const std::vector<THidDevice*> list = devices_;
    for (THidDevice* dev : list) {
        if (dev->DataHandler() == old) dev->SetDataHandler(Handler);
    }
}

void THidDeviceController::SetOnDeviceDataError(THidDataErrorEvent Handler) {
    if (Handler == onDeviceDataError_) return;
    for (THidDevice* dev : devices_) {
        if (dev->DataErrorHandler() == onDeviceDataError_) dev->SetDataErrorHandler(Handler);
    }
    onDeviceDataError_ = Handler;
}

void THidDeviceController::SetOnDeviceUnplug(THidPlugEvent Handler) {
    if (Handler == onDeviceUnplug_) return;
    for (THidDevice* dev : devices_) {
        if (dev->UnplugHandler() == onDeviceUnplug_) dev->SetUnplugHandler(Handler);
    }
    onDeviceUnplug_ = Handler;
}

void THidDeviceController::SetDevThreadSleepTime(int32_t Ms) {
    if (Ms == devThreadSleepTime_) return;
    for (THidDevice* dev : devices_) {
        if (dev->SleepTime() == devThreadSleepTime_) dev->SetSleepTime(Ms);
    }
    devThreadSleepTime_ = Ms;
}

} // namespace hid
