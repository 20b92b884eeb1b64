// Steps 7 to 23: both read-backs with the display of each value, the capability rules, and
// Apply and Default with their write steps.
#include "link/Conversation.h"
#include "link/Text.h"
#include "params/Features.h"
#include "params/ReadBack.h"
#include "params/ReplyTokens.h"
#include "params/ValueTables.h"
#include "settings/ApplyValues.h"

#include <algorithm>
#include <utility>

namespace core {

// ---- rules that run when the panel changes -------------------------------------------------

TConversation::TSettingData& TConversation::Data(TSetting setting) {
    // Receive-only and dive-computer share one row of the window.
    if (setting == TSetting::ReceiveOnly) setting = TSetting::DiveComputer;
    return settings_[static_cast<std::size_t>(setting)];
}

const TConversation::TSettingData& TConversation::Data(TSetting setting) const {
    return const_cast<TConversation*>(this)->Data(setting);
}

void TConversation::Rebuild(TSetting setting, std::size_t items) {
    // A new list clears its selection.
    TSettingData& d = Data(setting);
    d.items = static_cast<int>(items);
    d.choice = -1;
}

void TConversation::SetAirCheck(bool checked) {
    // The click rule runs on every change of the checked state, by the user or the program:
    // unchecked empties both lists, checked fills empty ones with their first items.
    TSettingData& d = Data(TSetting::AirCheck);
    if (d.checked != checked) {
        d.checked = checked;
        if (!d.checked) {
            d.first = d.later = -1;
        } else if (d.first < 0 && d.later < 0) {
            d.first = d.later = 1;
        }
    }
    Touch(TShown::Settings);
}

void TConversation::ApplyCapabilityRules() {
    // Run on every tick of the read-back's last second: worked out once per identity.
    if (!rulesKnown_) {
        rules_ = params::ApplyCapabilityRules(identity_);
        rulesKnown_ = true;
    }
    for (const params::TControlRule& rule : rules_)
        if (rule.action == params::TControlAction::Uncheck) SetAirCheck(false);
    Tell(&TUnitWatcher::CapabilitiesChecked);
}

// ---- steps 7 and 8: the default set ("GETTMPPARAM") and the current values ("GPAR") --------

void TConversation::ResetReadBackState() {
    initParamRecvCnt_ = 0;
    curParams_.ResetOnConnect();
}

void TConversation::StartParameterReadBack() {
    // A restore chosen for the unit as it was read before is not this read-back's.
    restore_.Clear();
    // The same unit identified again while it stayed attached (Reconnect) keeps the
    // default set of its earlier read-back.
    if (params::SkipInitialReadBack(initParamReadCnt_, identity_.version, identity_.model,
                                    lastReadVersion_, lastReadKind_)) {
        SendCommand("GPAR");
        phase_ = TPhase::ReadingCurrent;
        lastParamReplyMs_ = ports_.Clock->Now().utcMs;
        curParamRecvCnt_ = 0;
    } else {
        initialValues_.Clear();
        SendCommand("GETTMPPARAM");
        phase_ = TPhase::ReadingDefaults;
    }
    rulesKnown_ = false;
}

void TConversation::ReadInitialParameters() {
    if (!replies_.Received()) return;
    expectedParamCnt_ = params::expectedParamCnt(identity_.extendedFirmware, identity_.version);
    replies_.Consume();

    // A reply that cannot be read raises here: the general error box shows it, the reply is
    // dropped and the read-back waits for the next one.
    const std::optional<params::TInitialReply> reply =
        params::StoreInitialReply(replies_.Text(), initParams_);
    if (reply && !reply->value.empty()) initialValues_.Take(reply->key, reply->value);
    if (reply && reply->counted) ++initParamRecvCnt_;

    if (initParamRecvCnt_ >= expectedParamCnt_) {
        SendCommand("GPAR");
        phase_ = TPhase::ReadingCurrent;
        lastParamReplyMs_ = ports_.Clock->Now().utcMs;
        curParamRecvCnt_ = 0;
        ++initParamReadCnt_;
        lastReadVersion_ = identity_.version;
        lastReadKind_ = identity_.model;
    }
    SetPosition(params::InitialReadBackProgress(initParamRecvCnt_, expectedParamCnt_));
    defaultsCounted_ = initParamRecvCnt_;
    Touch(TShown::Identity);
}

void TConversation::ReadCurrentParameters() {
    const params::TIdentity& id = identity_;
    expectedParamCnt_ = params::expectedParamCnt(id.extendedFirmware, id.version);

    if (!replies_.Received()) {
        const std::int64_t now = ports_.Clock->Now().utcMs;
        // A clock set back must not hold the read-back open until it catches up again.
        if (now < lastParamReplyMs_) lastParamReplyMs_ = now;
        if (now >= lastParamReplyMs_ + 1000) FinishReadBack();
        ApplyCapabilityRules();
        return;
    }

    replies_.Consume();
    lastParamReplyMs_ = ports_.Clock->Now().utcMs;
    const std::optional<params::TCurrentReply> reply =
        params::ReadCurrentReply(replies_.Text(), id, curParams_);
    if (reply) {
        if (!reply->value.empty()) unitValues_.Take(reply->key, reply->value);
        ShowReply(*reply);
        if (reply->counted) ++curParamRecvCnt_;
    }
    SetPosition(params::CurrentReadBackProgress(curParamRecvCnt_, expectedParamCnt_));
    Refresh();
}

void TConversation::ShowReply(const params::TCurrentReply& reply) {
    using params::TShowOp;
    switch (reply.show) {
    case TShowOp::None:
        break;
    case TShowOp::RxLevel:
        ShowRxLevel(reply.intArg);
        break;
    case TShowOp::RxOutLevel:
        ShowRxOutLevel(reply.intArg);
        break;
    case TShowOp::PhoneOutVol:
        ShowPhoneOutVol(reply.realArg);
        break;
    case TShowOp::HandsFree:
        ShowHandsFree(curParams_.VOXSw, curParams_.CsgVoxNzccTh);
        break;
    case TShowOp::TxSquelch:
        ShowTxSquelch(reply.intArg);
        break;
    case TShowOp::Channel:
        ShowChannel();
        break;
    case TShowOp::RecordSw:
        ShowRecordSw(reply.intArg);
        break;
    case TShowOp::DiveComInterface:
        ShowDiveComInterface(reply.intArg);
        break;
    case TShowOp::VoiceGuideLevel:
        ShowVoiceGuideLevel(reply.intArg);
        break;
    case TShowOp::DivingTimeSignal:
        ShowDivingTimeSignal(reply.intArg);
        break;
    case TShowOp::InitParams:
        ShowParamSet(initParams_);
        unitValues_ = initialValues_;
        curParamRecvCnt_ = expectedParamCnt_;
        break;
    }
}

void TConversation::FinishReadBack() {
    phase_ = TPhase::Ready;
    Tell(&TUnitWatcher::ReadBackFinished);
}

// ---- the display operations: a value into its setting's data, then onto the panel ----------

void TConversation::Show(TSetting setting, const std::optional<params::TDisplay>& shown) {
    if (!shown) return;
    TSettingData& d = Data(setting);
    d.choice = params::ItemOf(shown->itemIndex, static_cast<std::size_t>(d.items));
    d.shown = shown->text;
    d.current = shown->tag;
    Touch(TShown::Settings);
}

void TConversation::ShowRxLevel(std::int32_t value) {
    Show(TSetting::Volume, params::RxLevelToDisplay(value));
}

void TConversation::ShowRxOutLevel(std::int32_t value) {
    Show(TSetting::Volume, params::RxOutLevelToDisplay(identity_.model, value));
}

void TConversation::ShowPhoneOutVol(double value) {
    Show(TSetting::Volume, params::PhoneOutVolToDisplay(value));
}

void TConversation::ShowHandsFree(std::int32_t vox, double threshold) {
    Show(TSetting::HandsFree, params::HandsFreeToDisplay(identity_.version, vox, threshold));
}

void TConversation::ShowTxSquelch(std::int32_t value) {
    Show(TSetting::AutoSwitching, params::TxSquelchToDisplay(value));
}

void TConversation::ShowChannel() {
    Show(TSetting::Channel, params::ChannelToDisplay(curParams_.Channel, curParams_.BaseFreq));
}

void TConversation::ShowRecordSw(std::int32_t value) {
    const params::TRecordSwDisplay shown = params::RecordSwToDisplay(value);
    TSettingData& d = Data(TSetting::Recorder);
    d.choice = params::ItemOf(shown.itemIndex, static_cast<std::size_t>(d.items));
    d.current = shown.tag;
    if (shown.text) d.shown = *shown.text;
    Touch(TShown::Settings);
}

void TConversation::ShowDiveComInterface(std::int32_t index) {
    Show(TSetting::DiveComputer, params::DiveComInterfaceToDisplay(identity_.model, index));
}

void TConversation::ShowVoiceGuideLevel(std::int32_t index) {
    Show(TSetting::VoiceGuide, params::VoiceGuideLevelToDisplay(index));
}

void TConversation::ShowDivingTimeSignal(std::int32_t value) {
    const params::TDivingTimeSignalDisplay shown = params::DivingTimeSignalToDisplay(value);
    TSettingData& d = Data(TSetting::AirCheck);
    d.current = shown.tag;
    d.shown = shown.text;
    d.first = params::ItemOf(shown.first, params::DivingTimeSignal1Items.size());
    d.later = params::ItemOf(shown.later, params::DivingTimeSignal2Items.size());
    // Changing the state runs the click rule, which fills or clears the lists.
    SetAirCheck(shown.checked);
}

void TConversation::ShowVolume(const params::TParamSet& set) {
    switch (params::VolumeShowOp(identity_)) {
    case params::TShowOp::RxLevel:
        ShowRxLevel(set.RxLevel);
        break;
    case params::TShowOp::PhoneOutVol:
        ShowPhoneOutVol(set.PhoneOutVol);
        break;
    default:
        ShowRxOutLevel(set.RxOutLevel);
        break;
    }
}

void TConversation::ShowParamSet(const params::TParamSet& set) {
    ShowVolume(set);
    ShowTxSquelch(set.TxSquelchSw);
    ShowHandsFree(set.VOXSw, set.CsgVoxNzccTh);
    ShowRecordSw(set.RecordSw);
    curParams_.Channel = set.Channel;
    curParams_.BaseFreq = set.BaseFreq;
    ShowChannel();
    // The default set has no receive-only switch: every model shows the dive-computer value.
    ShowDiveComInterface(params::DiveConWarningToIndex(set.DiveConWarningSw));
    ShowVoiceGuideLevel(params::VoiceGuideToIndex(set.VoiceGuideSwitch));
    ShowDivingTimeSignal(set.DivingTimeSignalSw);
}

// ---- Apply: every setting written back, one command per acknowledged reply, then "SAVE" ----

std::int32_t TConversation::GetDivingTimeSignalValue() const {
    const TSettingData& d = Data(TSetting::AirCheck);
    return params::GetDivingTimeSignalValue(d.checked, d.first, d.later);
}

void TConversation::StartRun() {
    outcome_ = {};
}

bool TConversation::BeginRun(TRunKind kind) {
    if (!ports_.Journal) return true;
    const std::uint32_t epoch = deviceEpoch_;
    bool backedUp = false;
    // The journal may ask the user and run the event loop meanwhile; a throw is shown as any
    // other and counts as no.
    Guarded([&] { backedUp = ports_.Journal->BeforeFirstWrite(kind); });
    const bool sameUnit = epoch == deviceEpoch_;
    if (!backedUp) {
        Log("Not written: the settings of this unit could not be backed up.");
        // A device change meanwhile has already set the panel and the phase.
        if (sameUnit) {
            phase_ = TPhase::Ready;
            runShown_.reset();
            Touch(TShown::Run);
        }
        return false;
    }
    openRun_ = kind;
    if (sameUnit && device_) return true;
    // Unplugged, or taken afresh, while the journal was at work: what it backed up may not be
    // this unit's any more.
    EndRun(device_ ? TRunEnd::Abandoned : TRunEnd::WentAway);
    return false;
}

void TConversation::EndRun(TRunEnd end) {
    if (!openRun_ || !ports_.Journal) return;
    const TRunKind kind = *std::exchange(openRun_, std::nullopt);
    Guarded([&] { ports_.Journal->RunEnded(kind, end); });
}

void TConversation::Acknowledge() {
    // A step that answered itself sent nothing to acknowledge.
    if (!awaiting_.empty()) {
        if (awaiting_ == params::CmdSave) outcome_.saved = true;
        if (awaiting_ == params::CmdClear) outcome_.erased = true;
        outcome_.acknowledged.push_back(awaiting_);
    }
    awaiting_.clear();
}

void TConversation::NoteWritten(std::size_t entry) {
    // A setting of several commands is written once the last of them is acknowledged.
    const params::TWriteEntry& e = plan_[entry];
    if (!e.setting || !e.command) return;
    if (entry + 1 < plan_.size() && plan_[entry + 1].setting == e.setting) return;
    outcome_.written.push_back(*e.setting);
}

void TConversation::Refuse(std::string command) {
    outcome_.refusal = TRefusal{std::move(command), replies_.Text()};
}

bool TConversation::Chosen(TSetting setting) const {
    return std::find(chosen_.begin(), chosen_.end(), setting) != chosen_.end();
}

bool TConversation::Kept(TSetting setting) const {
    return std::find(kept_.begin(), kept_.end(), setting) != kept_.end();
}

bool TConversation::Restored(TSetting setting) const {
    return std::find(restored_.begin(), restored_.end(), setting) != restored_.end();
}

void TConversation::MarkChosen(TSetting setting) {
    if (!Chosen(setting)) chosen_.push_back(setting);
    if (std::find(unrestored_.begin(), unrestored_.end(), setting) == unrestored_.end())
        unrestored_.push_back(setting);
}

void TConversation::ChooseUnitValues(const params::TUnitValues& values) {
    restore_ = values;
    unrestored_.clear();
    restoreEpoch_ = deviceEpoch_;
}

void TConversation::PressApply() {
    Guarded([this] {
        EndRun(TRunEnd::Abandoned);
        TApplyPlan planned = PlanApply();
        plan_ = std::move(planned.plan);
        planNext_ = 0;
        kept_ = std::move(planned.kept);
        restored_ = std::move(planned.restored);
        const params::TChangeCount& changes = planned.changes;
        phase_ = TPhase::Ready;
        // The journal learns what the run changes; refused, the last run's count stays.
        const std::int32_t lastCount = std::exchange(changeCount_, changes.count);
        std::vector<TSetting> lastChanged = std::exchange(changed_, changes.changed);
        if (changes.count > 0 && !BeginRun(TRunKind::Apply)) {
            changeCount_ = lastCount;
            changed_ = std::move(lastChanged);
            return;
        }

        StartRun();
        applyProgressCnt_ = 0;
        SetPosition(0);
        Touch(TShown::Run); // the change count
        // A half-chosen air check is off: the box shows it before anything is written.
        if (changes.uncheckAirCheck) SetAirCheck(false);
        if (changes.count == 0) return;
        runShown_ = TRunKind::Apply;
        SendPlanEntry();
        applyProgressCnt_ = 3;
        if (expectedParamCnt_ > 0)
            SetPosition(params::ApplyProgress(applyProgressCnt_, expectedParamCnt_));
    });
}

bool TConversation::TakeWriteReply() {
    if (!replies_.Received()) return false;
    replies_.Consume();
    // Anything else (an "NG") leaves the run waiting here until Apply, Default or a
    // reconnection ends it.
    if (replies_.Text().compare(0, 2, "OK") != 0) {
        Refuse(awaiting_);
        EndRun(TRunEnd::Refused);
        return false;
    }
    Acknowledge();
    return true;
}

void TConversation::CountApplyProgress() {
    ++applyProgressCnt_;
    if (expectedParamCnt_ > 0)
        SetPosition(params::ApplyProgress(applyProgressCnt_, expectedParamCnt_));
}

void TConversation::SendPlanEntry() {
    const std::size_t i = planNext_++;
    const params::TWriteEntry& e = plan_[i];
    const bool save = !e.setting;
    if (save && changeCount_ < 1) {
        // Nothing changed: the run ends as if the unit had saved.
        awaiting_.clear();
        replies_.AnswerLocally("Parameter saved");
    } else if (e.command) {
        SendCommand(*e.command);
    } else {
        // The unit has no such parameter: the next step runs on the next tick as if it had
        // answered.
        awaiting_.clear();
        replies_.AnswerLocally("OK");
    }
    phase_ = params::StepAfter(plan_, i);
    if (save) SetPosition(100);
}

void TConversation::WriteStep() {
    if (!TakeWriteReply()) return;
    if (planNext_ >= plan_.size()) return; // not in a run (a step set from outside)
    if (planNext_ > 0) NoteWritten(planNext_ - 1);
    const bool counts = plan_[planNext_].counts;
    SendPlanEntry();
    if (counts) CountApplyProgress();
}

void TConversation::OnSaveReply() {
    if (!replies_.Received()) return;
    replies_.Consume();
    const bool saved = replies_.Text().compare(0, 15, "Parameter saved") == 0;
    if (saved)
        Acknowledge();
    else
        Refuse(awaiting_.empty() ? std::string(params::CmdSave) : awaiting_);
    if (saved) {
        // A setting written back with the unit's own value keeps its box as it was.
        using enum TSetting;
        // One written with a restore's values shows them as a read-back of them would.
        const auto boxed = [this](TSetting setting) {
            return !Kept(setting) && !Restored(setting);
        };
        const auto setBox = [&](TSetting setting, std::optional<std::string_view> text,
                                int current) {
            if (!boxed(setting)) return;
            TSettingData& d = Data(setting);
            if (text) d.shown = *text;
            d.current = current;
            Touch(TShown::Settings);
        };
        const int volume = Data(Volume).choice;
        setBox(Volume, params::VolumeBoxText(volume), volume);
        const int channel = Data(Channel).choice;
        setBox(Channel, params::ChannelBoxText(identity_.model, channel), channel);
        const int txSquelch = Data(AutoSwitching).choice;
        setBox(AutoSwitching, params::TxSquelchBoxText(txSquelch), txSquelch);
        const params::TBoxUpdate handsFree =
            params::HandsFreeBoxFromIndex(identity_.version, Data(HandsFree).choice);
        setBox(HandsFree, handsFree.text, handsFree.tag);
        if (boxed(Recorder)) ShowRecordSw(Data(Recorder).choice);
        if (boxed(params::DiveComSetting(identity_)))
            ShowDiveComInterface(Data(DiveComputer).choice);
        if (boxed(VoiceGuide)) ShowVoiceGuideLevel(Data(VoiceGuide).choice);
        if (boxed(AirCheck)) ShowDivingTimeSignal(GetDivingTimeSignalValue());
        for (const std::string& command : outcome_.acknowledged)
            unitValues_.Stored(command);
        for (TSetting setting : restored_)
            ShowRestored(setting);
        chosen_.clear();
        restore_.Clear();
    }
    phase_ = TPhase::Ready;
    runShown_.reset();
    Touch(TShown::Run);
    Tell(&TUnitWatcher::SaveAnswered);
    SetPosition(100);
    EndRun(saved ? TRunEnd::Saved : TRunEnd::Refused);
}

void TConversation::ShowRestored(TSetting setting) {
    for (const params::TWriteEntry& e : plan_) {
        if (e.setting != setting || !e.command) continue;
        const std::optional<std::string> reply = params::ReadBackReply(*e.command);
        if (!reply) continue;
        if (const auto read = params::ReadCurrentReply(*reply, identity_, curParams_))
            ShowReply(*read);
    }
}

// ---- Default: the unit erases its settings; the default set read at connection is shown ----

void TConversation::PressDefault() {
    Guarded([this] {
        EndRun(TRunEnd::Abandoned);
        if (!BeginRun(TRunKind::Default)) return;
        StartRun();
        SetPosition(0);
        runShown_ = TRunKind::Default;
        Touch(TShown::Run);
        SendCommand(std::string(params::CmdClear));
        phase_ = TPhase::RestoringDefaults;
    });
}

void TConversation::OnClearReply() {
    // The flag stays set: step 17 takes the reply put in place here on the next tick.
    if (!replies_.Received()) return;
    if (replies_.Text().find("Successfully erased") == std::string::npos) {
        // The window waits on; a front end without one can say what the unit answered.
        Refuse(std::string(params::CmdClear));
        EndRun(TRunEnd::Refused);
        return;
    }
    Acknowledge();
    ShowParamSet(initParams_);
    unitValues_ = initialValues_;
    chosen_.clear();
    kept_.clear();
    restored_.clear();
    restore_.Clear();
    replies_.AnswerLocally("Parameter saved");
    phase_ = TPhase::Saving;
}

} // namespace core

