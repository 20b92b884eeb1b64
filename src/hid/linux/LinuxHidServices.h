#pragma once
// Linux HID services: libudev for enumeration and hot-plug, hidraw for input and output.
#include "hid/HidPlatform.h"

#include <map>
#include <memory>
#include <mutex>

struct udev;
struct udev_monitor;

namespace hid::os_linux {

class TLinuxServices final : public TPlatformServices {
  public:
    TLinuxServices();
    ~TLinuxServices() override;
    TLinuxServices(const TLinuxServices&) = delete;
    TLinuxServices& operator=(const TLinuxServices&) = delete;

    bool Available() const override;
    THidGuid HidGuid() override;
    std::vector<THidPnPInfo> CollectInterfaces(const THidGuid& Guid) override;
    // ReadWrite and ReadAsync open the node; QueryOnly opens nothing and answers from
    // udev and sysfs, so a node this user may not open can still be identified.
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

  private:
    struct TNode;
    class TWaiter;

    std::unique_ptr<TNode> Identify(const std::string& Path);
    bool ReadSide(THandle Handle, int& Fd, bool& Numbered);
    void MonitorReady();

    std::mutex udevLock_; // libudev objects are not thread-safe; readers open nodes too
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    TMainThread* main_ = nullptr;
    int watch_ = 0;
    std::shared_ptr<std::function<void(TDeviceNotice)>> sink_;

    std::mutex handleLock_;
    std::map<THandle, std::unique_ptr<TNode>> handles_;
    THandle nextHandle_ = 1; // never reused
};

} // namespace hid::os_linux
