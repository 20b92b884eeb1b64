// HID services on Windows: SetupAPI and HID.dll bound by name, the device path opened with
// CreateFileA, input reports read with ReadFileEx and alertable waits, and the device-change
// broadcast received by a hidden top-level window.
#include "hid/windows/WindowsHidServices.h"

#include "hid/MainThread.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <dbt.h>
#include <setupapi.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

namespace hid::os_windows {

namespace {

// HID.dll's records, declared here so that no driver-kit header is needed.
struct THiddAttributes {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
};
static_assert(sizeof(THiddAttributes) == 12);
// THidCaps is laid out as HIDP_CAPS and is filled in place.
static_assert(sizeof(THidCaps) == 64);
static_assert(offsetof(THidCaps, InputReportByteLength) == 4);
static_assert(offsetof(THidCaps, NumberLinkCollectionNodes) == 44);

constexpr LONG kHidpStatusSuccess = 0x00110000;

// Property buffers as the device registry is read: texts, multi-texts and numbers.
constexpr DWORD kTextBuffer = 1024;
constexpr DWORD kListBuffer = 16384;

// How long a cancelled read may take to report its end before its record is given up.
constexpr int kCancelWaits = 20;
constexpr DWORD kCancelWaitMs = 100;

constexpr char kNoticeClass[] = "SvHidNoticeWindow";

HANDLE AsHandle(THandle Handle) {
    return reinterpret_cast<HANDLE>(Handle);
}

// GetProcAddress gives a generic function pointer; going through void* keeps the compiler
// from warning about the cast to the real signature.
template <typename F> bool Bind(HMODULE Lib, const char* Name, F& Fn) {
    Fn = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(Lib, Name)));
    return Fn != nullptr;
}

std::string GuidText(const GUID& G) {
    char s[40];
    std::snprintf(s, sizeof s, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(G.Data1), G.Data2, G.Data3, G.Data4[0], G.Data4[1],
                  G.Data4[2], G.Data4[3], G.Data4[4], G.Data4[5], G.Data4[6], G.Data4[7]);
    return s;
}

// The bytes up to the first zero, never past Size.
std::string ZeroEnded(const char* Bytes, size_t Size) {
    const void* zero = std::memchr(Bytes, 0, Size);
    return std::string(Bytes, zero ? static_cast<const char*>(zero) - Bytes : Size);
}

bool IsGoneError(DWORD Code) {
    return Code == ERROR_DEVICE_NOT_CONNECTED || Code == ERROR_INVALID_HANDLE ||
           Code == ERROR_GEN_FAILURE || Code == ERROR_DEV_NOT_EXIST;
}

} // namespace

struct TWindowsServices::TApi {
    HMODULE SetupApi = nullptr;
    HMODULE Hid = nullptr;
    bool SetupApiBound = false;
    bool HidBound = false;
    DWORD BindError = 0;

    decltype(&SetupDiGetClassDevsA) GetClassDevs = nullptr;
    decltype(&SetupDiEnumDeviceInterfaces) EnumDeviceInterfaces = nullptr;
    decltype(&SetupDiGetDeviceInterfaceDetailA) GetDeviceInterfaceDetail = nullptr;
    decltype(&SetupDiGetDeviceRegistryPropertyA) GetDeviceRegistryProperty = nullptr;
    decltype(&SetupDiDestroyDeviceInfoList) DestroyDeviceInfoList = nullptr;

    void(WINAPI* GetHidGuid)(GUID*) = nullptr;
    BOOLEAN(WINAPI* GetAttributes)(HANDLE, THiddAttributes*) = nullptr;
    BOOLEAN(WINAPI* GetPreparsedData)(HANDLE, void**) = nullptr;
    BOOLEAN(WINAPI* FreePreparsedData)(void*) = nullptr;
    LONG(WINAPI* GetCaps)(void*, THidCaps*) = nullptr;
    BOOLEAN(WINAPI* GetProductString)(HANDLE, void*, ULONG) = nullptr;

    HRESULT(WINAPI* SetThreadDescription)(HANDLE, PCWSTR) = nullptr;

