#pragma once
// The conversation with one transceiver, free of any window and of discovery: the command
// channel, the step table driven by the tick, identification, the information-file upload,
// both read-backs, the capability rules, Apply and Default.
//
// It holds the unit's state only. It talks to the world through narrow ports: its host (the
// bench that checked its device out, hands it the device and its reports, and takes the device
// back), a log sink, a dialog sink, a view that is told when to redraw, and a watcher told of
// the moments that change what a window shows beyond the state (core::TPanelPainter draws the
// window's panel from the state and those moments). Every entry point catches what a step
// raises and shows it in the general error box, as a handler at the edge of an event loop.
#include "hid/HidAccess.h"
#include "link/ReplyQueue.h"
#include "params/Capabilities.h"
#include "params/ParamKeys.h"
#include "params/Phase.h"
#include "params/Settings.h"
#include "params/ValueTables.h"
#include "settings/ApplyValues.h"

#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testing_support {
class TConversationPeer;
}

namespace core {

using params::TPhase;
using params::TSetting;

// Log directions.
enum : int { kLogReceived = 0, kLogSent = 1, kLogNote = 2 };

// A moment as the local clock shows it.
struct TTimePoint {
    std::int64_t utcMs = 0;  // milliseconds since 1970-01-01 00:00 UTC: for elapsed time
    std::int64_t wallMs = 0; // the local date and time, counted as if it were UTC
};

class TClock {
  public:
    virtual ~TClock() = default;
    virtual TTimePoint Now() const = 0;
};

// Seconds from 2001-01-01 00:00:00 to a local date and time, as the unit's clock counts.
std::int64_t ClockValueAt(std::int64_t wallMs);

class TLogSink {
  public:
    virtual ~TLogSink() = default;
    virtual void WriteLog(std::string_view utf8, int direction) = 0;
    // The unit's bytes, one byte one character (ISO 8859-1): commands and replies. The
    // default hands them on as UTF-8; a sink that keeps another encoding converts them once.
    virtual void WriteLogBytes(std::string_view latin1, int direction);
    // A line of the unit named (its device path) on a bench of several: the default writes
    // it as any other line, as the window's log does.
    virtual void WriteUnitLog(std::string_view unit, std::string_view utf8, int direction);
    virtual void WriteUnitLogBytes(std::string_view unit, std::string_view latin1, int direction);
    // Texts from the operating system (device properties, error messages, exception texts)
    // come in its local 8-bit encoding; the default takes them for UTF-8.
    virtual std::string FromLocal8Bit(std::string_view text) const { return std::string(text); }
};

class TDialogSink {
  public:
    virtual ~TDialogSink() = default;
    // The general error box: the text of an error raised inside a handler.
    virtual void ShowErrorBox(std::string_view utf8) = 0;
    // A modal message with an error icon; returns when the user has closed it.
    virtual void ShowErrorMessage(std::string_view caption, std::string_view text) = 0;
};

class TViewSink {
  public:
    virtual ~TViewSink() = default;
    // Bring the shown panel up to date now; with processEvents, let the event loop run too.
    // The conversation asks for the event loop in the middle of a step (when the settings are
    // shown or hidden for a firmware, and when a device change clears them): whatever the
    // loop delivers then (a report, a device change, a click) re-enters the bench and the
    // conversation, which hold no reference across the call.
    virtual void Refresh(bool processEvents) = 0;
    // The tool closes (a unit was attached before it started).
    virtual void Close() = 0;
};

// The runs that write to the unit.
enum class TRunKind { Apply, Default };

// How a run that wrote (or was about to write) ended.
enum class TRunEnd {
    Saved,       // the unit confirmed "SAVE"
    Refused,     // the unit answered a command with something other than its acknowledgement
                 // (LastRun().refusal says which command and what it answered)
    WriteFailed, // a command could not be written (LastRun().writeFailure)
    WentAway,    // the unit was unplugged or vanished before the run ended
    Abandoned,   // the run still waited for an answer when the front end moved on (Apply,
                 // Default or Reconnect pressed again, LetGo, Shutdown), or a device change
                 // came before its first command, while the journal was at work
};

// What a front end keeps of each run that writes: a backup before it, a record after it.
class TWriteJournal {
  public:
    virtual ~TWriteJournal() = default;
    // The run is about to send its first command; the conversation's state (Identity(),
    // Serial(), Setting(s), UnitValues()) is still what the unit holds. False: the run does
    // not start, nothing is sent, and the conversation is Ready as before the press.
    virtual bool BeforeFirstWrite(TRunKind kind) = 0;
    // The run has ended; LastRun() holds what was acknowledged and written. Called once for
    // each run that passed BeforeFirstWrite, never for one that did not.
    virtual void RunEnded(TRunKind kind, TRunEnd end) = 0;
};

class TConversation;

// The bench that holds a conversation's device: what the conversation cannot do alone.
class TUnitHost {
  public:
    virtual ~TUnitHost() = default;
    // The user's Reconnect: the devices looked at afresh and the unit identified again.
    virtual void Reconnect(TConversation& unit) = 0;
    // Takes the unit's device back; the conversation waits, idle, for the next plug-in.
    virtual void LetGo(TConversation& unit) = 0;
    // The conversation is done with its device (identification closed it): checked in.
    virtual void Closed(TConversation& unit) = 0;
    // Still waiting for the first device pass since start.
    virtual bool FirstCheck() const = 0;
};

// The moments that change what a window shows beyond the unit's state (the panel function
// draws the rest from the state). Each comes after the state has changed.
class TUnitWatcher {
  public:
    virtual ~TUnitWatcher() = default;
    virtual void Forgotten() {}            // what was read and shown of a unit is cleared
    virtual void Disconnected() {}         // the unit went, and was let go
    virtual void DevicesSettled() {}       // a device pass found no unit to identify
    virtual void Ticked() {}               // a tick has run
    virtual void VersionAnswered() {}      // the unit answered "VER"
    virtual void SettingsShownChanged() {} // Supported() was decided (or reset)
    virtual void ModelAnswered() {}
    virtual void LanguageAnswered() {}
    virtual void CapabilitiesChecked() {} // the identity's capability rules hold now
    virtual void ReadBackFinished() {}
    virtual void SaveAnswered() {} // the unit answered "SAVE" (or a run ended as if it had)
};

struct TConversationPorts {
    TUnitHost* Host = nullptr; // null: no HID layer at all
    TLogSink* Log = nullptr;
    TDialogSink* Dialogs = nullptr;
    TViewSink* View = nullptr;
    const TClock* Clock = nullptr;
    TWriteJournal* Journal = nullptr; // null: runs are neither backed up nor recorded
    TUnitWatcher* Watcher = nullptr;  // null: nobody shows the unit
};

// The caption of the tool's message boxes.
inline constexpr std::string_view kToolCaption = "Sonavelle customize tool";

// What the window says instead of the settings of a firmware it does not support.
inline constexpr std::string_view kUnsupportedNotice =
    "The Sonavelle firmware you have is not supported in this tool.\r\n"
    "Please update to the latest version.";

// What to do when this user may not open the unit for writing.
inline constexpr std::string_view kUdevRuleHint =
    "Permission denied: this user may not write to the transceiver. Install the udev rule "
    "70-sonavelle.rules (see README) and plug the unit in again.";

// Identifiers of the units, tried in this order; the first device checked out wins. The
// maker's vendor id is named in packaging/70-sonavelle.rules too (scripts/test-package.sh
// checks the two agree).
struct TTransceiverId {
    std::int32_t VendorID;
    std::int32_t ProductID;
    const char* LogLine;
};
inline constexpr std::uint16_t TransceiverVendorID = 0x3A5C;
inline constexpr TTransceiverId kTransceiverIds[] = {
    {TransceiverVendorID, 0x7802, "HID_Open:CheckOut QD device2."},
    {TransceiverVendorID, 0x7800, "HID_Open:CheckOut QD device1."},
    {0x2342, 0x0043, "HID_Open:CheckOut keil device."},
};

class TConversation {
  public:
    // Ports must outlive the conversation.
    TConversation(TConversationPorts ports, std::string version);
    ~TConversation();
    TConversation(const TConversation&) = delete;
    TConversation& operator=(const TConversation&) = delete;

