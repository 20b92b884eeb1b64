// The Windows services against the platform's own SetupAPI, HID.dll, device files and
// window messages. Under wine the platform lists virtual HID devices of its own (vendor
// 0x845E); the tests use whatever is present and do not assume how many, and hold them all at
// once as a bench of several units would.
#include "hid/HidControllerClass.h"
#include "hid/sim/ManualMainThread.h"
#include "hid/windows/WindowsHidServices.h"

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <dbt.h>

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <iostream>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace hid;
using hid::os_windows::TLibraryNames;
using hid::os_windows::TWindowsServices;

namespace {

// Wine delivers a broadcast from its own server process: wait for it as for a thread, with a
// limit that only turns a hang into a failure.
constexpr int kWineWaitMs = 30000;

constexpr uint16_t kWineVendor = 0x845E;

std::string Lower(std::string S) {
    std::transform(S.begin(), S.end(), S.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return S;
}

// Wine's ntdll exports its version; Windows' does not.
bool UnderWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

std::string Narrow(const std::u16string& S) {
    std::string out;
    for (char16_t c : S)
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

std::string Join(const TStringList& L) {
    std::string out;
    for (const auto& s : L)
        out += (out.empty() ? "" : " | ") + s;
    return out;
}

// Wine's virtual devices must be there under wine; on Windows itself the tests that use
// them have nothing to work on.
#define SV_NEED_WINE_DEVICES(List)                                                                 \
    do {                                                                                           \
        if ((List).empty()) {                                                                      \
            if (UnderWine()) FAIL() << "wine lists virtual HID devices of its own";                \
            GTEST_SKIP() << "no wine virtual HID device on this system";                           \
        }                                                                                          \
    } while (0)

// Closes a device file however the test ends.
struct TFile {
    TPlatformServices& Services;
    THandle Handle;
    TFile(TPlatformServices& S, const std::string& Path, TOpenMode Mode)
        : Services(S), Handle(S.Open(Path, Mode)) {}
    ~TFile() {
        if (Handle != kNoHandle) Services.Close(Handle);
    }
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
};

class WindowsServicesTest : public ::testing::Test {
  protected:
    TWindowsServices services;
    std::vector<THidPnPInfo> present;

    void SetUp() override {
        ASSERT_TRUE(services.Available());
        present = services.CollectInterfaces(services.HidGuid());
    }

    // Wine's own virtual HID devices, by path; the list may hold others as well.
    std::vector<const THidPnPInfo*> WineDevices() const {
        std::vector<const THidPnPInfo*> out;
        for (const auto& info : present) {
            if (Lower(info.DevicePath).find("vid_845e") != std::string::npos) out.push_back(&info);
        }
        return out;
    }
};

TEST_F(WindowsServicesTest, GivesThePublishedHidInterfaceClass) {
    EXPECT_TRUE(services.SetupApiBound());
    EXPECT_TRUE(services.HidBound());
    EXPECT_EQ(services.HidGuid(), kPublishedHidGuid);
}

TEST_F(WindowsServicesTest, ListsEveryInterfaceWithItsPlugAndPlayDescription) {
    SV_NEED_WINE_DEVICES(present);
    std::set<uint32_t> ids;
    std::set<std::string> paths;
    for (const auto& info : present) {
        std::cout << "  " << info.DevicePath << "\n    DeviceID " << info.DeviceID << ", Class '"
                  << info.ClassDescr << "' " << info.ClassGUID << ", Descr '" << info.DeviceDescr
                  << "', Mfg '" << info.Mfg << "', Driver '" << info.Driver << "', Service '"
                  << info.Service << "', Enumerator '" << info.EnumeratorName
                  << "'\n    HardwareID " << Join(info.HardwareID) << "\n    CompatibleIDs "
                  << Join(info.CompatibleIDs) << "\n    Capabilities " << info.Capabilities
                  << ", ConfigFlags " << info.ConfigFlags << ", BusType '" << info.BusType
                  << "', PDO '" << info.PhysDevObjName << "', Location '" << info.LocationInfo
                  << "'\n";
        // The device path is what every open uses: a complete interface path.
        EXPECT_EQ(info.DevicePath.rfind("\\\\?\\", 0), 0u) << info.DevicePath;
        EXPECT_EQ(info.DevicePath.find('\0'), std::string::npos);
        ids.insert(info.DeviceID);
        paths.insert(Lower(info.DevicePath));
        EXPECT_FALSE(info.HardwareID.empty()) << info.DevicePath;
        for (const auto& id : info.HardwareID)
            EXPECT_FALSE(id.empty());
        for (const auto& text : {info.ClassGUID, info.BusType}) {
            // Written as a GUID, not as the raw bytes of one.
            if (!text.empty()) {
                EXPECT_EQ(text.size(), 38u) << text;
            }
        }
    }
    // The instance handle tells devices apart across passes.
    EXPECT_EQ(ids.size(), present.size());
    EXPECT_EQ(paths.size(), present.size());
}

TEST_F(WindowsServicesTest, WineDevicesDescribeThemselvesAsHid) {
    const auto wine = WineDevices();
    SV_NEED_WINE_DEVICES(wine);
    for (const THidPnPInfo* info : wine) {
        EXPECT_EQ(Lower(info->ClassDescr), "hidclass") << info->DevicePath;
        EXPECT_EQ(Lower(info->ClassGUID), "{745a17a0-74d3-11d0-b6fe-00a0c90f57da}");
        const std::string first = Lower(info->HardwareID.front());
        EXPECT_EQ(first.rfind("hid\\vid_845e&pid_", 0), 0u) << first;
    }
}

TEST_F(WindowsServicesTest, IdentifiesWineDevicesThroughEachOpenMode) {
    const auto wine = WineDevices();
    SV_NEED_WINE_DEVICES(wine);
    for (const THidPnPInfo* info : wine) {
        SCOPED_TRACE(info->DevicePath);
        for (TOpenMode mode : {TOpenMode::ReadWrite, TOpenMode::QueryOnly, TOpenMode::ReadAsync}) {
            TFile file(services, info->DevicePath, mode);
            EXPECT_NE(file.Handle, kNoHandle) << "mode " << static_cast<int>(mode);
        }
        TFile file(services, info->DevicePath, TOpenMode::QueryOnly);
        ASSERT_NE(file.Handle, kNoHandle);

        THidAttributes attributes;
        ASSERT_TRUE(services.GetAttributes(file.Handle, attributes));
        EXPECT_EQ(attributes.Size, 12u);
        EXPECT_EQ(attributes.VendorID, kWineVendor);
        const std::string path = Lower(info->DevicePath);
        char pid[16];
        std::snprintf(pid, sizeof pid, "pid_%04x", attributes.ProductID);
        EXPECT_NE(path.find(pid), std::string::npos);

        TPreparsed data = nullptr;
        ASSERT_TRUE(services.GetPreparsedData(file.Handle, data));
        THidCaps caps;
        ASSERT_TRUE(services.GetCaps(data, caps));
        services.FreePreparsedData(data);
        EXPECT_EQ(caps.UsagePage, 0x01) << "generic desktop";
        EXPECT_GT(caps.InputReportByteLength, 1);

        char16_t product[254] = {};
        ASSERT_TRUE(services.GetProductString(file.Handle, product, sizeof product));
        EXPECT_NE(product[0], 0);
        std::cout << "  " << info->DevicePath << ": vendor " << std::hex << attributes.VendorID
                  << " product " << attributes.ProductID << " version " << attributes.VersionNumber
                  << std::dec << ", usage " << caps.UsagePage << ":" << caps.Usage << ", input "
                  << caps.InputReportByteLength << ", output " << caps.OutputReportByteLength
                  << ", feature " << caps.FeatureReportByteLength << ", product '"
                  << Narrow(product) << "'\n";
    }
}

// Each failing platform call answers false (or nothing) and keeps the platform's code.
TEST_F(WindowsServicesTest, FailingCallsKeepThePlatformsErrorCode) {
    services.SetLastError(0);
    EXPECT_EQ(services.Open("\\\\?\\hid#vid_0000&pid_0000#no#such", TOpenMode::ReadWrite),
              kNoHandle);
    EXPECT_NE(services.LastError(), 0u);

    // A class nobody implements: an empty list, not a failure.
    THidGuid none = kPublishedHidGuid;
    none.Data1 ^= 0xFFFFFFFF;
    EXPECT_TRUE(services.CollectInterfaces(none).empty());

    // A file that is no HID device cannot be identified.
    char temp[MAX_PATH] = {};
    char dir[MAX_PATH] = {};
    ASSERT_NE(GetTempPathA(MAX_PATH, dir), 0u);
    ASSERT_NE(GetTempFileNameA(dir, "sv", 0, temp), 0u);
    {
        TFile file(services, temp, TOpenMode::ReadWrite);
        ASSERT_NE(file.Handle, kNoHandle);
        THidAttributes attributes;
        services.SetLastError(0);
        EXPECT_FALSE(services.GetAttributes(file.Handle, attributes));
        EXPECT_NE(services.LastError(), 0u);
        TPreparsed data = nullptr;
        EXPECT_FALSE(services.GetPreparsedData(file.Handle, data));
        THidCaps caps;
        EXPECT_FALSE(services.GetCaps(nullptr, caps));
    }
    DeleteFileA(temp);

    // A query-only handle has no right to write.
    const auto wine = WineDevices();
    SV_NEED_WINE_DEVICES(wine);
    TFile query(services, wine.front()->DevicePath, TOpenMode::QueryOnly);
    ASSERT_NE(query.Handle, kNoHandle);
    const uint8_t report[8] = {};
    uint32_t written = 99;
    services.SetLastError(0);
    EXPECT_FALSE(services.Write(query.Handle, report, sizeof report, written));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(services.LastError(), uint32_t{ERROR_ACCESS_DENIED});
    EXPECT_EQ(services.ErrorKind(services.LastError()), TErrorKind::AccessDenied);
}

TEST_F(WindowsServicesTest, ErrorTextsComeFromThePlatform) {
    EXPECT_EQ(services.NotConnectedError(), uint32_t{ERROR_DEVICE_NOT_CONNECTED});
    for (uint32_t code : {uint32_t{ERROR_FILE_NOT_FOUND}, uint32_t{ERROR_ACCESS_DENIED},
                          uint32_t{ERROR_DEVICE_NOT_CONNECTED}}) {
        const std::string text = services.ErrorMessage(code);
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
        EXPECT_NE(text, "System error " + std::to_string(code));
    }
    EXPECT_EQ(services.ErrorMessage(0xDEADBEEF), "System error 3735928559");
    services.SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(services.LastError(), uint32_t{ERROR_ACCESS_DENIED});
}

// A code means "gone" to the device's user exactly when it ends a read as gone.
TEST_F(WindowsServicesTest, ErrorKindsAgreeWithWhatEndsAReadAsGone) {
    EXPECT_EQ(services.ErrorKind(services.NotConnectedError()), TErrorKind::NotConnected);
    using TCodes = std::initializer_list<DWORD>;
    for (DWORD code : TCodes{ERROR_DEVICE_NOT_CONNECTED, ERROR_GEN_FAILURE, ERROR_DEV_NOT_EXIST,
                             ERROR_INVALID_HANDLE})
        EXPECT_EQ(services.ErrorKind(code), TErrorKind::NotConnected) << code;
    for (DWORD code : TCodes{0, ERROR_FILE_NOT_FOUND, ERROR_INVALID_PARAMETER, ERROR_BROKEN_PIPE,
                             ERROR_OPERATION_ABORTED})
        EXPECT_EQ(services.ErrorKind(code), TErrorKind::Other) << code;
}

TEST_F(WindowsServicesTest, NamesTheCallingThreadForDebuggers) {
    using TGetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);
    const auto get = reinterpret_cast<TGetDescription>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetThreadDescription")));
    if (!get) GTEST_SKIP() << "this platform keeps no thread names";
    std::wstring seen;
    std::thread([&] {
        services.AnnounceThreadName("THidDeviceReadThread");
        PWSTR name = nullptr;
        if (SUCCEEDED(get(GetCurrentThread(), &name)) && name) {
            seen = name;
            LocalFree(name);
        }
    }).join();
    EXPECT_EQ(seen, L"THidDeviceReadThread");
}

// --- the reader's waits ---

class ReadWaiterTest : public WindowsServicesTest {
  protected:
    std::unique_ptr<TReadWaiter> waiter = services.NewReadWaiter();
    uint8_t buffer[64] = {};
};

TEST_F(ReadWaiterTest, AReadWithNoInputWaitsIsWokenAndIsGivenUp) {
    const auto wine = WineDevices();
    SV_NEED_WINE_DEVICES(wine);
    TFile file(services, wine.front()->DevicePath, TOpenMode::ReadAsync);
    ASSERT_NE(file.Handle, kNoHandle);
    buffer[0] = 0xAA;
    ASSERT_TRUE(waiter->Begin(file.Handle, buffer, sizeof buffer));
    // Wine's virtual devices send nothing unless told to.
    EXPECT_EQ(waiter->Wait(0), TWaitResult::TimedOut);
    std::thread([&] { waiter->Wake(); }).join();
    EXPECT_EQ(waiter->Wait(10000), TWaitResult::Woken);
    const TReadEnd end = waiter->Result();
    EXPECT_EQ(end.Bytes, 0u);
    EXPECT_FALSE(end.Gone);
    EXPECT_EQ(buffer[0], 0xAA) << "a read given up leaves the caller's buffer alone";
    EXPECT_FALSE(waiter->Cancel()) << "nothing is outstanding any more";

    // The next read starts afresh on the same waiter and is cancelled outright.
    ASSERT_TRUE(waiter->Begin(file.Handle, buffer, sizeof buffer));
    EXPECT_TRUE(waiter->Cancel());
    EXPECT_EQ(waiter->Result().Bytes, 0u);
}

// A message-mode pipe stands in for a device that sends: each write is one report.
TEST_F(ReadWaiterTest, ACompletedReadDeliversItsBytesAndAFailedOneItsCode) {
    const std::string name = "\\\\.\\pipe\\sv-hid-test-" + std::to_string(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND,
                                     PIPE_TYPE_MESSAGE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    TFile client(services, name, TOpenMode::ReadAsync);
    ASSERT_NE(client.Handle, kNoHandle);

    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    ASSERT_TRUE(waiter->Begin(client.Handle, buffer, 8));
    EXPECT_EQ(waiter->Wait(0), TWaitResult::TimedOut);
    const uint8_t report[] = {0, 'O', 'K', '\r', '\n'};
    DWORD sent = 0;
    ASSERT_TRUE(WriteFile(server, report, sizeof report, &sent, nullptr));
    ASSERT_EQ(waiter->Wait(10000), TWaitResult::Completed);
    TReadEnd end = waiter->Result();
    EXPECT_EQ(end.Bytes, sizeof report);
    EXPECT_EQ(end.Error, 0u);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + sizeof report),
              std::vector<uint8_t>(report, report + sizeof report));
    EXPECT_EQ(buffer[sizeof report], 0xEE) << "nothing written past the bytes read";

    // The other end goes away during the next read: it ends with the platform's code.
    ASSERT_TRUE(waiter->Begin(client.Handle, buffer, 8));
    CloseHandle(server);
    ASSERT_EQ(waiter->Wait(10000), TWaitResult::Completed);
    end = waiter->Result();
    EXPECT_EQ(end.Bytes, 0u);
    EXPECT_EQ(end.Error, uint32_t{ERROR_BROKEN_PIPE});
    EXPECT_FALSE(end.Gone);
    EXPECT_EQ(services.ErrorKind(end.Error), TErrorKind::Other);
}

TEST_F(ReadWaiterTest, AWakeBeforeTheWaitEndsTheNextWait) {
    waiter->Wake();
    EXPECT_EQ(waiter->Wait(10000), TWaitResult::Woken);
    EXPECT_EQ(waiter->Wait(0), TWaitResult::TimedOut);
}

TEST_F(ReadWaiterTest, AReadThatCannotStartKeepsThePlatformsCode) {
    services.SetLastError(0);
    EXPECT_FALSE(waiter->Begin(kNoHandle, buffer, sizeof buffer));
    EXPECT_NE(services.LastError(), 0u);
    EXPECT_EQ(waiter->Result().Bytes, 0u);
    EXPECT_FALSE(waiter->Cancel());
}

TEST_F(ReadWaiterTest, NoRoomMeansNoReadOnlyAWait) {
    const std::string name = "\\\\.\\pipe\\sv-hid-room-" + std::to_string(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND,
                                     PIPE_TYPE_MESSAGE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    {
        TFile client(services, name, TOpenMode::ReadAsync);
        ASSERT_NE(client.Handle, kNoHandle);
        ASSERT_TRUE(waiter->Begin(client.Handle, buffer, 0));
        const uint8_t report[] = {0, 'O', 'K'};
        DWORD sent = 0;
        ASSERT_TRUE(WriteFile(server, report, sizeof report, &sent, nullptr));
        // Input waits, but with no room no read was made to take it.
        EXPECT_EQ(waiter->Wait(0), TWaitResult::TimedOut);
        EXPECT_EQ(waiter->Result().Bytes, 0u);
    }
    CloseHandle(server);
}

// --- the notice window ---

TEST_F(WindowsServicesTest, TheNoticeWindowIsAHiddenTopLevelWindowOfThisThread) {
    TManualMainThread main;
    std::vector<TDeviceNotice> notices;
    ASSERT_TRUE(services.OpenNotices(main, [&](TDeviceNotice N) { notices.push_back(N); }));
    const auto window = reinterpret_cast<HWND>(services.NoticeWindow());
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(GetAncestor(window, GA_PARENT), GetDesktopWindow()) << "not message-only";
    EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());

    services.PostNotice({kDeviceChangeMessage, kDevNodesChanged, -1});
    EXPECT_GT(main.RunPending(), 0);
    // A broadcast, as the system sends when device nodes change.
    ASSERT_TRUE(PostMessageA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0));
    ASSERT_TRUE(main.RunUntil([&] { return notices.size() >= 2; }, kWineWaitMs));
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0].Message, kDeviceChangeMessage);
    EXPECT_EQ(notices[0].Event, kDevNodesChanged);
    EXPECT_EQ(notices[0].Param, -1);
    EXPECT_EQ(notices[1].Event, uint32_t{DBT_DEVNODES_CHANGED});
    EXPECT_EQ(notices[1].Param, 0);

    services.CloseNotices();
    EXPECT_EQ(services.NoticeWindow(), 0);
    EXPECT_FALSE(IsWindow(window));
    services.PostNotice({kDeviceChangeMessage, kDevNodesChanged, 0});
    main.RunPending();
    EXPECT_EQ(notices.size(), 2u);
}