    explicit TApi(const TLibraryNames& Names) {
        SetupApi = LoadLibraryA(Names.SetupApi.c_str());
        SetupApiBound =
            SetupApi && Bind(SetupApi, "SetupDiGetClassDevsA", GetClassDevs) &&
            Bind(SetupApi, "SetupDiEnumDeviceInterfaces", EnumDeviceInterfaces) &&
            Bind(SetupApi, "SetupDiGetDeviceInterfaceDetailA", GetDeviceInterfaceDetail) &&
            Bind(SetupApi, "SetupDiGetDeviceRegistryPropertyA", GetDeviceRegistryProperty) &&
            Bind(SetupApi, "SetupDiDestroyDeviceInfoList", DestroyDeviceInfoList);
        if (!SetupApiBound) {
            BindError = GetLastError();
        } else {
            // Only with the device-setup services is there any point in the HID ones.
            Hid = LoadLibraryA(Names.Hid.c_str());
            HidBound = Hid && Bind(Hid, "HidD_GetHidGuid", GetHidGuid) &&
                       Bind(Hid, "HidD_GetAttributes", GetAttributes) &&
                       Bind(Hid, "HidD_GetPreparsedData", GetPreparsedData) &&
                       Bind(Hid, "HidD_FreePreparsedData", FreePreparsedData) &&
                       Bind(Hid, "HidP_GetCaps", GetCaps) &&
                       Bind(Hid, "HidD_GetProductString", GetProductString);
            if (!HidBound) BindError = GetLastError();
        }
        // Windows 10 1607 and later; older systems simply get no thread names.
        if (HMODULE kernel = GetModuleHandleA("kernel32.dll"))
            Bind(kernel, "SetThreadDescription", SetThreadDescription);
    }

    ~TApi() {
        if (Hid) FreeLibrary(Hid);
        if (SetupApi) FreeLibrary(SetupApi);
    }

    TApi(const TApi&) = delete;
    TApi& operator=(const TApi&) = delete;

    // A device registry property as text: strings up to their first zero; the binary bus
    // type GUID and numbers in their usual written form rather than as raw bytes.
    std::string Text(HDEVINFO Set, SP_DEVINFO_DATA& Node, DWORD Property,
                     std::vector<char>& Buffer) const {
        Buffer.assign(kTextBuffer, 0);
        DWORD type = 0, got = 0;
        if (!GetDeviceRegistryProperty(Set, &Node, Property, &type,
                                       reinterpret_cast<BYTE*>(Buffer.data()), kTextBuffer, &got))
            return {};
        got = std::min(got, kTextBuffer);
        if (type == REG_BINARY && got == sizeof(GUID)) {
            GUID g;
            std::memcpy(&g, Buffer.data(), sizeof g);
            return GuidText(g);
        }
        if (type == REG_DWORD && got == sizeof(DWORD)) {
            DWORD v;
            std::memcpy(&v, Buffer.data(), sizeof v);
            char s[16];
            std::snprintf(s, sizeof s, "0x%08lX", static_cast<unsigned long>(v));
            return s;
        }
        return ZeroEnded(Buffer.data(), got);
    }

    TStringList List(HDEVINFO Set, SP_DEVINFO_DATA& Node, DWORD Property,
                     std::vector<char>& Buffer) const {
        TStringList list;
        Buffer.assign(kListBuffer, 0);
        DWORD type = 0, got = 0;
        if (!GetDeviceRegistryProperty(Set, &Node, Property, &type,
                                       reinterpret_cast<BYTE*>(Buffer.data()), kListBuffer, &got))
            return list;
        // Zero-ended texts up to an empty one, never past what the platform wrote.
        const size_t end = std::min<size_t>(got, kListBuffer);
        for (size_t i = 0; i < end && Buffer[i] != 0;) {
            std::string item = ZeroEnded(Buffer.data() + i, end - i);
            i += item.size() + 1;
            list.push_back(std::move(item));
        }
        return list;
    }

    uint32_t Number(HDEVINFO Set, SP_DEVINFO_DATA& Node, DWORD Property) const {
        DWORD value = 0;
        DWORD type = 0;
        if (!GetDeviceRegistryProperty(Set, &Node, Property, &type, reinterpret_cast<BYTE*>(&value),
                                       sizeof value, nullptr))
            return 0;
        return value;
    }

