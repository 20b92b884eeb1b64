#pragma once
// The simulated transceiver as a device of the sim services.
#include "hid/sim/DeviceModel.h"
#include "hid/sim/SimHidServices.h"
#include "sim/Transceiver.h"

#include <mutex>

namespace hid::sim {

class TTransceiverModel final : public TDeviceModel {
  public:
    explicit TTransceiverModel(::sim::Profile Profile) : unit_(std::move(Profile)) {}

    // Runs F on the unit while no reader can touch it (to look at what it received, to
    // switch faults on, to replug it).
    template <typename F> auto Inspect(F&& Fn) {
        std::lock_guard lock(lock_);
        return Fn(unit_);
    }

    bool WriteReport(const uint8_t* Report, size_t Length, uint64_t NowUs) override;
    std::optional<std::vector<uint8_t>> NextReport(uint64_t NowUs) override;
    std::optional<uint64_t> NextDueUs() override;
    uint16_t InputReportLength() const override;
    uint16_t OutputReportLength() const override;
    bool Gone() override;

  private:
    mutable std::mutex lock_;
    ::sim::Transceiver unit_;
};

// The device a unit of this profile is on the USB side, answered by Model.
TSimDeviceSpec DeviceSpecOf(const ::sim::Profile& Profile, std::shared_ptr<TDeviceModel> Model);

// A simulated unit's cable to the services, as a person plugs and pulls it.
class TUnitCable {
  public:
    explicit TUnitCable(TSimServices& Services) : services_(Services) {}
    bool Plugged() const { return id_ != 0; }
    // Plugs Unit in as the device its profile describes, answered by Answering (a wrapper
    // around the unit) or by the unit itself. Nothing happens when a unit is plugged.
    void Plug(std::shared_ptr<TTransceiverModel> Unit,
              std::shared_ptr<TDeviceModel> Answering = nullptr);
    // The device leaves and the unit restarts, losing what it had not saved.
    void Unplug();

  private:
    TSimServices& services_;
    std::shared_ptr<TTransceiverModel> unit_;
    uint32_t id_ = 0;
};

} // namespace hid::sim
