#pragma once
// What the sim services need of a simulated device: it takes output reports and produces
// input reports when they fall due. Reports count the report-ID byte as byte 0.
// The services call a model under their own lock, from the main thread and from readers,
// never two calls at once.
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace hid::sim {

class TDeviceModel {
  public:
    virtual ~TDeviceModel() = default;

    // False when the device refused the report.
    virtual bool WriteReport(const uint8_t* Report, size_t Length, uint64_t NowUs) = 0;
    // The next input report due at NowUs, taken from the model; none when nothing is due.
    virtual std::optional<std::vector<uint8_t>> NextReport(uint64_t NowUs) = 0;
    // When the next pending input report falls due; none when none is pending.
    virtual std::optional<uint64_t> NextDueUs() = 0;
    virtual uint16_t InputReportLength() const = 0;
    virtual uint16_t OutputReportLength() const = 0;
    // The unit stopped answering for good (pulled, broken): its reads end as unplugged.
    virtual bool Gone() = 0;

    // The services install this; a model that produces input on its own (not in answer
    // to a write) calls it so that a waiting reader looks again.
    void SetInputNotice(std::function<void()> Notice) { inputNotice_ = std::move(Notice); }

  protected:
    void NotifyInput() const {
        if (inputNotice_) inputNotice_();
    }

  private:
    std::function<void()> inputNotice_;
};

// A plain device: input reports are queued by whoever drives it (a test), output reports
// are kept. Thread-safe, so a test may push while a reader waits.
class TQueueModel final : public TDeviceModel {
  public:
    TQueueModel(uint16_t InputLength, uint16_t OutputLength)
        : inputLength_(InputLength), outputLength_(OutputLength) {}

    void Push(std::vector<uint8_t> Report) {
        {
            std::lock_guard lock(lock_);
            input_.push_back(std::move(Report));
        }
        NotifyInput();
    }
    void Vanish() {
        {
            std::lock_guard lock(lock_);
            gone_ = true;
        }
        NotifyInput();
    }
    std::vector<std::vector<uint8_t>> Written() {
        std::lock_guard lock(lock_);
        return written_;
    }

    bool WriteReport(const uint8_t* Report, size_t Length, uint64_t) override {
        std::lock_guard lock(lock_);
        written_.emplace_back(Report, Report + Length);
        return true;
    }
    std::optional<std::vector<uint8_t>> NextReport(uint64_t) override {
        std::lock_guard lock(lock_);
        if (input_.empty()) return std::nullopt;
        std::vector<uint8_t> report = std::move(input_.front());
        input_.pop_front();
        return report;
    }
    std::optional<uint64_t> NextDueUs() override {
        std::lock_guard lock(lock_);
        if (input_.empty()) return std::nullopt;
        return 0;
    }
    uint16_t InputReportLength() const override { return inputLength_; }
    uint16_t OutputReportLength() const override { return outputLength_; }
    bool Gone() override {
        std::lock_guard lock(lock_);
        return gone_;
    }

  private:
    const uint16_t inputLength_;
    const uint16_t outputLength_;
    std::mutex lock_;
    std::deque<std::vector<uint8_t>> input_;
    std::vector<std::vector<uint8_t>> written_;
    bool gone_ = false;
};

} // namespace hid::sim