    THidPnPInfo Describe(HDEVINFO Set, SP_DEVINFO_DATA& Node, std::string Path) const {
        THidPnPInfo info;
        std::vector<char> buffer;
        info.DeviceID = Node.DevInst;
        info.DevicePath = std::move(Path);
        info.Capabilities = Number(Set, Node, SPDRP_CAPABILITIES);
        info.ClassDescr = Text(Set, Node, SPDRP_CLASS, buffer);
        info.ClassGUID = Text(Set, Node, SPDRP_CLASSGUID, buffer);
        info.CompatibleIDs = List(Set, Node, SPDRP_COMPATIBLEIDS, buffer);
        info.ConfigFlags = Number(Set, Node, SPDRP_CONFIGFLAGS);
        info.DeviceDescr = Text(Set, Node, SPDRP_DEVICEDESC, buffer);
        info.Driver = Text(Set, Node, SPDRP_DRIVER, buffer);
        info.FriendlyName = Text(Set, Node, SPDRP_FRIENDLYNAME, buffer);
        info.HardwareID = List(Set, Node, SPDRP_HARDWAREID, buffer);
        info.LowerFilters = List(Set, Node, SPDRP_LOWERFILTERS, buffer);
        info.Mfg = Text(Set, Node, SPDRP_MFG, buffer);
        info.UpperFilters = List(Set, Node, SPDRP_UPPERFILTERS, buffer);
        info.Address = Text(Set, Node, SPDRP_ADDRESS, buffer);
        info.BusNumber = Number(Set, Node, SPDRP_BUSNUMBER);
        info.BusType = Text(Set, Node, SPDRP_BUSTYPEGUID, buffer);
        info.Characteristics = Text(Set, Node, SPDRP_CHARACTERISTICS, buffer);
        info.DevType = Number(Set, Node, SPDRP_DEVTYPE);
        info.EnumeratorName = Text(Set, Node, SPDRP_ENUMERATOR_NAME, buffer);
        info.Exclusive = Number(Set, Node, SPDRP_EXCLUSIVE);
        info.LegacyBusType = Number(Set, Node, SPDRP_LEGACYBUSTYPE);
        info.LocationInfo = Text(Set, Node, SPDRP_LOCATION_INFORMATION, buffer);
        info.PhysDevObjName = Text(Set, Node, SPDRP_PHYSICAL_DEVICE_OBJECT_NAME, buffer);
        info.SecuritySDS = Text(Set, Node, SPDRP_SECURITY_SDS, buffer);
        info.Service = Text(Set, Node, SPDRP_SERVICE, buffer);
        info.UINumber = Number(Set, Node, SPDRP_UI_NUMBER);
        info.UINumberFormat = Text(Set, Node, SPDRP_UI_NUMBER_DESC_FORMAT, buffer);
        return info;
    }
};

// --- the reader's outstanding read ---

// A read owns its record and buffer apart from the waiter: a read whose cancellation never
// reports back is given up, and its completion, should it come after all, then writes
// into memory nobody else uses.
namespace {

struct TRequest {
    OVERLAPPED Overlapped{}; // hEvent, unused by ReadFileEx, holds the request itself
    bool Done = false;
    bool Abandoned = false;
    std::vector<uint8_t> Data;
};

VOID CALLBACK ReadCompleted(DWORD, DWORD, LPOVERLAPPED Overlapped) {
    auto* request = static_cast<TRequest*>(Overlapped->hEvent);
    if (request->Abandoned) {
        delete request;
        return;
    }
    request->Done = true;
}

} // namespace

class TWindowsServices::TWaiter final : public TReadWaiter {
  public:
    TWaiter() : wake_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    ~TWaiter() override {
        // Normally the reader has collected or cancelled its read before it ended. If not,
        // the read belongs to a thread that may be gone, whose completion will never run:
        // cancel it from here and leave its record to it.
        if (begun_ && issued_ && !request_->Done) {
            CancelIoEx(handle_, &request_->Overlapped);
            request_->Abandoned = true;
            (void)request_.release();
        }
        if (wake_) CloseHandle(wake_);
    }
    TWaiter(const TWaiter&) = delete;
    TWaiter& operator=(const TWaiter&) = delete;