TEST_F(WindowsServicesTest, AnErrorInTheNoticeHandlerReachesTheMainThreadsErrorHandler) {
    TManualMainThread main;
    std::vector<std::string> errors;
    main.SetErrorHandler([&](std::exception_ptr E) {
        try {
            std::rethrow_exception(E);
        } catch (const std::exception& e) {
            errors.push_back(e.what());
        }
    });
    ASSERT_TRUE(services.OpenNotices(
        main, [](TDeviceNotice) { throw EControllerError("Device cannot be opened"); }));
    services.PostNotice({kDeviceChangeMessage, kDevNodesChanged, -1});
    main.RunPending();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Device cannot be opened");
    services.CloseNotices();
}

// --- the controller on the Windows services ---

class WindowsControllerTest : public WindowsServicesTest {
  protected:
    TManualMainThread main;
    int changes = 0;
    std::vector<uint32_t> dataErrors;
    int reports = 0;
    std::unique_ptr<THidDeviceController> ctrl;

    void OnChange(void*) { ++changes; }
    void OnData(TCustomHidDevice*, uint8_t, const uint8_t*, uint16_t) { ++reports; }
    void OnDataError(TCustomHidDevice*, uint32_t Code) { dataErrors.push_back(Code); }

    void Start() {
        ctrl = std::make_unique<THidDeviceController>(services, main);
        ctrl->SetOnDeviceChange(TNotifyEvent::Bind<&WindowsControllerTest::OnChange>(this));
        ctrl->SetOnDeviceData(THidDataEvent::Bind<&WindowsControllerTest::OnData>(this));
        ctrl->SetOnDeviceDataError(
            THidDataErrorEvent::Bind<&WindowsControllerTest::OnDataError>(this));
        ctrl->Loaded();
    }
};

