#include "link/Bench.h"

#include "link/Text.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace core {

// One unit on the bench: its device, its conversation, and the ports that name it.
class TUnitBench::TSlot final : public TLogSink, public TWriteJournal {
  public:
    TSlot(TUnitBench& bench, hid::TCustomHidDevice* taken, TWriteJournal* journal)
        : bench_(bench), device(taken), journal_(journal),
          name(taken ? taken->PnPInfo().DevicePath : std::string()) {}

    void WriteLog(std::string_view utf8, int direction) override {
        bench_.ports_.Log->WriteUnitLog(name, utf8, direction);
    }
    void WriteLogBytes(std::string_view latin1, int direction) override {
        bench_.ports_.Log->WriteUnitLogBytes(name, latin1, direction);
    }
    std::string FromLocal8Bit(std::string_view text) const override {
        return bench_.ports_.Log->FromLocal8Bit(text);
    }
    bool BeforeFirstWrite(TRunKind kind) override {
        return !journal_ || journal_->BeforeFirstWrite(kind);
    }
    void RunEnded(TRunKind kind, TRunEnd end) override {
        if (journal_) journal_->RunEnded(kind, end);
        if (bench_.ports_.Front) bench_.ports_.Front->RunEnded(*conversation, kind, end);
    }

    TUnitBench& bench_;
    hid::TCustomHidDevice* device; // checked out to this unit
    TWriteJournal* journal_;
    std::string name;
    std::unique_ptr<TConversation> conversation;
    bool identified = false, resting = false;
};

void TLogSink::WriteUnitLog(std::string_view, std::string_view utf8, int direction) {
    WriteLog(utf8, direction);
}

void TLogSink::WriteUnitLogBytes(std::string_view, std::string_view latin1, int direction) {
    WriteLogBytes(latin1, direction);
}

TUnitBench::TUnitBench(TBenchPorts ports, std::string version, TBenchPolicy policy,
                       TUnitOptions options)
    : ports_(ports), version_(std::move(version)), policy_(policy), options_(options) {
    if (policy_ == TBenchPolicy::OneUnit)
        one_ = Add(nullptr, options_.Journal, options_.Watcher).conversation.get();
    if (!ports_.Hid) return;
    ports_.Hid->SetOnEnumerate(hid::THidEnumerateEvent::Bind<&TUnitBench::OnEnumerate>(this));
    ports_.Hid->SetOnDeviceData(hid::THidDataEvent::Bind<&TUnitBench::OnDeviceData>(this));
    ports_.Hid->SetOnDeviceChange(hid::TNotifyEvent::Bind<&TUnitBench::OnDeviceChange>(this));
}

TUnitBench::~TUnitBench() {
    Shutdown();
}

template <typename F> void TUnitBench::Guarded(F&& handler) {
    core::Guarded(*ports_.Dialogs, *ports_.Log, std::forward<F>(handler));
}

TUnitBench::TSlot& TUnitBench::Add(hid::TCustomHidDevice* device, TWriteJournal* journal,
                                   TUnitWatcher* watcher) {
    auto slot = std::make_unique<TSlot>(*this, device, journal);
    TSlot& s = *slot;
    // A bench of several tells its front end how every run ends; the window's unit runs
    // unjournaled where it has no journal.
    const bool journaled = journal || policy_ == TBenchPolicy::EveryUnit;
    // The window's one unit writes to its log as it always has; each of several is named.
    TLogSink* log = policy_ == TBenchPolicy::OneUnit ? ports_.Log : &s;
    s.conversation = std::make_unique<TConversation>(
        TConversationPorts{ports_.Hid ? this : nullptr, log, ports_.Dialogs, ports_.View,
                           ports_.Clock, journaled ? &s : nullptr, watcher},
        version_);
    s.conversation->SetReplyTimeout(options_.replyTimeoutMs);
    units_.push_back(std::move(slot));
    return s;
}

std::vector<TConversation*> TUnitBench::Units() const {
    std::vector<TConversation*> units;
    for (const auto& slot : units_)
        units.push_back(slot->conversation.get());
    return units;
}

