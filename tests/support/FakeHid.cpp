#include "support/FakeHid.h"

#include <algorithm>

namespace testing_support {

TFakeHidDevice::TFakeHidDevice(uint16_t vendorId, uint16_t productId, std::string path) {
    Attrs.VendorID = vendorId;
    Attrs.ProductID = productId;
    PnP.DevicePath = std::move(path);
    Caps.InputReportByteLength = 65;
    Caps.OutputReportByteLength = 65;
}

namespace {
constexpr uint32_t kUnpluggedCode = 0x48F;
}

bool TFakeHidDevice::WriteReport(const uint8_t* Buffer, uint32_t Length, uint32_t& Written) {
    if (FailWrites || !Plugged) {
        LastError = FailWrites ? FailCode : kUnpluggedCode;
        Written = 0;
        return false;
    }
    Written = Length;
    Sent.emplace_back(reinterpret_cast<const char*>(Buffer), Length);
    if (OnWrite) OnWrite(Sent.back());
    return true;
}

std::string TFakeHidDevice::ErrorMessage(uint32_t Code) const {
    return Code == 0x1F ? "A device attached to the system is not functioning."
                        : "Error " + std::to_string(Code);
}

hid::TErrorKind TFakeHidDevice::ErrorKind(uint32_t Code) const {
    if (Code == FailCode) return FailKind;
    return Code == kUnpluggedCode ? hid::TErrorKind::NotConnected : hid::TErrorKind::Other;
}

TFakeHidController::~TFakeHidController() = default;

int32_t TFakeHidController::Enumerate() {
    int32_t visited = 0;
    for (size_t i = 0; i < devices_.size(); ++i) {
        if (!devices_[i]->Plugged) continue;
        ++visited;
        if (OnEnumerate && !OnEnumerate(devices_[i].get(), static_cast<int32_t>(i))) break;
    }
    return visited;
}

bool TFakeHidController::CheckOutByIdentifiers(hid::TCustomHidDevice*& HidDev, int32_t VendorID,
                                               int32_t ProductID) {
    for (auto& d : devices_) {
        if (d->CheckedOut || !d->Plugged) continue;
        if (d->Attrs.VendorID != VendorID) continue;
        if (ProductID != -1 && d->Attrs.ProductID != ProductID) continue;
        d->CheckedOut = true;
        HidDev = d.get();
        return true;
    }
    return false;
}

void TFakeHidController::CheckIn(hid::TCustomHidDevice*& HidDev) {
    if (!HidDev) return;
    ++CheckInCount;
    auto it = std::find_if(devices_.begin(), devices_.end(),
                           [&](const auto& d) { return d.get() == HidDev; });
    if (it != devices_.end()) {
        (*it)->CheckedOut = false;
        if (!(*it)->Plugged) devices_.erase(it);
    }
    HidDev = nullptr;
}

TFakeHidDevice* TFakeHidController::Plug(uint16_t vendorId, uint16_t productId, bool notify) {
    char path[96];
    std::snprintf(path, sizeof path, "/dev/fake-hid%d-%04x-%04x", next_++, vendorId, productId);
    devices_.push_back(std::make_unique<TFakeHidDevice>(vendorId, productId, path));
    auto* dev = devices_.back().get();
    if (notify) NotifyChange();
    return dev;
}

void TFakeHidController::Unplug(TFakeHidDevice* dev, bool notify) {
    dev->Plugged = false;
    // A device nobody holds goes at once; a held one waits for its check-in.
    if (!dev->CheckedOut)
        devices_.erase(std::find_if(devices_.begin(), devices_.end(),
                                    [&](const auto& d) { return d.get() == dev; }));
    if (notify) NotifyChange();
}

void TFakeHidController::NotifyChange() {
    if (OnDeviceChange) OnDeviceChange(this);
}

bool TFakeHidController::Deliver(TFakeHidDevice* dev, const std::string& report) {
    if (!dev->CheckedOut || !dev->Plugged || report.empty() || !OnDeviceData) return false;
    OnDeviceData(dev, static_cast<uint8_t>(report[0]),
                 reinterpret_cast<const uint8_t*>(report.data()) + 1,
                 static_cast<uint16_t>(report.size() - 1));
    return true;
}

} // namespace testing_support