    // ---- in ------------------------------------------------------------------------
    // The tool has started: the start line.
    void Start();
    void Tick();
    void DeviceData(const std::uint8_t* data, std::uint16_t size);
    void PressApply();
    void PressDefault();
    void PressReconnect();
    // The user's choice of an item in the setting's list (its row in the window: the
    // dive-computer row stands for the receive-only switch too), as the window offers it.
    void ChooseItem(TSetting row, int index);
    // The air check's box, and the items of its two lists.
    void CheckAirCheck(bool checked);
    void ChooseAirCheckFirst(int index);
    void ChooseAirCheckLater(int index);
    // Chooses the setting's value (an index into params::SettingValues) as the user would in
    // the window: a radio item, or the air check's box and then its two lists.
    void Choose(TSetting setting, int index);
    // A restore of a backup of this model and firmware: the next Apply writes these values
    // (the backup's, by write command, checked with params::FitsCommand) as they are, for
    // each setting they cover, and counts a setting where they differ from the unit's. A
    // setting chosen afterwards goes by its item again. They are dropped when the unit is
    // read again or changes, and once a run has saved them.
    void ChooseUnitValues(const params::TUnitValues& values);
    // A command that waits this long for a first reply ends the conversation with the unit:
    // the line says so, a run under way ends as Abandoned, the tick stops. 0 (the window's):
    // it waits for ever.
    void SetReplyTimeout(std::int64_t ms) { replyTimeoutMs_ = ms; }
    // The last command had no answer within the time-out.
    bool AnswerOverdue() const { return overdue_; }
    // Lets go of the unit; nothing reaches the HID layer afterwards.
    void Shutdown();
    // Lets go of the checked-out unit and waits, idle, for the next plug-in. For a front end
    // that cannot close when a unit was attached before it started: the unit is taken once
    // it has been unplugged and plugged in again.
    void LetGo();

