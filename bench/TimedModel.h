#pragma once
// A device model that passes everything to another one and notes, on the steady clock,
// when each output report was taken and each input report was handed to a reader.
#include "hid/sim/DeviceModel.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace bench {

using TClockPoint = std::chrono::steady_clock::time_point;

struct TModelEvent {
    enum TKind { Write, Read } Kind;
    TClockPoint At;
    std::string Command; // writes: the command bytes up to the first zero
};

class TTimedModel final : public hid::sim::TDeviceModel {
  public:
    explicit TTimedModel(std::shared_ptr<hid::sim::TDeviceModel> Inner) : inner_(std::move(Inner)) {
        inner_->SetInputNotice([this] { NotifyInput(); });
    }

    bool WriteReport(const uint8_t* Report, size_t Length, uint64_t NowUs) override {
        const auto at = std::chrono::steady_clock::now();
        const bool ok = inner_->WriteReport(Report, Length, NowUs);
        std::string command;
        for (size_t i = 1; i < Length && Report[i] != 0; ++i)
            command.push_back(static_cast<char>(Report[i]));
        std::lock_guard lock(lock_);
        events_.push_back({TModelEvent::Write, at, std::move(command)});
        return ok;
    }
    std::optional<std::vector<uint8_t>> NextReport(uint64_t NowUs) override {
        auto report = inner_->NextReport(NowUs);
        if (report) {
            std::lock_guard lock(lock_);
            events_.push_back({TModelEvent::Read, std::chrono::steady_clock::now(), {}});
        }
        return report;
    }
    std::optional<uint64_t> NextDueUs() override { return inner_->NextDueUs(); }
    uint16_t InputReportLength() const override { return inner_->InputReportLength(); }
    uint16_t OutputReportLength() const override { return inner_->OutputReportLength(); }
    bool Gone() override { return inner_->Gone(); }

    std::vector<TModelEvent> TakeEvents() {
        std::lock_guard lock(lock_);
        return std::exchange(events_, {});
    }

  private:
    std::shared_ptr<hid::sim::TDeviceModel> inner_;
    std::mutex lock_;
    std::vector<TModelEvent> events_;
};

} // namespace bench
