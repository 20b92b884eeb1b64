#pragma once
// Windows HID services: SetupAPI for enumeration, HID.dll for identification, device-path
// file I/O (synchronous writes, ReadFileEx reads), and a hidden top-level window of the
// main thread that receives the device-change broadcast.
//
// SetupApi.dll and HID.dll are bound by name when the services are made; without either
// the services are unavailable and list no device. The notice window belongs to the
// thread that calls OpenNotices (the main thread), whose message loop dispatches it.
#include "hid/HidPlatform.h"

#include <memory>
#include <string>

namespace hid::os_windows {

struct TNoticeSink;

// The libraries bound at start; tests name a missing one to see the services give up.
struct TLibraryNames {
    std::string SetupApi = "SetupApi.dll";
    std::string Hid = "HID.dll";
};

class TWindowsServices final : public TPlatformServices {
  public:
    explicit TWindowsServices(TLibraryNames Names = {});
    ~TWindowsServices() override;
    TWindowsServices(const TWindowsServices&) = delete;
    TWindowsServices& operator=(const TWindowsServices&) = delete;

    bool Available() const override;
    // Each of the two libraries on its own; Available() needs both.
    bool SetupApiBound() const;
    bool HidBound() const;

    THidGuid HidGuid() override;
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
    uint32_t NotConnectedError() const override;
    void AnnounceThreadName(const std::string& Name) override;

    // The notice window while notices are open (an HWND), else 0.
    intptr_t NoticeWindow() const;

  private:
    struct TApi;
    class TWaiter;

    std::unique_ptr<TApi> api_;
    std::unique_ptr<TNoticeSink> notices_;
};

} // namespace hid::os_windows
