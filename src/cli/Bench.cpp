#include "cli/Bench.h"

#include <QDateTime>

#include <cctype>
#include <chrono>
#include <stdexcept>

namespace cli {

namespace {

std::int64_t SteadyUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

// ---- the operating system's services ---------------------------------------------------------

TSystemBench::TSystemBench() : TSystemBench(hid::CreateSystemServices()) {}

TSystemBench::TSystemBench(std::unique_ptr<hid::TPlatformServices> services)
    : services_(std::move(services)),
      controller_(std::make_unique<hid::THidDeviceController>(*services_, main_)) {}

TSystemBench::~TSystemBench() {
    controller_.reset(); // lets go of the devices while the services are still there
}

core::TTimePoint TSystemBench::Now() const {
    const QDateTime now = QDateTime::currentDateTime();
    return {now.toMSecsSinceEpoch(),
            QDateTime(now.date(), now.time(), Qt::UTC).toMSecsSinceEpoch()};
}

void TSystemBench::Pass() {
    // The tick falls due 1 ms after the one before; after a long hold-up it starts afresh
    // instead of running the missed ticks back to back.
    std::int64_t now = SteadyUs();
    if (nextTickUs_ == 0 || now > nextTickUs_ + 100000) nextTickUs_ = now;
    nextTickUs_ += 1000;
    do {
        const std::int64_t leftMs = (nextTickUs_ - now + 999) / 1000;
        main_.WaitAndRun(static_cast<int>(leftMs > 0 ? leftMs : 0));
        now = SteadyUs();
    } while (now < nextTickUs_);
}

// ---- simulated units --------------------------------------------------------------------------

std::string NthSerial(const std::string& first, int n) {
    std::size_t end = first.size();
    while (end > 0 && !std::isdigit(static_cast<unsigned char>(first[end - 1])))
        --end;
    std::size_t begin = end;
    while (begin > 0 && std::isdigit(static_cast<unsigned char>(first[begin - 1])))
        --begin;
    if (begin == end || n <= 1) return first;
    std::string digits = first.substr(begin, end - begin);
    // Decimal addition on the text: any width, no overflow.
    int carry = n - 1;
    for (std::size_t i = digits.size(); i-- > 0 && carry > 0;) {
        const int sum = (digits[i] - '0') + carry % 10;
        carry = carry / 10 + sum / 10;
        digits[i] = static_cast<char>('0' + sum % 10);
    }
    if (carry > 0) digits = std::to_string(carry) + digits;
    return first.substr(0, begin) + digits + first.substr(end);
}

TSimBench::TSimBench(sim::Profile profile, int units)
    : profile_(std::move(profile)), units_(units),
      model_(std::make_shared<hid::sim::TTransceiverModel>(profile_)) {
    services_.UseVirtualClock(main_);
    controller_ = std::make_unique<hid::THidDeviceController>(services_, main_);
}

TSimBench::~TSimBench() {
    controller_.reset();
}

core::TTimePoint TSimBench::Now() const {
    const std::int64_t ms = kEpochMs + static_cast<std::int64_t>(elapsedUs_ / 1000);
    return {ms, ms};
}

void TSimBench::Settle() {
    if (!hid::sim::SettleVirtual(services_, main_))
        throw std::runtime_error("The simulated unit's reader thread is stuck.");
}

void TSimBench::Pass() {
    elapsedUs_ += 1000;
    services_.AdvanceTo(elapsedUs_);
    Settle();
    if (unitId_ && model_->Inspect([](sim::Transceiver& u) { return u.Vanished(); })) {
        // Gone for good, as a pulled cable: the system notices the device has left.
        services_.Unplug(unitId_);
        unitId_ = 0;
        Settle();
    }
}

bool TSimBench::PlugNextUnit() {
    if (unitId_ || plugged_ >= units_) return false;
    ++plugged_;
    sim::Profile p = profile_;
    p.serial = NthSerial(profile_.serial, plugged_);
    // The first unit is the one made with the bench, so that a test can look at it early.
    if (plugged_ > 1) model_ = std::make_shared<hid::sim::TTransceiverModel>(p);
    unitId_ = services_.Plug(hid::sim::DeviceSpecOf(p, model_));
    return true;
}

void TSimBench::UnplugUnit() {
    if (!unitId_) return;
    services_.Unplug(unitId_);
    unitId_ = 0;
}

} // namespace cli
