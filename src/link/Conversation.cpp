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
    upload_.data.clear();
    runShown_.reset();
    Touch(TShown::Run);
    Log("Start Sonavelle customize tool ver." + version_);
    initParamReadCnt_ = 0;
}

TConversation::~TConversation() = default;

void TConversation::Shutdown() {
    EndRun(TRunEnd::Abandoned); // guards the journal's call itself
    ++deviceEpoch_;
    device_ = nullptr;
    ports_.Host = nullptr;
}

void TConversation::LetGo() {
    Guarded([this] {
        EndRun(TRunEnd::Abandoned);
        ++deviceEpoch_;
        if (ports_.Host) ports_.Host->LetGo(*this);
        device_ = nullptr;
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
    Guarded([this] {
        if (phase_ != lastLoggedPhase_) {
            Log(std::to_string(params::StepNumber(phase_)) + " status");
            lastLoggedPhase_ = phase_;
            Touch(TShown::Run);
        }
        if (running_ && replyTimeoutMs_ > 0 && Overdue()) return;
        if (running_) {
            replies_.TakeNext();
            StepDispatch();
            replies_.StepDone();
        }
    });
    Guarded([this] { Tell(&TUnitWatcher::Ticked); });
}

bool TConversation::Overdue() {
    if (!waitingSince_ || replies_.Received()) return false;
    if (ports_.Clock->Now().utcMs - *waitingSince_ < replyTimeoutMs_) return false;
    Log("Error : No answer to " + lastCommand_ + " within " + std::to_string(replyTimeoutMs_) +
        " ms; the unit is let be.");
    waitingSince_.reset();
    overdue_ = true;
    running_ = false;
    EndRun(TRunEnd::Abandoned);
    SetTicking(false);
    return true;
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
    if (ports_.Host && device_) ports_.Host->Closed(*this);
    device_ = nullptr;
    running_ = false;
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
        if (replyTimeoutMs_ > 0) waitingSince_ = ports_.Clock->Now().utcMs;
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
        waitingSince_.reset();
        if (!replies_.Arrive(std::move(reply.Text)))
            Log("Error : Too many replies waiting; the oldest was dropped.");
    });
}

// ---- the device comes and goes ---------------------------------------------------------

bool TConversation::WriteRunUnderWay() const {
    if (!device_ || !running_ || outcome_.refusal || outcome_.writeFailure) return false;
    const int step = params::StepNumber(phase_);
    // Default's erase and save (9, 17) and Apply's write steps; 18 reads the model.
    return (step >= params::StepNumber(TPhase::RestoringDefaults) &&
            step <= params::StepNumber(TPhase::Saving)) ||
           (step >= params::StepNumber(TPhase::WritingLed) &&
            step <= params::StepNumber(TPhase::SendingSave));
}

void TConversation::PutOffChange() {
    Log("device change.");
    Log("The unit is still plugged in: the device change is handled once the write run has "
        "ended.");
}

void TConversation::Forget() {
    ++deviceEpoch_;
    ResetDisplay();
    Tell(&TUnitWatcher::Forgotten);
}

void TConversation::Disconnect() {
    EndRun(TRunEnd::WentAway);
    device_ = nullptr;
    SetTicking(false);
    Log("Disconnect device.");
    Tell(&TUnitWatcher::Disconnected);
    initParamReadCnt_ = 0;
    Log("Clear initParamReadCnt.");
}

void TConversation::Release() {
    running_ = false;
    device_ = nullptr;
}

void TConversation::Take(hid::TCustomHidDevice* device) {
    device_ = device;
    running_ = device != nullptr;
    // A run still open is over: the unit is gone, or identified afresh.
    EndRun(device_ ? TRunEnd::Abandoned : TRunEnd::WentAway);
}

void TConversation::Identify() {
    overdue_ = false;
    waitingSince_.reset();
    // The device may have gone while a message box was up.
    const std::u16string product = device_ ? device_->QueryProductText() : std::u16string();
    Log("Connect device : " + Utf16ToUtf8(product));
    ResetReadBackState();
    outcome_.writeFailure.reset();
    phase_ = TPhase::SendingClock;
    SetTicking(running_);
}

void TConversation::Settle() {
    if (phase_ == TPhase::Closing) phase_ = TPhase::Ready;
    Tell(&TUnitWatcher::DevicesSettled);
    SetTicking(running_);
}

void TConversation::ResetDisplay() {
    ShowSettingsPanel(true);
    SetVersionText({});
    SetSerial(std::nullopt);
    SetModelText({});
    SetLanguage({});
    for (TSetting setting : params::kRows) {
        TSettingData& d = Data(setting);
        d.choice = -1;
        d.shown.clear();
        d.current = -1;
    }
    SetAirCheck(false);
    TSettingData& airCheck = Data(TSetting::AirCheck);
    airCheck.first = airCheck.later = -1;
    airCheck.shown.clear();
    SetPosition(0);
    Touch(TShown::Settings);
    // What was read and chosen belongs to the display just cleared.
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
    if (ports_.Host) ports_.Host->Reconnect(*this);
}

// ---- the user's choices ------------------------------------------------------------------

void TConversation::ChooseItem(TSetting row, int index) {
    Guarded([&] {
        MarkChosen(params::SettingOfChoice(params::Info(row).choice, identity_));
        TSettingData& d = Data(row);
        d.choice = params::ItemOf(index, static_cast<std::size_t>(d.items));
        Touch(TShown::Settings);
    });
}

void TConversation::ChooseAirCheckFirst(int index) {
    ChooseAirCheckList(&TSettingData::first, params::DivingTimeSignal1Items.size(), index);
}

void TConversation::ChooseAirCheckLater(int index) {
    ChooseAirCheckList(&TSettingData::later, params::DivingTimeSignal2Items.size(), index);
}

void TConversation::ChooseAirCheckList(int TSettingData::*list, std::size_t items, int index) {
    Guarded([&] {
        MarkChosen(TSetting::AirCheck);
        Data(TSetting::AirCheck).*list = params::ItemOf(index, items);
        Touch(TShown::Settings);
    });
}

void TConversation::CheckAirCheck(bool checked) {
    Guarded([&] {
        MarkChosen(TSetting::AirCheck);
        SetAirCheck(checked);
    });
}

void TConversation::Choose(TSetting setting, int index) {
    if (setting != TSetting::AirCheck) {
        ChooseItem(setting, index);
        return;
    }
    // The check box first (its click rule fills both lists), then the two lists.
    CheckAirCheck(index > 0);
    if (index <= 0 || static_cast<std::size_t>(index) > params::DivingTimeSignalTable.size())
        return;
    const auto& row = params::DivingTimeSignalTable[static_cast<std::size_t>(index - 1)];
    ChooseAirCheckFirst(row.first);
    ChooseAirCheckLater(row.later);
}

void TConversation::SetTicking(bool on) {
    if (ticking_ == on) return;
    ticking_ = on;
    Touch(TShown::Run);
}

} // namespace core
