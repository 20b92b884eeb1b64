#pragma once
// The HID contract for the web build: devices fed from outside, on one thread.
//
// Whoever owns the devices (the page's WebHID code, or the simulated unit of the node
// command line) tells the controller:
//   Arrive(TWebDevice)           a device is there; returns its id (1, 2, ...; never reused)
//   Input(id, reportId, data, n) an input report came (without its report ID byte)
//   Leave(id)                    the device has gone
// and the controller hands every output report the bench writes to the TWrite callback
// given to its constructor: (id, report with its ID in byte 0, length) -> false when it
// could not be sent. Start() is the first look at the devices, made once the bench is
// installed (as the system's first notice). Every call is on the one thread, and each
// report is handled before the call returns.
//
// The page's module (src/web/page/Page.cpp) hands WebHID's devices and reports to it.
#include "hid/HidAccess.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace web {

// A device as its owner describes it. Lengths count the report ID byte.
struct TWebDevice {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string path;         // empty: "web:hid#ID"
    std::string product;      // UTF-8
    std::string manufacturer; // UTF-8
    std::string description = "WebHID device";
    std::string enumerator = "WEBHID";
    std::uint16_t inputLength = 65;
    std::uint16_t outputLength = 65;
};

// Error codes of the web link, numbered and worded as the simulated services do.
inline constexpr std::uint32_t kErrInvalidParameter = 87;
inline constexpr std::uint32_t kErrGenFailure = 31;
inline constexpr std::uint32_t kErrNotConnected = 1167;

class TWebHidController;

class TWebHidDevice final : public hid::TCustomHidDevice {
  public:
    TWebHidDevice(std::uint32_t id, const TWebDevice& device, TWebHidController& owner);

    bool WriteReport(const uint8_t* Buffer, uint32_t Length, uint32_t& Written) override;
    void CloseMain() override {}
    std::u16string QueryProductText() override { return product_; }
    hid::THidCaps QueryCaps() override { return caps_; }
    bool PluggedIn() const override { return pluggedIn_; }
    const hid::THidAttributes& Attributes() const override { return attributes_; }
    const hid::THidPnPInfo& PnPInfo() const override { return pnp_; }
    uint32_t LastErrorCode() const override { return lastError_; }
    std::string ErrorMessage(uint32_t Code) const override;
    hid::TErrorKind ErrorKind(uint32_t Code) const override;

    std::uint32_t Id() const { return id_; }

  private:
    friend class TWebHidController;
    std::uint32_t id_;
    TWebHidController& owner_;
    hid::THidAttributes attributes_;
    hid::THidCaps caps_;
    hid::THidPnPInfo pnp_;
    std::u16string product_;
    bool pluggedIn_ = true;
    bool checkedOut_ = false;
    uint32_t lastError_ = 0;
};

class TWebHidController final : public hid::TCustomHidController {
  public:
    using TWrite =
        std::function<bool(std::uint32_t id, const std::uint8_t* report, std::uint32_t length)>;
    explicit TWebHidController(TWrite write);
    ~TWebHidController() override;
    TWebHidController(const TWebHidController&) = delete;
    TWebHidController& operator=(const TWebHidController&) = delete;

    void Start();
    // The id the next device to arrive gets.
    std::uint32_t NextId() const { return nextId_; }
    std::uint32_t Arrive(const TWebDevice& device);
    void Leave(std::uint32_t id);
    void Input(std::uint32_t id, std::uint8_t reportId, const std::uint8_t* data, std::size_t size);

    int32_t Enumerate() override;
    bool CheckOutByIdentifiers(hid::TCustomHidDevice*& HidDev, int32_t VendorID,
                               int32_t ProductID) override;
    void CheckIn(hid::TCustomHidDevice*& HidDev) override;
    void SetOnDeviceChange(hid::TNotifyEvent Handler) override { onDeviceChange_ = Handler; }
    void SetOnEnumerate(hid::THidEnumerateEvent Handler) override { onEnumerate_ = Handler; }
    void SetOnDeviceData(hid::THidDataEvent Handler) override { onDeviceData_ = Handler; }
    bool NoticesOpen() const override { return true; }

  private:
    friend class TWebHidDevice;
    void Changed();
    void Forget(TWebHidDevice* device);

    TWrite write_;
    std::vector<std::unique_ptr<TWebHidDevice>> devices_; // in the order they came
    std::uint32_t nextId_ = 1;
    hid::TNotifyEvent onDeviceChange_;
    hid::THidEnumerateEvent onEnumerate_;
    hid::THidDataEvent onDeviceData_;
};

} // namespace web