    // ---- from the bench: the device comes and goes ----------------------------------------
    // What was read and shown of the unit is cleared (a device change).
    void Forget();
    // The device has gone: a run still open ends, the tick stops. The bench checks it in.
    void Disconnect();
    // The device is about to be checked in (a device pass takes the unit afresh).
    void Release();
    // The device checked out now, or none: a run still open is over.
    void Take(hid::TCustomHidDevice* device);
    // Identification starts on the device taken.
    void Identify();
    // A device pass found no unit to identify.
    void Settle();
    // A run that writes has sent its first command and has not ended yet.
    bool WriteRunUnderWay() const;
    hid::TCustomHidDevice* Device() const { return device_; }
    // A device change during a write run: it is told in the log and waits for the run's end.
    void PutOffChange();
    // Writes a line to this unit's log.
    void Log(std::string_view utf8, int direction = kLogNote);

    // ---- the state, for every front end -------------------------------------------------
    TPhase Phase() const { return phase_; }
    bool Running() const { return running_; }
    bool Connected() const { return device_ != nullptr; }
    // The tick has work: a front end ticks only while this holds.
    bool NeedsTicks() const { return ticking_; }
    // Still waiting for the first device pass since start: a unit found then was attached
    // before the tool started.
    bool FirstCheck() const { return ports_.Host && ports_.Host->FirstCheck(); }
    // The capability rules of the identity last read back, as they were last checked.
    const std::vector<params::TControlRule>& CapabilityRules() const { return rules_; }
    // Raised by every change of what the state shows: a view redraws nothing while it stays
    // the same, and of each part only what changed.
    enum class TShown : std::uint8_t {
        Identity, // identity, serial number, what was counted of the default set
        Settings, // each setting's value and choice
        Run,      // progress, the run under way, the change count, the step, the tick
    };
    std::uint32_t Revision() const { return revision_; }
    std::uint32_t Revision(TShown part) const { return revisions_[static_cast<std::size_t>(part)]; }