    bool Begin(THandle Handle, uint8_t* Buffer, uint32_t Length) override {
        if (begun_) Cancel();
        handle_ = AsHandle(Handle);
        buffer_ = Buffer;
        length_ = Length;
        if (Length == 0) {
            // Nothing can arrive in no room; the waits just pass the time.
            begun_ = true;
            issued_ = false;
            return true;
        }
        if (!request_) request_ = std::make_unique<TRequest>();
        request_->Overlapped = OVERLAPPED{};
        request_->Overlapped.hEvent = request_.get();
        request_->Done = false;
        if (request_->Data.size() < Length) request_->Data.resize(Length);
        if (!ReadFileEx(handle_, request_->Data.data(), Length, &request_->Overlapped,
                        ReadCompleted))
            return false;
        begun_ = true;
        issued_ = true;
        return true;
    }

    TWaitResult Wait(int32_t Ms) override {
        const DWORD total = Ms < 0 ? 0 : static_cast<DWORD>(Ms);
        const ULONGLONG start = GetTickCount64();
        DWORD left = total;
        for (;;) {
            if (ReadDone()) return TWaitResult::Completed;
            // Alertable: the read's completion routine runs inside this wait.
            const DWORD r = wake_ ? WaitForSingleObjectEx(wake_, left, TRUE) : SleepEx(left, TRUE);
            if (ReadDone()) return TWaitResult::Completed;
            if (wake_ && r == WAIT_OBJECT_0) return TWaitResult::Woken;
            if (r != WAIT_IO_COMPLETION) return TWaitResult::TimedOut;
            // Another completion (a read given up earlier): wait out the rest.
            const ULONGLONG spent = GetTickCount64() - start;
            if (spent >= total) return TWaitResult::TimedOut;
            left = total - static_cast<DWORD>(spent);
        }
    }

    TReadEnd Result() override {
        TReadEnd end;
        if (!begun_) return end;
        begun_ = false;
        if (!issued_) return end;
        if (!request_->Done) {
            Abort();
            return end;
        }
        DWORD bytes = 0;
        if (GetOverlappedResult(handle_, &request_->Overlapped, &bytes, FALSE)) {
            end.Bytes = std::min<uint32_t>(bytes, length_);
            std::memcpy(buffer_, request_->Data.data(), end.Bytes);
        } else {
            end.Error = GetLastError();
            end.Gone = IsGoneError(end.Error);
        }
        return end;
    }

    bool Cancel() override {
        if (!begun_) return false;
        begun_ = false;
        if (!issued_ || request_->Done) return true;
        return Abort();
    }

    void Wake() override {
        if (wake_) SetEvent(wake_);
    }

  private:
    bool ReadDone() const { return begun_ && issued_ && request_->Done; }

    // Cancels the outstanding read and waits (alertably) for its completion to run, so
    // the record can be used again.
    bool Abort() {
        const bool ok = CancelIo(handle_) != FALSE;
        const DWORD error = GetLastError();
        for (int i = 0; i < kCancelWaits && !request_->Done; ++i)
            SleepEx(kCancelWaitMs, TRUE);
        if (!request_->Done) {
            request_->Abandoned = true;
            (void)request_.release();
        }
        ::SetLastError(error);
        return ok;
    }

    HANDLE wake_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    uint8_t* buffer_ = nullptr;
    uint32_t length_ = 0;
    bool begun_ = false;
    bool issued_ = false;
    std::unique_ptr<TRequest> request_;
};

// --- the notice window ---

struct TNoticeSink {
    HWND Window = nullptr;
    TMainThread* Main = nullptr;
    std::shared_ptr<std::function<void(TDeviceNotice)>> Notice;

    void Deliver(const TDeviceNotice& N) {
        const auto notice = Notice; // the handler may close the notices under us
        if (!notice) return;
        try {
            (*notice)(N);
        } catch (...) {
            // No exception may cross the window procedure: hand it to the main thread's
            // error handling, where it would have gone from any other main-thread work.
            if (Main)
                Main->Post([error = std::current_exception()] { std::rethrow_exception(error); });
        }
    }
};

namespace {

LRESULT CALLBACK NoticeProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
    if (Message == WM_DEVICECHANGE) {
        if (auto* sink = reinterpret_cast<TNoticeSink*>(GetWindowLongPtrA(Window, GWLP_USERDATA)))
            sink->Deliver({Message, static_cast<uint32_t>(WParam), static_cast<int32_t>(LParam)});
    }
    // Every message, the notices included, goes on to the default handling.
    return DefWindowProcA(Window, Message, WParam, LParam);
}

} // namespace

// --- the services ---

TWindowsServices::TWindowsServices(TLibraryNames Names) : api_(std::make_unique<TApi>(Names)) {}