TEST_F(WindowsControllerTest, FirstPassRunsOnceFromTheNoticeWindowAndListsEveryDevice) {
    Start();
    ASSERT_TRUE(ctrl->NoticesOpen());
    EXPECT_EQ(changes, 0) << "nothing before the main thread processes its messages";
    main.RunPending();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(ctrl->LastNoticeParam(), -1);
    ASSERT_EQ(ctrl->Devices().size(), present.size());
    EXPECT_EQ(ctrl->CheckedInCount(), static_cast<int32_t>(present.size()));
    for (size_t i = 0; i < present.size(); ++i) {
        EXPECT_EQ(ctrl->Devices()[i]->PnPInfo().DevicePath, present[i].DevicePath);
        EXPECT_EQ(ctrl->Devices()[i]->PnPInfo().DeviceID, present[i].DeviceID);
    }

    // A broadcast that changes nothing runs a pass and fires nothing.
    ASSERT_TRUE(PostMessageA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0));
    ASSERT_TRUE(main.RunUntil([&] { return ctrl->LastNoticeParam() == 0; }, kWineWaitMs));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(ctrl->Devices().size(), present.size());
}

TEST_F(WindowsControllerTest, ChecksOutAWineDeviceReadsAndChecksItBackIn) {
    SV_NEED_WINE_DEVICES(WineDevices());
    Start();
    main.RunPending();
    TCustomHidDevice* held = nullptr;
    ASSERT_TRUE(ctrl->CheckOutByIdentifiers(held, kWineVendor, -1));
    ASSERT_NE(held, nullptr);
    auto* dev = static_cast<THidDevice*>(held);
    EXPECT_EQ(ctrl->CheckedOutCount(), 1);
    EXPECT_FALSE(Narrow(held->QueryProductText()).empty());
    EXPECT_GT(held->QueryCaps().InputReportByteLength, 1);
    // Wine's devices open for reading and writing, so the reader runs at once.
    ASSERT_TRUE(dev->ReadWriteAccess());
    EXPECT_TRUE(dev->ReaderRunning());

    // While it waits for input that never comes, its read is outstanding: the check-in
    // has to end that read and the thread without a deadlock.
    main.RunPending();
    ctrl->CheckIn(held);
    EXPECT_EQ(held, nullptr);
    EXPECT_FALSE(dev->ReaderRunning());
    EXPECT_TRUE(dataErrors.empty()) << "first error " << dataErrors.front();
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(ctrl->CheckedOutCount(), 0);
    EXPECT_EQ(ctrl->CheckedInCount(), static_cast<int32_t>(ctrl->Devices().size()));

    // Again, now that the device is free; the same object comes back.
    TCustomHidDevice* again = nullptr;
    ASSERT_TRUE(ctrl->CheckOutByIdentifiers(again, kWineVendor, dev->Attributes().ProductID));
    EXPECT_EQ(again, held == nullptr ? static_cast<TCustomHidDevice*>(dev) : held);
    ctrl->CheckIn(again);
}