    // What identification found, as the unit sent it (bytes, not display texts).
    const params::TIdentity& Identity() const { return identity_; }
    const std::string& Language() const { return language_; }
    // From "GSER" or the information file; nullopt when the unit refused it or it was not read.
    const std::optional<std::string>& Serial() const { return serial_; }
    // The unit answered "GSER" with a refusal.
    bool SerialRefused() const { return serialRefused_; }
    // The firmware is one whose settings the tool shows and reads.
    bool Supported() const { return supported_; }
    const std::string& UploadedFile() const { return upload_.data; }
    std::int64_t ClockValue() const { return clockValue_; }
    // Current values the read-back received; none means the unit sent none of its settings.
    std::int32_t CurrentReceivedCount() const { return curParamRecvCnt_; }
    // The unit's own values for the keys Apply writes, as it reported them.
    const params::TUnitValues& UnitValues() const { return unitValues_; }

    struct TSettingState {
        bool offered = false;    // the window offers it for this unit
        bool adjustable = false; // and lets it be changed
        // The unit's value as an item of params::SettingValues; none when not read or when
        // the tables cannot show it (raw then says what the unit reported).
        std::optional<int> current;
        std::optional<std::string> raw;
        std::optional<int> choice; // the item chosen now (the unit's, until the user chooses)
        std::string shown;         // the unit's value as the window shows it
    };
    TSettingState Setting(TSetting setting) const;
    int Progress() const { return progress_; } // 0 to 100
    // The step the log last named ("N status").
    int LoggedStep() const { return params::StepNumber(lastLoggedPhase_); }
    // A run that was started and whose "SAVE" has not been answered (nor its backup refused).
    const std::optional<TRunKind>& RunUnderWay() const { return runShown_; }
    // Replies of the default set counted when the last one came; none before the first.
    const std::optional<std::int32_t>& DefaultsCounted() const { return defaultsCounted_; }
    // A unit has answered "VER" since the start (the window's notice reads so from then on).
    bool VersionHeard() const { return versionHeard_; }
    // A firmware version, and a model, have been known since the start (the window's lists
    // are those of the identity from then on, its own before).
    bool VersionEverKnown() const { return versionEverKnown_; }
    bool ModelEverKnown() const { return modelEverKnown_; }

    // What the core keeps of each setting, as the window's row shows it.
    struct TSettingData {
        // The unit's value as an item, -1 for none; the recorder keeps a value past its items
        // as the unit sent it. The current-setting box's tag shows it.
        int current = 0;
        std::string shown; // the current-setting box's text
        int choice = -1;   // the item chosen, -1 for none
        int items = 0;     // the length of the list offered
        // The air check: whether it is on, and the items of its two lists (choice unused).
        bool checked = false;
        int first = -1;
        int later = -1;
    };
    // The receive-only switch shares the dive computer's row.
    const TSettingData& Row(TSetting setting) const { return Data(setting); }

    // ---- the last Apply or Default ----------------------------------------------------
    struct TRefusal {
        std::string command;
        std::string reply;
    };
    struct TWriteFailure {
        hid::TErrorKind kind;
        std::string text; // the log line that explains it
    };
    struct TRunOutcome {
        std::vector<std::string> acknowledged; // the commands the unit acknowledged, in order
        std::vector<TSetting> written;         // settings whose every command was acknowledged
        // A write the unit did not acknowledge: the run waits at that step for good (the window
        // shows nothing of it), or, for "SAVE", ends without the boxes being updated.
        std::optional<TRefusal> refusal;
        bool saved = false;  // the unit confirmed "SAVE"
        bool erased = false; // the unit confirmed "CLEAR"
        // A command that could not be written (since the run began or the unit was connected).
        std::optional<TWriteFailure> writeFailure;
    };
    const TRunOutcome& LastRun() const { return outcome_; }
    // The settings whose stored value the last Apply changes, in the order written; a
    // setting written back with the unit's own value is not among them.
    const std::vector<TSetting>& Changed() const { return changed_; }
    int ChangeCount() const { return changeCount_; }
    // What PressApply would count now, with the choices as they stand: the settings it would
    // change and their number. Nothing is sent and nothing changes (a dry run).
    params::TChangeCount ChangesOnApply() const;
    // The commands PressApply would send now, in order, with the values they would carry.
    std::vector<params::TWriteEntry> WritesOnApply() const;
    // The last command handed to the channel, and the last reply.
    const std::string& LastCommand() const { return lastCommand_; }
    const TReplyQueue& Replies() const { return replies_; }