TUnitBench::TSlot* TUnitBench::SlotOf(const TConversation& unit) const {
    for (const auto& slot : units_)
        if (slot->conversation.get() == &unit) return slot.get();
    return nullptr;
}

TConversation* TUnitBench::UnitOf(const hid::TCustomHidDevice* device) const {
    if (!device) return nullptr;
    for (const auto& slot : units_)
        if (slot->device == device) return slot->conversation.get();
    return nullptr;
}

const std::string& TUnitBench::NameOf(const TConversation& unit) const {
    static const std::string none;
    const TSlot* slot = SlotOf(unit);
    return slot ? slot->name : none;
}

void TUnitBench::Start() {
    firstCheck_ = true;
    for (const auto& slot : units_)
        slot->conversation->Start();
    // Without change notices the device list is built once, at start; a transceiver
    // plugged in later would seem to be ignored without a word.
    if (ports_.Hid && !ports_.Hid->NoticesOpen())
        ports_.Log->WriteLog(
            "Hot-plug notices are unavailable: a transceiver plugged in later is not noticed.",
            kLogNote);
}

void TUnitBench::Shutdown() {
    changePending_ = false;
    for (const auto& slot : units_) {
        slot->conversation->Shutdown();
        if (ports_.Hid) ports_.Hid->CheckIn(slot->device);
    }
    if (!ports_.Hid) return;
    // Its OnDeviceChange is left for the controller's own end to clear: the setter runs a
    // whole device pass, which may throw.
    ports_.Hid->SetOnDeviceData({});
    ports_.Hid->SetOnEnumerate({});
    ports_.Hid = nullptr;
}

// ---- the tick ---------------------------------------------------------------------------------

bool TUnitBench::AnyNeedsTicks() const {
    return std::any_of(units_.begin(), units_.end(),
                       [](const auto& slot) { return slot->conversation->NeedsTicks(); });
}

void TUnitBench::Tick() {
    if (one_) {
        if (changePending_ && !one_->WriteRunUnderWay()) ChangeDevices();
        one_->Tick();
        if (ports_.Front) Watch(*units_.front());
        return;
    }
    // A unit's tick may end it (its front end unplugs it): the list is walked by index.
    for (std::size_t i = 0; i < units_.size(); ++i) {
        if (!units_[i]->conversation->NeedsTicks()) continue;
        units_[i]->conversation->Tick();
        if (ports_.Front) Watch(*units_[i]);
    }
}

void TUnitBench::Watch(TSlot& slot) {
    TBenchFront* front = ports_.Front;
    if (!front) return;
    TConversation& unit = *slot.conversation;
    const TPhase phase = unit.Phase();
    const bool closed = phase == TPhase::Closing && !unit.Running();
    if (!slot.identified && (closed || phase == TPhase::ReadingDefaults ||
                             phase == TPhase::ReadingCurrent || phase == TPhase::Ready)) {
        slot.identified = true;
        front->UnitIdentified(unit);
    }
    const bool resting =
        slot.identified && (closed || phase == TPhase::Ready) && !unit.Replies().Received();
    if (resting && !slot.resting) front->UnitRests(unit);
    slot.resting = resting;
}

// ---- the controller's events ----------------------------------------------------------------

void TUnitBench::OnDeviceChange(void*) {
    DeviceChange();
    if (ports_.Front) ports_.Front->Handled();
}

bool TUnitBench::OnEnumerate(hid::TCustomHidDevice* device, std::int32_t) {
    if (device) Enumerated(*device);
    if (ports_.Front) ports_.Front->Handled();
    return true;
}

void TUnitBench::OnDeviceData(hid::TCustomHidDevice* device, std::uint8_t, const std::uint8_t* data,
                              std::uint16_t size) {
    DeviceData(device, data, size);
    if (ports_.Front) ports_.Front->Handled();
}