// Several units on one bench: every wine device held at once, each with a reader of its own
// waiting on its own outstanding read; one goes back while the others' reads go on.
TEST_F(WindowsControllerTest, HoldsEveryWineDeviceAtOnceEachWithItsOwnReader) {
    const auto wine = WineDevices();
    SV_NEED_WINE_DEVICES(wine);
    Start();
    main.RunPending();
    std::vector<THidDevice*> held;
    for (TCustomHidDevice* next = nullptr; ctrl->CheckOutByIdentifiers(next, kWineVendor, -1);)
        held.push_back(static_cast<THidDevice*>(next));
    ASSERT_EQ(held.size(), wine.size());
    EXPECT_EQ(ctrl->CheckedOutCount(), static_cast<int32_t>(wine.size()));
    std::set<std::string> paths;
    for (THidDevice* dev : held) {
        paths.insert(dev->PnPInfo().DevicePath);
        EXPECT_TRUE(dev->ReaderRunning()) << dev->PnPInfo().DevicePath;
    }
    EXPECT_EQ(paths.size(), held.size()) << "each device checked out once";

    main.RunPending();
    TCustomHidDevice* first = held.front();
    ctrl->CheckIn(first);
    EXPECT_FALSE(held.front()->ReaderRunning());
    for (size_t i = 1; i < held.size(); ++i)
        EXPECT_TRUE(held[i]->ReaderRunning()) << held[i]->PnPInfo().DevicePath;
    for (size_t i = 1; i < held.size(); ++i) {
        TCustomHidDevice* dev = held[i];
        ctrl->CheckIn(dev);
        EXPECT_FALSE(held[i]->ReaderRunning());
    }
    EXPECT_TRUE(dataErrors.empty()) << "first error " << dataErrors.front();
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(ctrl->CheckedOutCount(), 0);
}