  private:
    friend class testing_support::TConversationPeer;

    template <typename F> void Guarded(F&& handler);
    // Apply's plan with the choices as they stand: its commands (the settings the user did
    // not choose carry the unit's own values), those settings, and what it changes.
    struct TApplyPlan {
        std::vector<params::TWriteEntry> plan;
        std::vector<TSetting> kept;
        std::vector<TSetting> restored; // written with the restore's values
        params::TChangeCount changes;
    };
    TApplyPlan PlanApply() const;
    void LogBytes(std::string_view bytes, int direction = kLogNote);
    void Refresh(bool processEvents = false);
    void Touch(TShown part) {
        ++revision_;
        ++revisions_[static_cast<std::size_t>(part)];
    }
    template <typename M> void Tell(M moment) {
        if (ports_.Watcher) (ports_.Watcher->*moment)();
    }

    // changes that run the window's rules
    void SetVersionText(std::string bytes);
    void SetModelText(std::string bytes);
    void SetAirCheck(bool checked);
    void Rebuild(TSetting setting, std::size_t items);

    void ResetDisplay();
    void ResetReadBackState();
    // sequencer
    void StepDispatch();
    void CloseDevice();
    // identification
    void SendClock();
    void OnClockReply();
    void OnVersionReply();
    void OnModelReply();
    void OnLanguageReply();
    void ShowSettingsPanel(bool visible);
    // serial number and information file
    void OnUploadPacket();
    void OnSerialReply();
    void SendUploadResult(std::uint32_t code, std::uint32_t status);
    // read-back and display
    void StartParameterReadBack();
    void ReadInitialParameters();
    void ReadCurrentParameters();
    void FinishReadBack();
    void ApplyCapabilityRules();
    // Apply and Default
    std::int32_t GetDivingTimeSignalValue() const;
    bool TakeWriteReply();
    void CountApplyProgress();
    void OnClearReply();
    void OnSaveReply();
    // Steps 10 to 16 and 19 to 23: the answer to the plan's last command, then its next one.
    void WriteStep();
    void SendPlanEntry();
    void MarkChosen(TSetting setting);
    // An item of one of the air check's two lists (first or later) of so many items.
    void ChooseAirCheckList(int TSettingData::*list, std::size_t items, int index);
    bool Chosen(TSetting setting) const;
    bool Kept(TSetting setting) const;
    bool Restored(TSetting setting) const;
    // The restore's values onto the boxes, as a read-back of them would show them.
    void ShowRestored(TSetting setting);
    void ShowReply(const params::TCurrentReply& reply);
    void NoteWritten(std::size_t entry);

    // The display operations: a unit's value into its setting's choice and shown value
    // together, then onto the panel; a value outside its table leaves both as they are.
    void ShowRxLevel(std::int32_t value);
    void ShowRxOutLevel(std::int32_t value);
    void ShowPhoneOutVol(double value);
    void ShowHandsFree(std::int32_t vox, double threshold);
    void ShowTxSquelch(std::int32_t value);
    void ShowChannel();
    void ShowRecordSw(std::int32_t value);
    void ShowDiveComInterface(std::int32_t index);
    void ShowVoiceGuideLevel(std::int32_t index);
    void ShowDivingTimeSignal(std::int32_t value);
    void ShowVolume(const params::TParamSet& set);
    void ShowParamSet(const params::TParamSet& set);
    void SendCommand(const std::string& text);
    void SetTicking(bool on);
    // The time-out has run out for the command written last: true when the tick stops here.
    bool Overdue();
    void SetLanguage(std::string bytes);
    void SetSerial(std::optional<std::string> bytes);

    void Show(TSetting setting, const std::optional<params::TDisplay>& shown);

    TSettingData& Data(TSetting setting);
    const TSettingData& Data(TSetting setting) const;
    void SetPosition(int position) {
        // As a progress bar takes it: a position outside 0..100 leaves it where it is.
        if (position < 0 || position > 100 || position == progress_) return;
        progress_ = position;
        Touch(TShown::Run);
    }