void TUnitBench::DeviceData(hid::TCustomHidDevice* device, const std::uint8_t* data,
                            std::uint16_t size) {
    if (one_) {
        // The window's unit takes what its controller delivers.
        one_->DeviceData(data, size);
        return;
    }
    if (TConversation* unit = UnitOf(device)) unit->DeviceData(data, size);
}

void TUnitBench::Enumerated(hid::TCustomHidDevice& device) {
    Guarded([&] {
        TLogSink& log = listing_ ? static_cast<TLogSink&>(*listing_) : *ports_.Log;
        const auto line = [&](const std::string& text) { log.WriteLog(text, kLogNote); };
        const auto& a = device.Attributes();
        const auto& p = device.PnPInfo();
        const auto text = [this](const std::string& s) { return ports_.Log->FromLocal8Bit(s); };
        line("HidCtlEnumerate: VenderID=" + Hex(a.VendorID, 4) +
             " DeviceID=" + Hex(a.ProductID, 4) + " DevicePath=" + text(p.DevicePath));
        const auto num = [&](const char* name, std::uint32_t v) {
            line(std::string("  PnPInfo.") + name + "=" +
                 std::to_string(static_cast<std::int32_t>(v)));
        };
        const auto str = [&](const char* name, const std::string& v) {
            line(std::string("  PnPInfo.") + name + "=" + text(v));
        };
        num("DeviceID", p.DeviceID);
        str("DevicePath", p.DevicePath);
        num("Capabilities", p.Capabilities);
        str("ClassDescr", p.ClassDescr);
        str("ClassGUID", p.ClassGUID);
        num("ConfigFlags", p.ConfigFlags);
        str("DeviceDescr", p.DeviceDescr);
        str("Driver", p.Driver);
        str("FriendlyName", p.FriendlyName);
        str("Mfg", p.Mfg);
        str("Address", p.Address);
        num("BusNumber", p.BusNumber);
        str("BusType", p.BusType);
        str("Characteristics", p.Characteristics);
        num("DevType", p.DevType);
        str("EnumeratorName", p.EnumeratorName);
        num("Exclusive", p.Exclusive);
        num("LegacyBusType", p.LegacyBusType);
        str("LocationInfo", p.LocationInfo);
        str("PhysDevObjName", p.PhysDevObjName);
        str("SecuritySDS", p.SecuritySDS);
        str("Service", p.Service);
        num("UINumber", p.UINumber);
        str("UINumberFormat", p.UINumberFormat);
        const auto list = [&](const char* name, const hid::TStringList& items) {
            for (size_t i = 0; i < items.size(); ++i)
                line(std::string("  PnPInfo.") + name + "[" + std::to_string(i) +
                     "]=" + text(items[i]));
        };
        list("CompatibleIDs", p.CompatibleIDs);
        list("HardwareID", p.HardwareID);
        list("LowerFilters", p.LowerFilters);
        list("UpperFilters", p.UpperFilters);
    });
}

void TUnitBench::DeviceChange() {
    if (policy_ == TBenchPolicy::EveryUnit) {
        Guarded([this] { ChangeEveryUnit(); });
        return;
    }
    TConversation& unit = Unit();
    // A mouse or another unit plugged in must not cut a write run short and leave the unit
    // half-written: while the checked-out unit stays, the change waits for the run's end.
    if (unit.Device() && unit.Device()->PluggedIn() && unit.WriteRunUnderWay()) {
        Guarded([&] {
            if (std::exchange(changePending_, true)) return;
            unit.PutOffChange();
        });
        return;
    }
    ChangeDevices();
}

// ---- the window's policy: one unit ------------------------------------------------------------

