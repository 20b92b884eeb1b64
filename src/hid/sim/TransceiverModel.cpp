#include "hid/sim/TransceiverModel.h"

namespace hid::sim {

bool TTransceiverModel::WriteReport(const uint8_t* Report, size_t Length, uint64_t NowUs) {
    std::lock_guard lock(lock_);
    return unit_.Write(Report, Length, static_cast<int64_t>(NowUs));
}

std::optional<std::vector<uint8_t>> TTransceiverModel::NextReport(uint64_t NowUs) {
    std::lock_guard lock(lock_);
    return unit_.Read(static_cast<int64_t>(NowUs));
}

std::optional<uint64_t> TTransceiverModel::NextDueUs() {
    std::lock_guard lock(lock_);
    const int64_t due = unit_.NextDueUs();
    if (due == ::sim::Transceiver::kNever) return std::nullopt;
    return static_cast<uint64_t>(due < 0 ? 0 : due);
}

uint16_t TTransceiverModel::InputReportLength() const {
    std::lock_guard lock(lock_);
    return unit_.InputReportLength();
}

uint16_t TTransceiverModel::OutputReportLength() const {
    std::lock_guard lock(lock_);
    return unit_.OutputReportLength();
}

bool TTransceiverModel::Gone() {
    std::lock_guard lock(lock_);
    return unit_.Vanished();
}

TSimDeviceSpec DeviceSpecOf(const ::sim::Profile& Profile, std::shared_ptr<TDeviceModel> Model) {
    const ::sim::Profile& p = Profile;
    TSimDeviceSpec desc;
    desc.VendorID = p.vendorId;
    desc.ProductID = p.productId;
    desc.ReadWriteAllowed = p.access == ::sim::Access::Full;
    desc.Openable = p.access != ::sim::Access::None;
    desc.Product = std::u16string(p.productName.begin(), p.productName.end());
    desc.Manufacturer = "Sonavelle";
    desc.Model = std::move(Model);
    desc.InputLength = p.inputReportLength;
    desc.OutputLength = p.outputReportLength;
    return desc;
}

void TUnitCable::Plug(std::shared_ptr<TTransceiverModel> Unit,
                      std::shared_ptr<TDeviceModel> Answering) {
    if (id_) return;
    unit_ = std::move(Unit);
    const ::sim::Profile p = unit_->Inspect([](::sim::Transceiver& u) { return u.GetProfile(); });
    id_ = services_.Plug(DeviceSpecOf(p, Answering ? std::move(Answering) : unit_));
}

void TUnitCable::Unplug() {
    if (!id_) return;
    services_.Unplug(id_);
    id_ = 0;
    unit_->Inspect([](::sim::Transceiver& u) {
        u.Replug();
        return 0;
    });
}

} // namespace hid::sim