TEST_F(WindowsControllerTest, AWriteTheDeviceRefusesLeavesItsErrorCode) {
    SV_NEED_WINE_DEVICES(WineDevices());
    Start();
    main.RunPending();
    TCustomHidDevice* held = nullptr;
    ASSERT_TRUE(ctrl->CheckOutByIdentifiers(held, kWineVendor, -1));
    const THidCaps caps = held->QueryCaps();
    if (caps.OutputReportByteLength > 0) {
        ctrl->CheckIn(held);
        GTEST_SKIP() << "this device takes output reports";
    }
    // No output report: a report of any length is refused.
    const uint8_t report[9] = {0, 'V', 'E', 'R'};
    uint32_t written = 99;
    EXPECT_FALSE(held->WriteReport(report, sizeof report, written));
    EXPECT_EQ(written, 0u);
    EXPECT_NE(held->LastErrorCode(), 0u);
    EXPECT_FALSE(held->ErrorMessage(held->LastErrorCode()).empty());
    ctrl->CheckIn(held);
}

// --- services that cannot be bound ---

struct TBindCase {
    const char* Name;
    TLibraryNames Names;
    bool SetupApi;
    bool Hid;
};

void PrintTo(const TBindCase& C, std::ostream* Out) {
    *Out << C.Name;
}

