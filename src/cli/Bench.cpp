#include "cli/Bench.h"

#include <QDateTime>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

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
    // The main thread waits in whole milliseconds. Rounded up, each wait ended the tick late
    // by the fraction left over, so that a tick came every 1 ms plus the tick's own work (1.3
    // ms with four units at once). That fraction is slept instead, and what came meanwhile
    // runs after it.
    while (nextTickUs_ - now >= 1000) {
        main_.WaitAndRun(static_cast<int>((nextTickUs_ - now) / 1000));
        now = SteadyUs();
    }
    if (now < nextTickUs_)
        std::this_thread::sleep_for(std::chrono::microseconds(nextTickUs_ - now));
    main_.WaitAndRun(0);
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
    : profiles_{std::move(profile)}, units_(units), together_(false),
      // The first unit is the one made with the bench, so that a test can look at it early.
      in_{{std::make_shared<hid::sim::TTransceiverModel>(profiles_.front())}} {
    services_.UseVirtualClock(main_);
    controller_ = std::make_unique<hid::THidDeviceController>(services_, main_);
}

TSimBench::TSimBench(std::vector<sim::Profile> together)
    : profiles_(std::move(together)), units_(static_cast<int>(profiles_.size())), together_(true) {
    for (std::size_t i = 0; i < profiles_.size(); ++i) {
        sim::Profile p = profiles_[i];
        p.serial = NthSerial(p.serial, static_cast<int>(i) + 1);
        in_.push_back({std::make_shared<hid::sim::TTransceiverModel>(p)});
    }
    services_.UseVirtualClock(main_);
    controller_ = std::make_unique<hid::THidDeviceController>(services_, main_);
}

TSimBench::TSimBench(std::vector<sim::Profile> units, std::int64_t everyMs)
    : profiles_(std::move(units)), units_(static_cast<int>(profiles_.size())), together_(true),
      everyUs_(std::max<std::int64_t>(everyMs, 0) * 1000), in_(profiles_.size()) {
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
    PlugDue();
    for (TSlot& slot : in_) {
        if (!slot.id || !slot.model->Inspect([](sim::Transceiver& u) { return u.Vanished(); }))
            continue;
        // Gone for good, as a pulled cable: the system notices the device has left.
        services_.Unplug(slot.id);
        slot.id = 0;
        Settle();
    }
}

std::uint32_t TSimBench::PlugDevice(std::uint16_t vendorId, std::uint16_t productId) {
    hid::sim::TSimDeviceSpec device;
    device.VendorID = vendorId;
    device.ProductID = productId;
    return services_.Plug(std::move(device));
}

bool TSimBench::UnitIn() const {
    return std::any_of(in_.begin(), in_.end(), [](const TSlot& slot) { return slot.id != 0; });
}

void TSimBench::Plug(TSlot& slot, int n) {
    sim::Profile p = profiles_[together_ ? static_cast<std::size_t>(n - 1) : 0];
    p.serial = NthSerial(p.serial, n);
    if (!slot.model) slot.model = std::make_shared<hid::sim::TTransceiverModel>(p);
    slot.id = services_.Plug(hid::sim::DeviceSpecOf(p, slot.model));
}

void TSimBench::PlugDue() {
    if (everyUs_ < 0 || plugged_ == 0) return;
    bool plugged = false;
    while (plugged_ < units_ &&
           elapsedUs_ >= planStartUs_ + static_cast<std::uint64_t>(everyUs_) * plugged_) {
        ++plugged_;
        Plug(in_[static_cast<std::size_t>(plugged_ - 1)], plugged_);
        plugged = true;
    }
    if (plugged) Settle();
}

bool TSimBench::PlugNextUnit() {
    if (everyUs_ >= 0) {
        // The plan starts with the first unit; the others follow on Pass().
        if (plugged_ > 0) return false;
        planStartUs_ = elapsedUs_;
        ++plugged_;
        Plug(in_.front(), 1);
        PlugDue();
        return true;
    }
    if (UnitIn() || plugged_ >= units_) return false;
    if (together_) {
        for (TSlot& slot : in_)
            Plug(slot, ++plugged_);
        return true;
    }
    ++plugged_;
    if (plugged_ > 1) in_.front().model.reset();
    Plug(in_.front(), plugged_);
    return true;
}

