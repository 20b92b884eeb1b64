#pragma once
// The HID access contract: the only part of the HID layer the window sees.
// Everything here is called in the main thread, and every event and data delivery
// runs in the main thread; the layer reads no further report until the data handler
// has returned.
#include "hid/HidHandler.h"
#include "hid/HidTypes.h"

#include <cstdint>
#include <string>

namespace hid {

class TCustomHidDevice;

using TNotifyEvent = THandler<void(void* Sender)>;
using THidEnumerateEvent = THandler<bool(TCustomHidDevice* HidDev, int32_t Idx)>;
using THidDataEvent =
    THandler<void(TCustomHidDevice* HidDev, uint8_t ReportID, const uint8_t* Data, uint16_t Size)>;
using THidDataErrorEvent = THandler<void(TCustomHidDevice* HidDev, uint32_t Error)>;
using THidPlugEvent = THandler<void(TCustomHidDevice* HidDev)>;

// A device owned by its controller and borrowed by one holder between check-out and
// check-in.
class TCustomHidDevice {
  public:
    virtual ~TCustomHidDevice() = default;

    // One synchronous write of one output report (byte 0 is the report ID). Opens the
    // main handle when needed and leaves it open. On failure the platform's error code
    // is kept for LastErrorCode().
    virtual bool WriteReport(const uint8_t* Buffer, uint32_t Length, uint32_t& Written) = 0;
    virtual void CloseMain() = 0;
    virtual std::u16string QueryProductText() = 0;
    virtual THidCaps QueryCaps() = 0;

    virtual bool PluggedIn() const = 0;
    virtual const THidAttributes& Attributes() const = 0;
    virtual const THidPnPInfo& PnPInfo() const = 0;

    // The platform error code left by the last failing operation, its message text, and
    // what it means: AccessDenied when this user may not open the device read-write,
    // NotConnected when the device has gone.
    virtual uint32_t LastErrorCode() const = 0;
    virtual std::string ErrorMessage(uint32_t Code) const = 0;
    virtual TErrorKind ErrorKind(uint32_t Code) const = 0;
};

class TCustomHidController {
  public:
    virtual ~TCustomHidController() = default;

    // Calls OnEnumerate for every plugged-in device in list order (Idx counts unplugged
    // entries too) until it returns false; returns the number of devices visited.
    virtual int32_t Enumerate() = 0;
    // Hands out the first listed device not already checked out whose identifiers
    // match (ProductID -1 matches any product) and starts delivering its reports.
    virtual bool CheckOutByIdentifiers(TCustomHidDevice*& HidDev, int32_t VendorID,
                                       int32_t ProductID) = 0;
    // Stops delivery, closes the handles, destroys a device that is gone, nulls the
    // reference. A null reference is ignored.
    virtual void CheckIn(TCustomHidDevice*& HidDev) = 0;

    virtual void SetOnDeviceChange(TNotifyEvent Handler) = 0;
    virtual void SetOnEnumerate(THidEnumerateEvent Handler) = 0;
    virtual void SetOnDeviceData(THidDataEvent Handler) = 0;

    // False when the platform gives no change notices: the device list is built once at
    // start and a device plugged in later is never seen.
    virtual bool NoticesOpen() const = 0;
};

} // namespace hid