void TUnitBench::ChangeDevices() {
    TSlot& slot = *units_.front();
    TConversation& unit = *slot.conversation;
    Guarded([&] {
        changePending_ = false;
        unit.Forget();
        unit.Log("device change.");
        if (!ports_.Hid) return;
        if (slot.device && !slot.device->PluggedIn()) {
            unit.Disconnect();
            ports_.Hid->CheckIn(slot.device);
            if (ports_.Front) ports_.Front->UnitGone(unit);
            slot.identified = slot.resting = false;
            return;
        }

        listing_ = &slot;
        struct TListed {
            TSlot*& listing;
            ~TListed() { listing = nullptr; }
        } listed{listing_};
        ports_.Hid->Enumerate();
        unit.Release();
        unit.Log("HID_Open.");
        ports_.Hid->CheckIn(slot.device);
        for (const auto& id : kTransceiverIds) {
            if (ports_.Hid->CheckOutByIdentifiers(slot.device, id.VendorID, id.ProductID)) {
                unit.Log(id.LogLine);
                break;
            }
        }
        slot.name = slot.device ? slot.device->PnPInfo().DevicePath : std::string();
        slot.identified = slot.resting = false;
        unit.Take(slot.device);
        if (unit.Running()) {
            unit.Log("HidCtrl1DeviceChange:Runung=True.");
            if (firstCheck_) {
                // Attached before the tool started: the user must plug it in afresh.
                unit.Log("Sonavelle exist.");
                ports_.Dialogs->ShowErrorMessage(kToolCaption, "Remove Sonavelle.");
                unit.Log("Remove Sonavelle.");
                if (ports_.View) ports_.View->Close();
            }
            unit.Identify();
            if (ports_.Front) ports_.Front->UnitArrived(unit);
        } else {
            unit.Log("HidCtrl1DeviceChange:Runung=False.");
            firstCheck_ = false;
            unit.Settle();
        }
    });
}

void TUnitBench::Reconnect(TConversation& unit) {
    if (policy_ == TBenchPolicy::OneUnit) return ChangeDevices();
    // A unit of several is identified and read afresh on its own device; the others go on.
    TSlot* slot = SlotOf(unit);
    if (!slot || !slot->device) return;
    Guarded([&] {
        unit.Forget();
        unit.Log("device change.");
        slot->identified = slot->resting = false;
        unit.Take(slot->device);
        if (unit.Running()) unit.Identify();
    });
}

void TUnitBench::LetGo(TConversation& unit) {
    TSlot* slot = SlotOf(unit);
    if (!slot) return;
    if (policy_ == TBenchPolicy::OneUnit) changePending_ = false;
    if (ports_.Hid) ports_.Hid->CheckIn(slot->device);
    slot->identified = slot->resting = false;
}

void TUnitBench::Closed(TConversation& unit) {
    // The window lets go and takes the unit afresh at the next device change; a bench of
    // several keeps it, closed, until it is unplugged, so that another device coming or going
    // does not identify it again.
    if (policy_ == TBenchPolicy::EveryUnit) return;
    TSlot* slot = SlotOf(unit);
    if (slot && ports_.Hid) ports_.Hid->CheckIn(slot->device);
}

// ---- every unit ------------------------------------------------------------------------------

void TUnitBench::ChangeEveryUnit() {
    if (!ports_.Hid) return;
    // The units gone first: their conversations end, and their runs with them.
    for (std::size_t i = 0; i < units_.size();) {
        TSlot& slot = *units_[i];
        if (slot.device && slot.device->PluggedIn()) {
            ++i;
            continue;
        }
        slot.conversation->Disconnect();
        ports_.Hid->CheckIn(slot.device);
        if (ports_.Front) ports_.Front->UnitGone(*slot.conversation);
        slot.conversation->Shutdown();
        units_.erase(units_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    ports_.Hid->Enumerate();
    firstCheck_ = false;
    for (const auto& id : kTransceiverIds) {
        hid::TCustomHidDevice* device = nullptr;
        while (ports_.Hid->CheckOutByIdentifiers(device, id.VendorID, id.ProductID)) {
            TWriteJournal* journal = ports_.Front ? ports_.Front->JournalFor(*device) : nullptr;
            TSlot& slot = Add(device, journal, nullptr);
            TConversation& unit = *slot.conversation;
            unit.Start();
            unit.Log(id.LogLine);
            unit.Take(device);
            unit.Identify();
            if (ports_.Front) ports_.Front->UnitArrived(unit);
            device = nullptr;
        }
    }
}

} // namespace core
