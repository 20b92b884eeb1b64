#include "link/PanelPainter.h"

#include "link/Text.h"
#include "params/Capabilities.h"
#include "params/Settings.h"
#include "params/ValueTables.h"

#include <string_view>

namespace core {

using enum TControl;

namespace {

// The rows and boxes the window hides where it does not support the firmware.
constexpr TControl kSettingsPanel[] = {GroupBox1,
                                       RadioGroup3,
                                       GroupBox2,
                                       RadioGroup4,
                                       RGChannel,
                                       EdtChannel,
                                       RadioGroup5,
                                       Edit9,
                                       Label5,
                                       Edit5,
                                       Edit7,
                                       Edit8,
                                       RgDiveComInterface,
                                       EdtDiveComInterface,
                                       SpeedButton2,
                                       SpeedButton3};

void Rebuild(TPanel& panel, TControl group, const params::TChoiceList& list) {
    if (!list.caption.empty()) panel.SetText(group, list.caption);
    // A new list clears its selection.
    panel.SetItems(group, {list.items.begin(), list.items.end()}, list.columns);
}

std::string_view RunText(const std::optional<TRunKind>& run) {
    if (!run) return {};
    return *run == TRunKind::Apply ? "Updating." : "Clear.";
}

} // namespace

void TPanelPainter::Redraw() {
    const TConversation& u = *unit_;
    using TShown = TConversation::TShown;
    const auto changed = [&](TShown part) {
        std::uint32_t& drawn = drawnParts_[static_cast<std::size_t>(part)];
        if (drawn_ && u.Revision(part) == drawn) return false;
        drawn = u.Revision(part);
        return true;
    };
    const bool identity = changed(TShown::Identity);
    const bool settings = changed(TShown::Settings);
    const bool run = changed(TShown::Run);
    drawn_ = true;
    drawnRevision_ = u.Revision();

    if (identity) DrawIdentity(u);
    if (identity || settings) {
        // The lists first: a new list clears its choice.
        DrawLists(u);
        for (TSetting setting : params::kRows)
            DrawSetting(u, setting);
        DrawSetting(u, TSetting::AirCheck);
    }
    if (!run) return;
    if (!drawnRun_ || *drawnRun_ != u.RunUnderWay()) {
        drawnRun_ = u.RunUnderWay();
        panel_.SetText(Label4, RunText(*drawnRun_));
    }
    panel_.SetPosition(ProgressBar1, u.Progress());
    panel_.SetTag(SpeedButton2, u.ChangeCount());
    // The window's timer runs while the unit needs ticks, and carries the step it last logged
    // (the demo's state shows it).
    panel_.SetTag(Timer1, u.LoggedStep());
    panel_.SetEnabled(Timer1, u.NeedsTicks());
}

void TPanelPainter::DrawIdentity(const TConversation& u) {
    const params::TIdentity& id = u.Identity();
    panel_.SetText(Edit1, Latin1ToUtf8(id.version));
    panel_.SetText(EditKIND, Latin1ToUtf8(id.model));
    panel_.SetText(EditLanguage, Latin1ToUtf8(u.Language()));
    if (u.Serial())
        panel_.SetText(Edit2, Latin1ToUtf8(*u.Serial()));
    else
        panel_.SetText(Edit2, u.SerialRefused() ? "Not found" : "");
    // Worded for the firmware once a unit has said its version; shown only where it is
    // found wanting.
    if (u.VersionHeard()) panel_.SetText(Label3, kUnsupportedNotice);
    if (u.DefaultsCounted())
        panel_.SetText(LabelParamCnt, "ParameterCount=" + std::to_string(*u.DefaultsCounted()));
}

void TPanelPainter::DrawLists(const TConversation& u) {
    // The window's own lists until the unit has said its version or model, then the
    // identity's (empty again after a device change).
    const params::TIdentity& id = u.Identity();
    if (u.VersionEverKnown() && (!listsForVersion_ || id.version != listsVersion_)) {
        listsForVersion_ = true;
        listsVersion_ = id.version;
        const params::THandsFreeChoices choices = params::HandsFreeChoices(id.version);
        Rebuild(panel_, RadioGroup4, choices.list);
        panel_.SetVisible(Label9, choices.sensitivityLabelsVisible);
        panel_.SetVisible(Label10, choices.sensitivityLabelsVisible);
    }
    if (u.ModelEverKnown() && (!listsForModel_ || id.model != listsModel_)) {
        listsForModel_ = true;
        listsModel_ = id.model;
        Rebuild(panel_, RGChannel, params::ChannelChoices(id.model));
        Rebuild(panel_, RgDiveComInterface, params::DiveComInterfaceChoices(id.model));
    }
}

void TPanelPainter::DrawSetting(const TConversation& u, TSetting setting) {
    const params::TSettingInfo& info = params::Info(setting);
    const TConversation::TSettingData& d = u.Row(setting);
    panel_.SetText(info.box, d.shown);
    panel_.SetTag(info.box, d.current);
    if (setting != TSetting::AirCheck) {
        panel_.SetItemIndex(info.choice, d.choice);
        return;
    }
    panel_.SetItemIndex(ComboBoxDivingTimeSignal1, d.first);
    panel_.SetItemIndex(ComboBoxDivingTimeSignal2, d.later);
    panel_.SetChecked(info.choice, d.checked);
    // The check box's click rule: its lists and their labels go with it.
    for (TControl c : {ComboBoxDivingTimeSignal1, ComboBoxDivingTimeSignal2, Label11, Label12})
        panel_.SetEnabled(c, d.checked);
}

void TPanelPainter::Choose(TConversation& unit, TControl control, int index) {
    if (control == ComboBoxDivingTimeSignal1)
        unit.ChooseAirCheckFirst(index);
    else if (control == ComboBoxDivingTimeSignal2)
        unit.ChooseAirCheckLater(index);
    else if (const auto setting = params::SettingChosenIn(control))
        unit.ChooseItem(*setting, index);
    else
        panel_.SetItemIndex(control, index);
    Draw();
}

void TPanelPainter::Check(TConversation& unit, TControl control, bool checked) {
    if (control == CheckBoxDivingTimeSignalEnable)
        unit.CheckAirCheck(checked);
    else
        panel_.SetChecked(control, checked);
    Draw();
}

// ---- the moments ----------------------------------------------------------------------------

void TPanelPainter::EnableMenus(bool enabled) {
    panel_.SetEnabled(File1, enabled);
    panel_.SetEnabled(Info1, enabled);
}

void TPanelPainter::Forgotten() {
    Draw();
    rulesHold_ = false;
    panel_.SetVisible(Label8, false);
    panel_.SetVisible(Label13, false);
    for (TSetting setting : params::kRows)
        panel_.SetEnabled(params::Info(setting).choice, false);
    panel_.SetEnabled(CheckBoxDivingTimeSignalEnable, false);
}

void TPanelPainter::Disconnected() {
    Draw();
    rulesHold_ = false;
    menusReady_.reset();
    panel_.SetEnabled(SpeedButton2, false);
    panel_.SetEnabled(SpeedButton3, false);
    EnableMenus(true);
}

void TPanelPainter::DevicesSettled() {
    menusReady_.reset();
    EnableMenus(true);
}

void TPanelPainter::Ticked() {
    // Every tick: drawn again only when the phase's readiness changed since the last tick.
    if (!unit_) return;
    const bool ready = unit_->Phase() == TPhase::Ready;
    if (menusReady_ == ready) return;
    menusReady_ = ready;
    EnableMenus(ready);
}

void TPanelPainter::VersionAnswered() {
    panel_.SetVisible(Edit8, false);
}

void TPanelPainter::SettingsShownChanged() {
    if (!unit_) return;
    const bool visible = unit_->Supported();
    panel_.SetVisible(Label3, !visible);
    for (TControl c : kSettingsPanel)
        panel_.SetVisible(c, visible);
}

void TPanelPainter::ModelAnswered() {
    panel_.SetVisible(Label8, true);
}

void TPanelPainter::LanguageAnswered() {
    panel_.SetVisible(Label13, true);
}

void TPanelPainter::CapabilitiesChecked() {
    if (!unit_) return;
    Draw(); // the air check unchecked by the rules first
    // Checked on every tick of the read-back's last second: applied again only when something
    // may have undone them since.
    if (rulesHold_ && rulesRevision_ == unit_->Revision()) return;
    rulesHold_ = true;
    rulesRevision_ = unit_->Revision();
    for (const params::TControlRule& rule : unit_->CapabilityRules()) {
        if (rule.action == params::TControlAction::Disable)
            panel_.SetEnabled(rule.control, false);
        else if (rule.action == params::TControlAction::Enable)
            panel_.SetEnabled(rule.control, true);
    }
}

void TPanelPainter::ReadBackFinished() {
    if (!unit_) return;
    rulesHold_ = false;
    for (TSetting setting : params::kRows)
        panel_.SetEnabled(params::Info(setting).choice, unit_->Row(setting).choice >= 0);
    panel_.SetEnabled(GroupBoxDivingTimeSignal, true);
    panel_.SetEnabled(CheckBoxDivingTimeSignalEnable, true);
    for (TControl c : {Edit5, Edit7, Edit8, EdtChannel, Edit9, EdtDiveComInterface, SpeedButton2,
                       SpeedButton3, EditVoiceGuideLevel, EditDivingTimeSignal})
        panel_.SetEnabled(c, true);
}

void TPanelPainter::SaveAnswered() {
    rulesHold_ = false;
    panel_.SetEnabled(SpeedButton2, true);
    panel_.SetEnabled(SpeedButton3, true);
}

} // namespace core