class UnboundServicesTest : public ::testing::TestWithParam<TBindCase> {};

TEST_P(UnboundServicesTest, ListNoDeviceAndDoNotCrash) {
    const TBindCase& c = GetParam();
    TWindowsServices services(c.Names);
    EXPECT_EQ(services.SetupApiBound(), c.SetupApi);
    EXPECT_EQ(services.HidBound(), c.Hid);
    EXPECT_FALSE(services.Available());
    EXPECT_EQ(services.HidGuid(), kPublishedHidGuid);
    EXPECT_TRUE(services.CollectInterfaces(kPublishedHidGuid).empty());
    EXPECT_NE(services.LastError(), 0u);

    TManualMainThread main;
    int changes = 0;
    struct TCounter {
        int& N;
        void Change(void*) { ++N; }
    } counter{changes};
    THidDeviceController ctrl(services, main);
    ctrl.SetOnDeviceChange(TNotifyEvent::Bind<&TCounter::Change>(&counter));
    ctrl.Loaded();
    EXPECT_FALSE(ctrl.NoticesOpen());
    EXPECT_EQ(main.RunPending(), 0) << "no window, no first notice";
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(ctrl.Devices().empty());
    EXPECT_EQ(ctrl.HidGuid(), kPublishedHidGuid);
    TCustomHidDevice* held = nullptr;
    EXPECT_FALSE(ctrl.CheckOutByIdentifiers(held, kWineVendor, -1));
    EXPECT_EQ(held, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, UnboundServicesTest,
    ::testing::Values(TBindCase{"NoSetupApi", {"NoSuchSetupApi.dll", "HID.dll"}, false, false},
                      TBindCase{"NoHid", {"SetupApi.dll", "NoSuchHid.dll"}, true, false},
                      // Present but not the right library: its functions are missing.
                      TBindCase{"WrongSetupApi", {"kernel32.dll", "HID.dll"}, false, false},
                      TBindCase{"WrongHid", {"SetupApi.dll", "kernel32.dll"}, true, false}),
    [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
