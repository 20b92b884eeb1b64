#include "web/WebHid.h"

#include <algorithm>
#include <cstdio>

namespace web {

// ---- a device --------------------------------------------------------------------------------

TWebHidDevice::TWebHidDevice(std::uint32_t id, const TWebDevice& device, TWebHidController& owner)
    : id_(id), owner_(owner) {
    attributes_.VendorID = device.vendorId;
    attributes_.ProductID = device.productId;
    caps_.UsagePage = 0xFF00;
    caps_.Usage = 0x01;
    caps_.InputReportByteLength = device.inputLength;
    caps_.OutputReportByteLength = device.outputLength;
    pnp_.DeviceID = id;
    pnp_.DevicePath = device.path.empty() ? "web:hid#" + std::to_string(id) : device.path;
    pnp_.ClassDescr = "HIDClass";
    pnp_.DeviceDescr = device.description;
    pnp_.Mfg = device.manufacturer;
    char hardware[40];
    std::snprintf(hardware, sizeof hardware, "HID\\VID_%04X&PID_%04X", device.vendorId,
                  device.productId);
    pnp_.HardwareID.push_back(hardware);
    pnp_.EnumeratorName = device.enumerator;
    // The product text as the platform gives it: UTF-16 (only the basic plane is expected).
    for (std::size_t i = 0; i < device.product.size();) {
        const auto c = static_cast<unsigned char>(device.product[i]);
        const std::size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        char32_t code = n == 1 ? c : c & (0x7F >> n);
        for (std::size_t k = 1; k < n && i + k < device.product.size(); ++k)
            code = code << 6 | (static_cast<unsigned char>(device.product[i + k]) & 0x3F);
        product_ += code > 0xFFFF ? u'\xFFFD' : static_cast<char16_t>(code);
        i += n;
    }
}

bool TWebHidDevice::WriteReport(const uint8_t* Buffer, uint32_t Length, uint32_t& Written) {
    Written = 0;
    if (!pluggedIn_) {
        lastError_ = kErrNotConnected;
        return false;
    }
    // Whole output reports only, as a HID class driver takes them.
    if (Length != caps_.OutputReportByteLength) {
        lastError_ = kErrInvalidParameter;
        return false;
    }
    if (!owner_.write_ || !owner_.write_(id_, Buffer, Length)) {
        lastError_ = kErrGenFailure;
        return false;
    }
    Written = Length;
    return true;
}

std::string TWebHidDevice::ErrorMessage(uint32_t Code) const {
    switch (Code) {
    case 0:
        return "The operation completed successfully.";
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

hid::TErrorKind TWebHidDevice::ErrorKind(uint32_t Code) const {
    return Code == kErrNotConnected ? hid::TErrorKind::NotConnected : hid::TErrorKind::Other;
}

// ---- the controller --------------------------------------------------------------------------

TWebHidController::TWebHidController(TWrite write) : write_(std::move(write)) {}

TWebHidController::~TWebHidController() {
    onDeviceChange_ = {};
    onEnumerate_ = {};
    onDeviceData_ = {};
}

void TWebHidController::Start() {
    // The first pass always counts as a change: the bench learns that the start-up look is over.
    if (onDeviceChange_) onDeviceChange_(this);
}

std::uint32_t TWebHidController::Arrive(const TWebDevice& device) {
    const std::uint32_t id = nextId_++;
    devices_.push_back(std::make_unique<TWebHidDevice>(id, device, *this));
    Changed();
    return id;
}

void TWebHidController::Leave(std::uint32_t id) {
    const auto it = std::find_if(devices_.begin(), devices_.end(),
                                 [&](const auto& d) { return d->id_ == id && d->pluggedIn_; });
    if (it == devices_.end()) return;
    (*it)->pluggedIn_ = false;
    // One checked out stays listed, unplugged, until its holder checks it in.
    if (!(*it)->checkedOut_) devices_.erase(it);
    Changed();
}

void TWebHidController::Input(std::uint32_t id, std::uint8_t reportId, const std::uint8_t* data,
                              std::size_t size) {
    const auto it =
        std::find_if(devices_.begin(), devices_.end(), [&](const auto& d) { return d->id_ == id; });
    if (it == devices_.end()) return;
    TWebHidDevice* device = it->get();
    if (!device->pluggedIn_ || !device->checkedOut_ || !onDeviceData_) return;
    // No more than the device's input report holds, as a read into a buffer of that length.
    const std::size_t room =
        device->caps_.InputReportByteLength > 0 ? device->caps_.InputReportByteLength - 1u : 0u;
    onDeviceData_(device, reportId, data, static_cast<uint16_t>(std::min(size, room)));
}

void TWebHidController::Changed() {
    if (onDeviceChange_) onDeviceChange_(this);
}

int32_t TWebHidController::Enumerate() {
    int32_t count = 0;
    // By index: a handler may check a device in or out meanwhile.
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        TWebHidDevice* device = devices_[i].get();
        if (!device->pluggedIn_) continue;
        ++count;
        if (!onEnumerate_ || !onEnumerate_(device, static_cast<int32_t>(i))) break;
    }
    return count;
}

bool TWebHidController::CheckOutByIdentifiers(hid::TCustomHidDevice*& HidDev, int32_t VendorID,
                                              int32_t ProductID) {
    HidDev = nullptr;
    for (const auto& device : devices_) {
        const hid::THidAttributes& a = device->attributes_;
        if (!device->pluggedIn_ || device->checkedOut_ || a.VendorID != VendorID ||
            (ProductID != -1 && a.ProductID != ProductID))
            continue;
        device->checkedOut_ = true;
        HidDev = device.get();
        return true;
    }
    return false;
}

void TWebHidController::CheckIn(hid::TCustomHidDevice*& HidDev) {
    auto* device = static_cast<TWebHidDevice*>(HidDev);
    HidDev = nullptr;
    if (!device) return;
    device->checkedOut_ = false;
    if (!device->pluggedIn_) Forget(device);
}

void TWebHidController::Forget(TWebHidDevice* device) {
    devices_.erase(std::remove_if(devices_.begin(), devices_.end(),
                                  [&](const auto& d) { return d.get() == device; }),
                   devices_.end());
}

} // namespace web
