// The conversation's frame: start, the tick and the step table, the command channel, and
// finding the transceiver among the HID devices.
#include "link/Conversation.h"

#include "link/Framing.h"
#include "link/Text.h"
#include "params/ValueTables.h"

#include <cstring>
#include <exception>
#include <utility>

#include <algorithm>

namespace core {

std::int64_t ClockValueAt(std::int64_t wallMs) {
    // Wall-clock difference of the two local times, as the unit counts it.
    constexpr std::int64_t kEpoch2001Ms = 978307200000;
    const std::int64_t ms = wallMs - kEpoch2001Ms;
    return (ms < 0 ? -ms : ms) / 1000;
}

TConversation::TConversation(TConversationPorts ports, std::string version)
    : ports_(ports), version_(std::move(version)) {
    using enum TSetting;
    // The lists and boxes as the window defines them before anything is connected.
    const auto define = [this](TSetting setting, std::size_t items, int current) {
        Data(setting).items = static_cast<int>(items);
        Data(setting).current = current;
    };
    define(Volume, params::VolumeItems.size(), 0);
    define(AutoSwitching, params::TxSquelchItems.size(), 0);
    define(HandsFree, params::HandsFreeItems.size(), 0);
    define(Channel, params::RGChannelInitialItems.size(), 0);
    define(Recorder, params::RecordSwItems.size(), -1);
    define(DiveComputer, params::DiveComInterfaceChoices({}).items.size(), -1);
    define(VoiceGuide, params::VoiceGuideItems.size(), 0);
    define(AirCheck, 0, 0);
}

void TConversation::Start() {
    phase_ = TPhase::Idle;
    firstCheck_ = true;
    upload_.data.clear();
    panel_.SetText(TControl::Label4, {});
    Log("Start Sonavelle customize tool ver." + version_);
    initParamReadCnt_ = 0;
    // Without change notices the device list is built once, at start; a transceiver
    // plugged in later would seem to be ignored without a word.
    if (ports_.Hid && !ports_.Hid->NoticesOpen())
        Log("Hot-plug notices are unavailable: a transceiver plugged in later is not noticed.");
}

TConversation::~TConversation() = default;

void TConversation::Shutdown() {
    EndRun(TRunEnd::Abandoned); // guards the journal's call itself
    changePending_ = false;
    ++deviceEpoch_;
    if (ports_.Hid) ports_.Hid->CheckIn(device_);
    ports_.Hid = nullptr;
}

void TConversation::LetGo() {
    Guarded([this] {
        EndRun(TRunEnd::Abandoned);
        changePending_ = false;
        ++deviceEpoch_;
        if (ports_.Hid) ports_.Hid->CheckIn(device_);
        running_ = false;
        phase_ = TPhase::Idle;
        SetTicking(false);
    });
}

void TConversation::Log(std::string_view utf8, int direction) {
    ports_.Log->WriteLog(utf8, direction);
}

void TLogSink::WriteLogBytes(std::string_view latin1, int direction) {
    WriteLog(Latin1ToUtf8(latin1), direction);
}

void TConversation::LogBytes(std::string_view bytes, int direction) {
    ports_.Log->WriteLogBytes(bytes, direction);
}

void TConversation::Refresh(bool processEvents) {
    if (ports_.View) ports_.View->Refresh(processEvents);
}

// ---- the tick and the step table -------------------------------------------------------

void TConversation::Tick() {
    if (changePending_ && !WriteRunUnderWay()) ChangeDevices();
    Guarded([this] {
        if (phase_ != lastLoggedPhase_) {
            const int step = params::StepNumber(phase_);
            Log(std::to_string(step) + " status");
            lastLoggedPhase_ = phase_;
            // The window's timer carries the step it last logged (the demo's state shows it).
            panel_.SetTag(TControl::Timer1, step);
        }
        if (running_) {
            replies_.TakeNext();
            StepDispatch();
            replies_.StepDone();
        }
    });
    Guarded([this] { EnableMenus(phase_ == TPhase::Ready); });
}

void TConversation::StepDispatch() {
    using Handler = void (TConversation::*)();
    struct TStep {
        TPhase phase;
        Handler Run;
    };
    // Apply's write steps follow its plan; the next step comes from the handler.
    static constexpr TStep kSteps[] = {
        {TPhase::SendingClock, &TConversation::SendClock},
        {TPhase::SettingClock, &TConversation::OnClockReply},
        {TPhase::ReadingVersion, &TConversation::OnVersionReply},
        {TPhase::UploadingInformationFile, &TConversation::OnUploadPacket},
        {TPhase::ReadingSerial, &TConversation::OnSerialReply},
        {TPhase::ReadingDefaults, &TConversation::ReadInitialParameters},
        {TPhase::ReadingCurrent, &TConversation::ReadCurrentParameters},
        {TPhase::RestoringDefaults, &TConversation::OnClearReply},
        {TPhase::WritingAutoSwitching, &TConversation::WriteStep},
        {TPhase::WritingHandsFree, &TConversation::WriteStep},
        {TPhase::WritingSensitivity, &TConversation::WriteStep},
        {TPhase::WritingChannel, &TConversation::WriteStep},
        {TPhase::WritingBaseFrequency, &TConversation::WriteStep},
        {TPhase::WritingRecorder, &TConversation::WriteStep},
        {TPhase::WritingDiveComputer, &TConversation::WriteStep},
        {TPhase::Saving, &TConversation::OnSaveReply},
        {TPhase::ReadingModel, &TConversation::OnModelReply},
        {TPhase::WritingLed, &TConversation::WriteStep},
        {TPhase::WritingVoiceGuide, &TConversation::WriteStep},
        {TPhase::WritingAirCheck, &TConversation::WriteStep},
        {TPhase::SendingSave, &TConversation::WriteStep},
        {TPhase::ReadingLanguage, &TConversation::OnLanguageReply},
        {TPhase::Closing, &TConversation::CloseDevice},
    };
    for (const auto& step : kSteps) {
        if (step.phase == phase_) {
            (this->*step.Run)();
            return;
        }
    }
}

void TConversation::CloseDevice() {
    if (ports_.Hid) ports_.Hid->CheckIn(device_);
    running_ = false;
}

void TConversation::EnableMenus(bool enabled) {
    panel_.SetEnabled(TControl::File1, enabled);
    panel_.SetEnabled(TControl::Info1, enabled);
}

// ---- the command channel: one command per output report, one reply per input report ----

void TConversation::SendCommand(const std::string& text) {
    lastCommand_ = text;
    awaiting_ = text;
    const auto sent = channel::ApplyFileInfoAlias(text);
    if (!sent) {
        Log("Error : Filename is not specified.", kLogSent);
        return;
    }
    LogBytes(*sent, kLogSent);

    std::memset(outputReport_, 0, sizeof outputReport_);
    if (sent->size() > channel::kMaxCommandLength) {
        Log("Error : Command too long (" + std::to_string(sent->size()) + " bytes, at most " +
            std::to_string(channel::kMaxCommandLength) + "); not sent.");
        return;
    }
    std::memcpy(outputReport_ + 1, sent->data(), sent->size());

    if (!device_) return;
    // A reply that arrived before this command cannot be taken for its answer.
    replies_.Clear();

    const std::uint16_t length = device_->QueryCaps().OutputReportByteLength;
    if (length > sizeof outputReport_) {
        // The buffer holds one report of at most 2049 bytes; a longer report would be
        // read from past its end.
        Log("Error : Output report length " + std::to_string(length) + " exceeds " +
            std::to_string(sizeof outputReport_) + " bytes; not sent.");
        return;
    }
    std::uint32_t written = 0;
    if (device_->WriteReport(outputReport_, length, written)) {
        device_->CloseMain();
        return;
    }
    const std::uint32_t code = device_->LastErrorCode();
    TWriteFailure failure{device_->ErrorKind(code),
                          "WRITE1_ERROR," + ports_.Log->FromLocal8Bit(device_->ErrorMessage(code)) +
                              " (" + Hex(code) + ")"};
    Log(failure.text);
    if (failure.kind == hid::TErrorKind::AccessDenied) {
        failure.text = kUdevRuleHint;
        Log(kUdevRuleHint);
    }
    outcome_.writeFailure = std::move(failure);
    EndRun(TRunEnd::WriteFailed);
}

void TConversation::DeviceData(const std::uint8_t* data, std::uint16_t size) {
    Guarded([&] {
        channel::TReply reply = channel::ParseReply(data, size);
        channel::ReplyLogText(reply, replyLog_);
        LogBytes(replyLog_, kLogReceived);
        replyHex_ = std::move(reply.Hex);
        if (!replies_.Arrive(std::move(reply.Text)))
            Log("Error : Too many replies waiting; the oldest was dropped.");
    });
}

// ---- discovery and connection ----------------------------------------------------------

bool TConversation::WriteRunUnderWay() const {
    if (!device_ || !running_ || outcome_.refusal || outcome_.writeFailure) return false;
    const int step = params::StepNumber(phase_);
    // Default's erase and save (9, 17) and Apply's write steps; 18 reads the model.
    return (step >= params::StepNumber(TPhase::RestoringDefaults) &&
            step <= params::StepNumber(TPhase::Saving)) ||
           (step >= params::StepNumber(TPhase::WritingLed) &&
            step <= params::StepNumber(TPhase::SendingSave));
}

void TConversation::DeviceChange() {
    // A mouse or another unit plugged in must not cut a write run short and leave the unit
    // half-written: while the checked-out unit stays, the change waits for the run's end.
    if (device_ && device_->PluggedIn() && WriteRunUnderWay()) {
        Guarded([this] {
            if (std::exchange(changePending_, true)) return;
            Log("device change.");
            Log("The unit is still plugged in: the device change is handled once the write "
                "run has ended.");
        });
        return;
    }
    ChangeDevices();
}

void TConversation::ChangeDevices() {
    Guarded([this] {
        using enum TControl;
        changePending_ = false;
        ++deviceEpoch_;
        ResetDisplay();
        Log("device change.");
        if (!ports_.Hid) return;
        if (device_ && !device_->PluggedIn()) {
            EndRun(TRunEnd::WentAway);
            ports_.Hid->CheckIn(device_);
            SetTicking(false);
            Log("Disconnect device.");
            panel_.SetEnabled(SpeedButton2, false);
            panel_.SetEnabled(SpeedButton3, false);
            EnableMenus(true);
            initParamReadCnt_ = 0;
            Log("Clear initParamReadCnt.");
            return;
        }

        ports_.Hid->Enumerate();
        HidOpen();
        // A run still open is over: the unit is gone, or identified afresh below.
        EndRun(device_ ? TRunEnd::Abandoned : TRunEnd::WentAway);
        if (running_) {
            Log("HidCtrl1DeviceChange:Runung=True.");
            if (firstCheck_) {
                // Attached before the tool started: the user must plug it in afresh.
                Log("Sonavelle exist.");
                ports_.Dialogs->ShowErrorMessage(kToolCaption, "Remove Sonavelle.");
                Log("Remove Sonavelle.");
                if (ports_.View) ports_.View->Close();
            }
            // The device may have gone while the message box was up.
            const std::u16string product = device_ ? device_->QueryProductText() : std::u16string();
            Log("Connect device : " + Utf16ToUtf8(product));
            ResetReadBackState();
            outcome_.writeFailure.reset();
            phase_ = TPhase::SendingClock;
        } else {
            Log("HidCtrl1DeviceChange:Runung=False.");
            firstCheck_ = false;
            if (phase_ == TPhase::Closing) phase_ = TPhase::Ready;
            EnableMenus(true);
        }
        SetTicking(running_);
    });
}

void TConversation::Enumerated(hid::TCustomHidDevice& device) {
    Guarded([&] {
        const auto& a = device.Attributes();
        const auto& p = device.PnPInfo();
        const auto text = [this](const std::string& s) { return ports_.Log->FromLocal8Bit(s); };
        Log("HidCtlEnumerate: VenderID=" + Hex(a.VendorID, 4) + " DeviceID=" + Hex(a.ProductID, 4) +
            " DevicePath=" + text(p.DevicePath));
        const auto num = [this](const char* name, std::uint32_t v) {
            Log(std::string("  PnPInfo.") + name + "=" +
                std::to_string(static_cast<std::int32_t>(v)));
        };
        const auto str = [&](const char* name, const std::string& v) {
            Log(std::string("  PnPInfo.") + name + "=" + text(v));
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
                Log(std::string("  PnPInfo.") + name + "[" + std::to_string(i) +
                    "]=" + text(items[i]));
        };
        list("CompatibleIDs", p.CompatibleIDs);
        list("HardwareID", p.HardwareID);
        list("LowerFilters", p.LowerFilters);
        list("UpperFilters", p.UpperFilters);
    });
}

void TConversation::HidOpen() {
    running_ = false;
    Log("HID_Open.");
    if (device_) ports_.Hid->CheckIn(device_);
    for (const auto& id : kTransceiverIds) {
        if (ports_.Hid->CheckOutByIdentifiers(device_, id.VendorID, id.ProductID)) {
            Log(id.LogLine);
            running_ = true;
            return;
        }
    }
}

void TConversation::ResetDisplay() {
    using enum TControl;
    ShowSettingsPanel(true);
    SetVersionText({});
    SetSerial(std::nullopt);
    panel_.SetVisible(Label8, false);
    SetModelText({});
    panel_.SetVisible(Label13, false);
    SetLanguage({});
    for (TSetting setting : params::kRows) {
        TSettingData& d = Data(setting);
        d.choice = -1;
        d.shown.clear();
        d.current = -1;
        Render(setting);
        panel_.SetEnabled(params::Info(setting).choice, false);
    }
    SetAirCheck(false);
    panel_.SetEnabled(CheckBoxDivingTimeSignalEnable, false);
    TSettingData& airCheck = Data(TSetting::AirCheck);
    airCheck.first = airCheck.later = -1;
    airCheck.shown.clear();
    Render(TSetting::AirCheck);
    SetPosition(0);
    // What was read and chosen belongs to the panel just cleared.
    unitValues_.Clear();
    chosen_.clear();
    kept_.clear();
}

void TConversation::PressReconnect() {
    Guarded([this] {
        Log("Reconnect.");
        SetPosition(0);
    });
    // The user's own choice: it ends a run that is under way.
    ChangeDevices();
}

// ---- the user's choices ------------------------------------------------------------------

void TConversation::Choose(TControl control, int index) {
    Guarded([&] {
        MarkChosen(control);
        TSettingData& airCheck = Data(TSetting::AirCheck);
        if (control == TControl::ComboBoxDivingTimeSignal1) {
            airCheck.first = params::ItemOf(index, params::DivingTimeSignal1Items.size());
            Render(TSetting::AirCheck);
        } else if (control == TControl::ComboBoxDivingTimeSignal2) {
            airCheck.later = params::ItemOf(index, params::DivingTimeSignal2Items.size());
            Render(TSetting::AirCheck);
        } else if (const auto setting = params::SettingChosenIn(control)) {
            TSettingData& d = Data(*setting);
            d.choice = params::ItemOf(index, static_cast<std::size_t>(d.items));
            Render(*setting);
        } else {
            panel_.SetItemIndex(control, index);
        }
    });
}

void TConversation::Choose(TSetting setting, int index) {
    if (setting != TSetting::AirCheck) {
        Choose(params::Info(setting).choice, index);
        return;
    }
    // The check box first (its click rule fills both lists), then the two lists.
    Check(TControl::CheckBoxDivingTimeSignalEnable, index > 0);
    if (index <= 0 || static_cast<std::size_t>(index) > params::DivingTimeSignalTable.size())
        return;
    const auto& row = params::DivingTimeSignalTable[static_cast<std::size_t>(index - 1)];
    Choose(TControl::ComboBoxDivingTimeSignal1, row.first);
    Choose(TControl::ComboBoxDivingTimeSignal2, row.later);
}

void TConversation::SetTicking(bool on) {
    ticking_ = on;
    panel_.SetEnabled(TControl::Timer1, on);
}

void TConversation::Check(TControl control, bool checked) {
    Guarded([&] {
        MarkChosen(control);
        if (control == TControl::CheckBoxDivingTimeSignalEnable)
            SetAirCheck(checked);
        else
            panel_.SetChecked(control, checked);
    });
}

} // namespace core
