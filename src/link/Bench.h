#pragma once
// The transceivers on one machine: the bench owns the HID controller's events, finds the
// transceivers among the devices by the identifier table, checks them out, keeps a unit
// conversation for each, routes each input report to the conversation of the device that sent
// it, ticks every unit from one timer on one thread, and tells its front end when a unit
// arrives, is identified, rests, ends a run that writes, and goes. One per process or page.
//
// Two policies:
// - OneUnit: the window's. One conversation for the life of the bench; every device change
//   clears what it shows, looks at the devices afresh and identifies the first transceiver
//   (a change during a write run waits for the run's end). A unit attached before the first
//   device pass is refused with "Remove Sonavelle." and the view is closed.
// - EveryUnit: a conversation for each transceiver checked out, made when it arrives and
//   ended when it goes; a device change leaves the units that stay alone.
#include "link/Conversation.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// What a bench tells its front end. Every call is on the bench's thread.
class TBenchFront {
  public:
    virtual ~TBenchFront() = default;
    // A transceiver was checked out and its conversation is about to identify it.
    virtual void UnitArrived(TConversation&) {}
    // Its identity and serial number are read (or it said it has none).
    virtual void UnitIdentified(TConversation&) {}
    // It is ready, or closed, with nothing under way.
    virtual void UnitRests(TConversation&) {}
    // A run that writes has ended (after the unit's journal was told).
    virtual void RunEnded(TConversation&, TRunKind, TRunEnd) {}
    // Its device has gone; the conversation ends when this returns (EveryUnit).
    virtual void UnitGone(TConversation&) {}
    // The journal of a unit about to be made (EveryUnit): backs up and records its runs.
    virtual TWriteJournal* JournalFor(const hid::TCustomHidDevice&) { return nullptr; }
    // A controller event has been handled: time to show what it changed.
    virtual void Handled() {}
};

enum class TBenchPolicy { OneUnit, EveryUnit };

struct TBenchPorts {
    hid::TCustomHidController* Hid = nullptr; // null: no HID layer at all
    TLogSink* Log = nullptr;                  // lines of a unit come through WriteUnitLog
    TDialogSink* Dialogs = nullptr;
    TViewSink* View = nullptr;
    const TClock* Clock = nullptr;
    TBenchFront* Front = nullptr; // may be null
};

// The one unit's own ports (OneUnit), and each unit's reply time-out.
struct TUnitOptions {
    TWriteJournal* Journal = nullptr;
    TUnitWatcher* Watcher = nullptr;
    // Each unit's reply time-out (TConversation::SetReplyTimeout; 0: waits for ever).
    std::int64_t replyTimeoutMs = 0;
};

class TUnitBench final : public TUnitHost {
  public:
    // Installs its handlers on the controller; ports must outlive the bench.
    TUnitBench(TBenchPorts ports, std::string version, TBenchPolicy policy = TBenchPolicy::OneUnit,
               TUnitOptions options = {});
    ~TUnitBench() override;
    TUnitBench(const TUnitBench&) = delete;
    TUnitBench& operator=(const TUnitBench&) = delete;

    // The tool has started: the start line, and a word if plugging in will go unnoticed.
    void Start();
    // Lets go of every unit and of the controller's report and listing events; nothing
    // reaches the HID layer afterwards.
    void Shutdown();
    // One tick of every unit that needs it.
    void Tick();
    bool NeedsTicks() const { return one_ ? one_->NeedsTicks() : AnyNeedsTicks(); }
    // Still waiting for the first device pass since start.
    bool FirstCheck() const override { return firstCheck_; }

    // The controller's events (installed by the constructor; a front end that wraps them
    // may call these itself).
    void DeviceChange();
    void DeviceData(hid::TCustomHidDevice* device, const std::uint8_t* data, std::uint16_t size);
    void Enumerated(hid::TCustomHidDevice& device);

    // OneUnit: the unit, connected or not.
    TConversation& Unit() { return *one_; }
    const TConversation& Unit() const { return *one_; }
    // The units on the bench, in the order they arrived (OneUnit: the one, always).
    std::vector<TConversation*> Units() const;
    // The unit whose device this is; null when none.
    TConversation* UnitOf(const hid::TCustomHidDevice* device) const;
    // The name log lines give a unit: its device path.
    const std::string& NameOf(const TConversation& unit) const;

    void Reconnect(TConversation& unit) override;
    void LetGo(TConversation& unit) override;
    void Closed(TConversation& unit) override;

  private:
    class TSlot;
    void OnDeviceChange(void* sender);
    bool OnEnumerate(hid::TCustomHidDevice* device, std::int32_t index);
    void OnDeviceData(hid::TCustomHidDevice* device, std::uint8_t reportId,
                      const std::uint8_t* data, std::uint16_t size);
    template <typename F> void Guarded(F&& handler);
    TSlot& Add(hid::TCustomHidDevice* device, TWriteJournal* journal, TUnitWatcher* watcher);
    TSlot* SlotOf(const TConversation& unit) const;
    // OneUnit: the window's device change.
    void ChangeDevices();
    // EveryUnit: units gone are ended, transceivers new are taken.
    void ChangeEveryUnit();
    void Watch(TSlot& slot);
    bool AnyNeedsTicks() const;

    TBenchPorts ports_;
    std::string version_;
    TBenchPolicy policy_;
    TUnitOptions options_;
    std::vector<std::unique_ptr<TSlot>> units_;
    TConversation* one_ = nullptr; // OneUnit: the unit
    bool firstCheck_ = true;
    bool changePending_ = false; // a device change came during a write run: due at its end
    TSlot* listing_ = nullptr;   // the unit whose log a device pass is listed in
};

} // namespace core
