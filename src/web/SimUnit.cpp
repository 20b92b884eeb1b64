#include "web/SimUnit.h"

#include <string>

namespace web {

TSimUnit::TSimUnit(TWebHidController& hid, sim::Profile profile)
    : hid_(hid), unit_(std::move(profile)) {}

void TSimUnit::Plug() {
    if (id_) return;
    const sim::Profile& p = unit_.GetProfile();
    TWebDevice device;
    device.vendorId = p.vendorId;
    device.productId = p.productId;
    device.product = p.productName;
    device.manufacturer = "Sonavelle";
    device.description = "Simulated HID device";
    device.enumerator = "SIM";
    device.inputLength = p.inputReportLength;
    device.outputLength = p.outputReportLength;
    // The path the simulated services give the n-th device plugged in.
    device.path = "sim:hid#" + std::to_string(hid_.NextId());
    id_ = hid_.Arrive(device);
}

void TSimUnit::Unplug() {
    if (!id_) return;
    hid_.Leave(std::exchange(id_, 0));
    unit_.Replug();
}

void TSimUnit::AdvanceTo(std::uint64_t nowUs) {
    nowUs_ = nowUs;
    if (!id_) return;
    while (id_) {
        const std::optional<std::vector<std::uint8_t>> report =
            unit_.Read(static_cast<std::int64_t>(nowUs_));
        if (!report) break;
        if (report->empty()) continue;
        hid_.Input(id_, (*report)[0], report->data() + 1, report->size() - 1);
    }
    if (id_ && unit_.Vanished()) hid_.Leave(std::exchange(id_, 0));
}

bool TSimUnit::Write(std::uint32_t id, const std::uint8_t* report, std::uint32_t length) {
    if (id != id_ || unit_.Vanished()) return false;
    return unit_.Write(report, length, static_cast<std::int64_t>(nowUs_));
}

} // namespace web
