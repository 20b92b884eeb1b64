#pragma once
// A deterministic HID contract for tests: devices are plugged, unplugged and fed input
// reports when the test says so, and every written report is recorded.
#include "hid/HidAccess.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

class TFakeHidController;

class TFakeHidDevice final : public hid::TCustomHidDevice {
  public:
    TFakeHidDevice(uint16_t vendorId, uint16_t productId, std::string path);

    bool WriteReport(const uint8_t* Buffer, uint32_t Length, uint32_t& Written) override;
    void CloseMain() override { ++CloseMainCount; }
    std::u16string QueryProductText() override { return ProductText; }
    hid::THidCaps QueryCaps() override { return Caps; }
    bool PluggedIn() const override { return Plugged; }
    const hid::THidAttributes& Attributes() const override { return Attrs; }
    const hid::THidPnPInfo& PnPInfo() const override { return PnP; }
    uint32_t LastErrorCode() const override { return LastError; }
    std::string ErrorMessage(uint32_t Code) const override;
    hid::TErrorKind ErrorKind(uint32_t Code) const override;

    hid::THidAttributes Attrs;
    hid::THidPnPInfo PnP;
    hid::THidCaps Caps;
    std::u16string ProductText = u"Sonavelle";
    bool Plugged = true;
    bool CheckedOut = false;
    std::vector<std::string> Sent; // every report written, report ID included
    int CloseMainCount = 0;
    bool FailWrites = false;
    uint32_t FailCode = 0x1F;
    // What FailCode means; the code a write to an unplugged device gets is NotConnected.
    hid::TErrorKind FailKind = hid::TErrorKind::Other;
    uint32_t LastError = 0;
    // Called after each successful write, e.g. to hand the report to a simulated unit.
    std::function<void(const std::string&)> OnWrite;
};

class TFakeHidController final : public hid::TCustomHidController {
  public:
    ~TFakeHidController() override;

    int32_t Enumerate() override;
    bool CheckOutByIdentifiers(hid::TCustomHidDevice*& HidDev, int32_t VendorID,
                               int32_t ProductID) override;
    void CheckIn(hid::TCustomHidDevice*& HidDev) override;
    void SetOnDeviceChange(hid::TNotifyEvent Handler) override { OnDeviceChange = Handler; }
    void SetOnEnumerate(hid::THidEnumerateEvent Handler) override { OnEnumerate = Handler; }
    void SetOnDeviceData(hid::THidDataEvent Handler) override { OnDeviceData = Handler; }
    bool NoticesOpen() const override { return Notices; }

    // Test side. Plug/Unplug raise OnDeviceChange, as the platform's notice would.
    TFakeHidDevice* Plug(uint16_t vendorId, uint16_t productId, bool notify = true);
    void Unplug(TFakeHidDevice* dev, bool notify = true);
    void NotifyChange();
    // Delivers one input report (byte 0 is the report ID) if the device is checked out.
    bool Deliver(TFakeHidDevice* dev, const std::string& report);
    size_t DeviceCount() const { return devices_.size(); }

    hid::TNotifyEvent OnDeviceChange;
    hid::THidEnumerateEvent OnEnumerate;
    hid::THidDataEvent OnDeviceData;
    int CheckInCount = 0;
    bool Notices = true; // false: later plug-ins go unnoticed

  private:
    std::vector<std::unique_ptr<TFakeHidDevice>> devices_;
    int next_ = 0;
};

} // namespace testing_support