TWindowsServices::~TWindowsServices() {
    CloseNotices();
}

bool TWindowsServices::Available() const {
    return api_->SetupApiBound && api_->HidBound;
}
bool TWindowsServices::SetupApiBound() const {
    return api_->SetupApiBound;
}
bool TWindowsServices::HidBound() const {
    return api_->HidBound;
}

THidGuid TWindowsServices::HidGuid() {
    if (!api_->HidBound) return kPublishedHidGuid;
    GUID g{};
    api_->GetHidGuid(&g);
    THidGuid guid;
    guid.Data1 = g.Data1;
    guid.Data2 = g.Data2;
    guid.Data3 = g.Data3;
    std::memcpy(guid.Data4, g.Data4, sizeof guid.Data4);
    return guid;
}

std::vector<THidPnPInfo> TWindowsServices::CollectInterfaces(const THidGuid& Guid) {
    std::vector<THidPnPInfo> result;
    if (!Available()) {
        ::SetLastError(api_->BindError ? api_->BindError : ERROR_PROC_NOT_FOUND);
        return result;
    }
    GUID guid;
    guid.Data1 = Guid.Data1;
    guid.Data2 = Guid.Data2;
    guid.Data3 = Guid.Data3;
    std::memcpy(guid.Data4, Guid.Data4, sizeof guid.Data4);

    HDEVINFO set =
        api_->GetClassDevs(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return result;

    // The records' size words are those of this build's structures (28 and 5 on 32-bit
    // Windows, 32 and 8 on 64-bit); any other value makes the calls fail.
    constexpr DWORD kDetailHeader = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    constexpr size_t kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    std::vector<uint8_t> detail;
    DWORD stopError = ERROR_SUCCESS;
    for (DWORD i = 0;; ++i) {
        SP_DEVICE_INTERFACE_DATA iface{};
        iface.cbSize = sizeof iface;
        if (!api_->EnumDeviceInterfaces(set, nullptr, &guid, i, &iface)) {
            stopError = GetLastError();
            break;
        }
        SP_DEVINFO_DATA node{};
        node.cbSize = sizeof node;
        DWORD needed = 0;
        api_->GetDeviceInterfaceDetail(set, &iface, nullptr, 0, &needed, &node);
        if (needed == 0 || GetLastError() != ERROR_INSUFFICIENT_BUFFER) continue;
        // Never smaller than the header the size word is written into.
        detail.assign(std::max<size_t>(needed, kDetailHeader), 0);
        auto* data = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(detail.data());
        data->cbSize = kDetailHeader;
        if (!api_->GetDeviceInterfaceDetail(set, &iface, data, needed, nullptr, &node)) continue;
        if (needed <= kPathOffset) continue;
        std::string path = ZeroEnded(reinterpret_cast<const char*>(detail.data()) + kPathOffset,
                                     needed - kPathOffset);
        if (path.empty()) continue;
        result.push_back(api_->Describe(set, node, std::move(path)));
    }
    api_->DestroyDeviceInfoList(set);
    ::SetLastError(stopError);
    return result;
}

THandle TWindowsServices::Open(const std::string& Path, TOpenMode Mode) {
    DWORD access = 0;
    DWORD flags = 0;
    switch (Mode) {
    case TOpenMode::ReadWrite:
        access = GENERIC_READ | GENERIC_WRITE;
        break;
    case TOpenMode::QueryOnly:
        access = 0;
        break;
    case TOpenMode::ReadAsync:
        access = GENERIC_READ;
        flags = FILE_FLAG_OVERLAPPED;
        break;
    }
    HANDLE h = CreateFileA(Path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return kNoHandle;
    return reinterpret_cast<THandle>(h);
}

void TWindowsServices::Close(THandle Handle) {
    if (Handle != kNoHandle) CloseHandle(AsHandle(Handle));
}

bool TWindowsServices::GetAttributes(THandle Handle, THidAttributes& Attributes) {
    if (!api_->HidBound) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    THiddAttributes a{};
    a.Size = sizeof a;
    if (!api_->GetAttributes(AsHandle(Handle), &a)) return false;
    Attributes.VendorID = a.VendorID;
    Attributes.ProductID = a.ProductID;
    Attributes.VersionNumber = a.VersionNumber;
    return true;
}

bool TWindowsServices::GetPreparsedData(THandle Handle, TPreparsed& Data) {
    if (!api_->HidBound) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    void* data = nullptr;
    if (!api_->GetPreparsedData(AsHandle(Handle), &data) || !data) return false;
    Data = data;
    return true;
}

void TWindowsServices::FreePreparsedData(TPreparsed Data) {
    if (Data && api_->HidBound) api_->FreePreparsedData(Data);
}

bool TWindowsServices::GetCaps(TPreparsed Data, THidCaps& Caps) {
    if (!Data || !api_->HidBound) return false;
    THidCaps caps{};
    if (api_->GetCaps(Data, &caps) != kHidpStatusSuccess) {
        ::SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    Caps = caps;
    return true;
}

bool TWindowsServices::GetProductString(THandle Handle, char16_t* Buffer, uint32_t Bytes) {
    if (!api_->HidBound) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    return api_->GetProductString(AsHandle(Handle), Buffer, Bytes) != FALSE;
}

bool TWindowsServices::Write(THandle Handle, const uint8_t* Buffer, uint32_t Length,
                             uint32_t& Written) {
    DWORD n = 0;
    const BOOL ok = WriteFile(AsHandle(Handle), Buffer, Length, &n, nullptr);
    Written = n;
    return ok != FALSE;
}

std::unique_ptr<TReadWaiter> TWindowsServices::NewReadWaiter() {
    return std::make_unique<TWaiter>();
}

bool TWindowsServices::OpenNotices(TMainThread& Main, std::function<void(TDeviceNotice)> Notice) {
    CloseNotices();
    if (!Available()) return false;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = NoticeProc;
    wc.hInstance = instance;
    wc.lpszClassName = kNoticeClass;
    if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    // Top-level and never shown: the broadcast reaches top-level windows only, not
    // message-only ones.
    HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, kNoticeClass, "", WS_POPUP, 0, 0, 0, 0, nullptr,
                                  nullptr, instance, nullptr);
    if (!window) return false;
    auto sink = std::make_unique<TNoticeSink>();
    sink->Window = window;
    sink->Main = &Main;
    sink->Notice = std::make_shared<std::function<void(TDeviceNotice)>>(std::move(Notice));
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(sink.get()));
    notices_ = std::move(sink);
    return true;
}

void TWindowsServices::PostNotice(TDeviceNotice Notice) {
    if (!notices_) return;
    PostMessageA(notices_->Window, Notice.Message, static_cast<WPARAM>(Notice.Event),
                 static_cast<LPARAM>(Notice.Param));
}

void TWindowsServices::CloseNotices() {
    if (!notices_) return;
    SetWindowLongPtrA(notices_->Window, GWLP_USERDATA, 0);
    DestroyWindow(notices_->Window);
    notices_.reset();
}

intptr_t TWindowsServices::NoticeWindow() const {
    return notices_ ? reinterpret_cast<intptr_t>(notices_->Window) : 0;
}

uint32_t TWindowsServices::LastError() const {
    return GetLastError();
}

void TWindowsServices::SetLastError(uint32_t Code) {
    ::SetLastError(Code);
}

std::string TWindowsServices::ErrorMessage(uint32_t Code) const {
    char text[512] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, Code, 0, text, sizeof text, nullptr);
    std::string message(text, std::min<size_t>(n, sizeof text));
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    if (message.empty()) message = "System error " + std::to_string(Code);
    return message;
}

TErrorKind TWindowsServices::ErrorKind(uint32_t Code) const {
    if (Code == ERROR_ACCESS_DENIED) return TErrorKind::AccessDenied;
    // The codes a read takes for a device that has gone mean the same for every call.
    return IsGoneError(Code) ? TErrorKind::NotConnected : TErrorKind::Other;
}

uint32_t TWindowsServices::NotConnectedError() const {
    return ERROR_DEVICE_NOT_CONNECTED;
}

void TWindowsServices::AnnounceThreadName(const std::string& Name) {
    if (!api_->SetThreadDescription) return;
    std::wstring wide(Name.begin(), Name.end());
    api_->SetThreadDescription(GetCurrentThread(), wide.c_str());
}

} // namespace hid::os_windows

namespace hid {

std::unique_ptr<TPlatformServices> CreateSystemServices() {
    return std::make_unique<os_windows::TWindowsServices>();
}

} // namespace hid