    TConversationPorts ports_;
    std::string version_;
    std::array<TSettingData, params::kSettings.size()> settings_;
    hid::TCustomHidDevice* device_ = nullptr; // the checked-out transceiver
    bool running_ = false;
    bool ticking_ = false;
    std::uint32_t revision_ = 0;
    std::array<std::uint32_t, 3> revisions_{};
    std::int64_t replyTimeoutMs_ = 0;
    std::optional<std::int64_t> waitingSince_; // UTC ms: a command was written, no reply yet
    bool overdue_ = false;
    bool serialRefused_ = false;
    std::optional<TRunKind> runShown_;
    std::optional<std::int32_t> defaultsCounted_;
    bool versionHeard_ = false;
    bool versionEverKnown_ = false;
    bool modelEverKnown_ = false;
    bool supported_ = true; // the settings panel is shown
    int progress_ = 0;
    TPhase phase_ = TPhase::Idle;
    TPhase lastLoggedPhase_ = TPhase::Idle;
    TReplyQueue replies_;
    std::string replyHex_;
    std::string replyLog_; // the log text of the last input report (its buffer is kept)
    std::uint8_t outputReport_[2049] = {};

    struct TUpload {
        bool running = false;      // a start packet came
        std::int32_t packetNo = 0; // number expected of the next data packet
        bool endSeen = false;
        std::string data; // the file bytes received so far
    } upload_;

    params::TIdentity identity_;
    std::string language_;
    std::optional<std::string> serial_;
    std::vector<params::TControlRule> rules_; // the capability rules of identity_, once computed
    bool rulesKnown_ = false;
    std::int64_t clockValue_ = 0;
    std::int32_t initParamReadCnt_ = 0;
    std::int32_t initParamRecvCnt_ = 0;
    std::string lastReadVersion_; // identity at the end of the last initial read-back
    std::string lastReadKind_;
    std::int64_t lastParamReplyMs_ = 0; // UTC
    std::int32_t curParamRecvCnt_ = 0;
    params::TParamSet initParams_; // the unit's default set; survives disconnection
    params::TCurParams curParams_;
    std::int32_t expectedParamCnt_ = 0;
    std::int32_t applyProgressCnt_ = 0;
    std::int32_t changeCount_ = 0;
    std::string lastCommand_;
    std::string awaiting_; // the run's command whose answer is still to come
    TRunOutcome outcome_;
    std::vector<params::TWriteEntry> plan_; // the Apply run's commands
    std::size_t planNext_ = 0;              // the plan entry to send next
    params::TUnitValues unitValues_;        // the current read-back's values, kept up to date
    params::TUnitValues initialValues_;     // the default set's, which "CLEAR" brings back
    std::vector<TSetting> chosen_;          // settings the user chose since the last read or save
    std::vector<TSetting> kept_; // settings the run writes back with the unit's own value
    std::vector<TSetting> restored_;   // settings the run writes with the restore's values
    params::TUnitValues restore_;      // a restore's values (ChooseUnitValues)
    std::vector<TSetting> unrestored_; // chosen since, by item
    std::uint32_t restoreEpoch_ = 0;   // deviceEpoch_ when they were chosen
    std::vector<TSetting> changed_;
    void StartRun();
    void Acknowledge();
    void Refuse(std::string command);

    // The journal's side of a run that writes. BeginRun asks it before the first command:
    // false when it refused (the conversation is Ready again), threw, or the unit changed
    // meanwhile; nothing may be sent then. EndRun tells it how the open run ended, once.
    bool BeginRun(TRunKind kind);
    void EndRun(TRunEnd end);
    std::optional<TRunKind> openRun_; // passed BeginRun, not yet ended
    std::uint32_t deviceEpoch_ = 0;   // raised whenever the checked-out unit may have changed
};

// Runs a handler at the edge of an event loop: what it raises is shown in the general error
// box, and goes no further.
template <typename F> void Guarded(TDialogSink& dialogs, const TLogSink& log, F&& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        dialogs.ShowErrorBox(log.FromLocal8Bit(e.what()));
    } catch (...) {
        dialogs.ShowErrorBox("Unknown error.");
    }
}

template <typename F> void TConversation::Guarded(F&& handler) {
    core::Guarded(*ports_.Dialogs, *ports_.Log, std::forward<F>(handler));
}

} // namespace core