namespace core {

TConversation::TSettingState TConversation::Setting(TSetting setting) const {
    TSettingState state;
    const std::size_t count = params::SettingValues(setting, identity_).size();
    state.offered = count > 0;
    if (!state.offered) return state;
    state.adjustable = params::Adjustable(identity_);
    const TSettingData& d = Data(setting);
    state.shown = d.shown;
    const auto item = [count](int index) -> std::optional<int> {
        if (index < 0 || static_cast<std::size_t>(index) >= count) return std::nullopt;
        return index;
    };
    if (const auto raw = unitValues_.Of(params::SettingCommand(setting, identity_)))
        state.raw = std::string(*raw);
    if (setting != TSetting::AirCheck) {
        state.current = item(d.current);
        state.choice = item(d.choice);
        return state;
    }
    // The air check's box carries the table's code (0: off); a box never filled says nothing.
    if (!d.shown.empty()) state.current = item(d.current);
    if (!d.checked) {
        // Unchecked is also what a value not read, or not in the table, leaves.
        if (state.current == 0) state.choice = 0;
        return state;
    }
    for (const params::TDivingTimeSignalRow& row : params::DivingTimeSignalTable)
        if (row.first == d.first && row.later == d.later) state.choice = row.code;
    return state;
}

TConversation::TApplyPlan TConversation::PlanApply() const {
    using enum TSetting;
    const auto choice = [this](TSetting s) { return Data(s).choice; };
    const auto current = [this](TSetting s) { return Data(s).current; };
    TApplyPlan planned;
    planned.plan = params::WritePlan(
        identity_, {choice(Volume), choice(AutoSwitching), choice(HandsFree), choice(Channel),
                    choice(Recorder), choice(DiveComputer), choice(VoiceGuide),
                    GetDivingTimeSignalValue(), initParams_.CsgVoxNzccTh});
    // A restore's values go as they are for each setting they cover and the user has not
    // chosen since; a command of such a setting that the backup lacks keeps the unit's value.
    const auto listed = [](const std::vector<TSetting>& list, TSetting s) {
        return std::find(list.begin(), list.end(), s) != list.end();
    };
    if (!restore_.Empty() && restoreEpoch_ == deviceEpoch_) {
        for (const params::TWriteEntry& e : planned.plan)
            if (e.setting && e.command && restore_.Of(*e.command) &&
                !listed(unrestored_, *e.setting) && !listed(planned.restored, *e.setting))
                planned.restored.push_back(*e.setting);
    }
    std::vector<TSetting> restoredChanged;
    for (params::TWriteEntry& e : planned.plan) {
        if (!e.setting || !e.command || !listed(planned.restored, *e.setting)) continue;
        const bool own = restore_.Of(*e.command).has_value();
        e.command = params::WithUnitValue(*e.command, own ? restore_ : unitValues_);
        // A value the unit did not report may differ from any.
        if ((!unitValues_.Of(*e.command) || params::ChangesUnitValue(*e.command, unitValues_)) &&
            !listed(restoredChanged, *e.setting))
            restoredChanged.push_back(*e.setting);
    }
    // A setting chosen as the unit already has it changes nothing, and goes back with the
    // unit's own value as one not chosen does: its item may write another value (a DW720
    // MIV that did not give its model shows its channel S as the item B, which writes B).
    std::vector<TSetting> chosen;
    for (TSetting s : chosen_) {
        const TSettingData& d = Data(s);
        const int item =
            s == AirCheck ? params::GetDivingTimeSignalCode(d.checked, d.first, d.later) : d.choice;
        if (item != d.current) chosen.push_back(s);
    }
    chosen.insert(chosen.end(), planned.restored.begin(), planned.restored.end());
    planned.kept = params::KeptSettings(planned.plan, unitValues_, chosen);
    // A setting the user did not choose goes back with the unit's own value.
    const auto kept = [&](TSetting s) {
        return std::find(planned.kept.begin(), planned.kept.end(), s) != planned.kept.end();
    };
    for (params::TWriteEntry& e : planned.plan)
        if (e.setting && e.command && kept(*e.setting))
            e.command = params::WithUnitValue(*e.command, unitValues_);
    const TSettingData& airCheck = Data(AirCheck);
    const params::TApplyState p{choice(Volume),         current(Volume),      choice(AutoSwitching),
                                current(AutoSwitching), choice(HandsFree),    current(HandsFree),
                                choice(Channel),        current(Channel),     choice(Recorder),
                                current(Recorder),      choice(DiveComputer), current(DiveComputer),
                                choice(VoiceGuide),     current(VoiceGuide),  airCheck.checked,
                                airCheck.first,         airCheck.later,       airCheck.current,
                                planned.kept,           planned.restored,     restoredChanged};
    planned.changes = params::CountChangedSettings(p, identity_);
    return planned;
}

params::TChangeCount TConversation::ChangesOnApply() const {
    return PlanApply().changes;
}

std::vector<params::TWriteEntry> TConversation::WritesOnApply() const {
    return PlanApply().plan;
}

} // namespace core