void TSimBench::UnplugUnit() {
    for (TSlot& slot : in_) {
        if (!slot.id) continue;
        services_.Unplug(slot.id);
        slot.id = 0;
    }
}

bool TSimBench::AnyUnitIn() const {
    for (std::size_t i = 0; i < in_.size(); ++i) {
        const sim::Profile& p = profiles_[together_ ? i : 0];
        if (in_[i].id && p.access != sim::Access::None) return true;
    }
    return false;
}

void TSimBench::UnplugUnitAt(const std::string& path) {
    for (TSlot& slot : in_) {
        if (!slot.id || hid::sim::TSimServices::PathOf(slot.id) != path) continue;
        services_.Unplug(slot.id);
        slot.id = 0;
    }
}

// ---- choosing among several devices ----------------------------------------------------------

bool IsDevicePath(std::string_view device) {
    return device.find_first_of("/\\:") != std::string_view::npos;
}

bool IsTransceiver(const hid::TCustomHidDevice& device) {
    const hid::THidAttributes& a = device.Attributes();
    return std::any_of(std::begin(core::kTransceiverIds), std::end(core::kTransceiverIds),
                       [&](const core::TTransceiverId& id) {
                           return a.VendorID == id.VendorID && a.ProductID == id.ProductID;
                       });
}

TSimUnits SimUnits(const std::vector<std::string>& names) {
    TSimUnits units;
    for (const std::string& name : names) {
        sim::ProfileResult loaded = sim::PresetOrFile(name);
        if (!loaded)
            return {{}, "--sim: '" + name + "' is neither a preset nor a unit file (" +
                            loaded.error + ")."};
        units.profiles.push_back(std::move(*loaded.profile));
    }
    return units;
}

bool MayBeTransceiver(const hid::THidPnPInfo& info) {
    if (info.HardwareID.empty()) return true;
    char vendor[8], product[8];
    for (std::string id : info.HardwareID) {
        std::transform(id.begin(), id.end(), id.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        for (const core::TTransceiverId& t : core::kTransceiverIds) {
            std::snprintf(vendor, sizeof vendor, "%04X", static_cast<unsigned>(t.VendorID));
            std::snprintf(product, sizeof product, "%04X", static_cast<unsigned>(t.ProductID));
            if (id.find(vendor) != std::string::npos && id.find(product) != std::string::npos)
                return true;
        }
    }
    return false;
}

bool TDeviceView::Takes(const hid::TCustomHidDevice& device) const {
    const std::string& path = device.PnPInfo().DevicePath;
    return (only_.empty() || path == only_) &&
           std::find(passedOver_.begin(), passedOver_.end(), path) == passedOver_.end();
}

bool TDeviceView::Writable(const hid::THidDevice& device) const {
    if (device.ReadWriteAccess()) return true;
    if (writableOnly_) return false;
    // Its identification could not even set the clock: another unit the user may write to
    // is taken first.
    const std::vector<hid::THidDevice*>& devices = hid_.Devices();
    return std::none_of(devices.begin(), devices.end(), [&](const hid::THidDevice* other) {
        return other->PluggedIn() && !other->CheckedOut() && other->ReadWriteAccess() &&
               IsTransceiver(*other) && Takes(*other);
    });
}

std::vector<std::string> TDeviceView::Candidates() const {
    std::vector<std::string> paths;
    for (const hid::THidDevice* device : hid_.Devices())
        if (device->PluggedIn() && IsTransceiver(*device) && Takes(*device) && Writable(*device))
            paths.push_back(device->PnPInfo().DevicePath);
    return paths;
}

bool TDeviceView::CheckOutByIdentifiers(hid::TCustomHidDevice*& device, int32_t vendorId,
                                        int32_t productId) {
    // As the controller's own, over the devices this view takes.
    device = nullptr;
    const std::vector<hid::THidDevice*>& devices = hid_.Devices();
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const hid::THidAttributes& a = devices[i]->Attributes();
        const bool eligible = (!room_ || room_()) && a.VendorID == vendorId &&
                              (productId == -1 || a.ProductID == productId) && Takes(*devices[i]) &&
                              Writable(*devices[i]);
        hid::THidDevice* taken = nullptr;
        if (hid_.CheckOutAt(taken, i, eligible)) {
            device = taken;
            takenPath_ = taken->PnPInfo().DevicePath;
            return true;
        }
    }
    return false;
}

} // namespace cli
