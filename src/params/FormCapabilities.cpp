// What the model and firmware allow: the lists rebuilt on a new model or version text, and
// the controls disabled after the read-back.
#include "app/Main.h"

#include <utility>

namespace {

QStringList Items(const std::vector<std::string_view>& items) {
    QStringList out;
    for (std::string_view item : items)
        out << Utf8Text(item);
    return out;
}

void Rebuild(TRadioGroup* group, const params::TChoiceList& list) {
    if (!list.caption.empty())
        group->setTitle(Utf8Text(list.caption));
    group->SetColumns(list.columns);
    group->SetItems(Items(list.items));
}

} // namespace

void TForm1::EditKINDChange() {
    const std::string model = Identity().model;
    Rebuild(RGChannel, params::ChannelChoices(model));
    Rebuild(RgDiveComInterface, params::DiveComInterfaceChoices(model));
}

void TForm1::Edit1Change() {
    const params::THandsFreeChoices choices = params::HandsFreeChoices(Identity().version);
    Rebuild(RadioGroup4, choices.list);
    Label9->setVisible(choices.sensitivityLabelsVisible);
    Label10->setVisible(choices.sensitivityLabelsVisible);
}

void TForm1::ApplyCapabilityRules() {
    const std::pair<std::string_view, QWidget*> controls[] = {
        {"RadioGroup1", RadioGroup1},
        {"Edit5", Edit5},
        {"RadioGroup3", RadioGroup3},
        {"Edit7", Edit7},
        {"RadioGroup4", RadioGroup4},
        {"Edit8", Edit8},
        {"RGChannel", RGChannel},
        {"EdtChannel", EdtChannel},
        {"RadioGroup5", RadioGroup5},
        {"Edit9", Edit9},
        {"SpeedButton2", SpeedButton2},
        {"SpeedButton3", SpeedButton3},
        {"RgDiveComInterface", RgDiveComInterface},
        {"EdtDiveComInterface", EdtDiveComInterface},
        {"RadioGroupVoiceGuideLevel", RadioGroupVoiceGuideLevel},
        {"EditVoiceGuideLevel", EditVoiceGuideLevel},
        {"GroupBoxDivingTimeSignal", GroupBoxDivingTimeSignal},
        {"Label11", Label11},
        {"Label12", Label12},
        {"CheckBoxDivingTimeSignalEnable", CheckBoxDivingTimeSignalEnable},
        {"EditDivingTimeSignal", EditDivingTimeSignal},
    };
    for (const params::TControlRule& rule : params::ApplyCapabilityRules(Identity())) {
        QWidget* control = nullptr;
        for (const auto& [name, widget] : controls)
            if (name == rule.control) control = widget;
        if (!control) continue;
        switch (rule.action) {
        case params::TControlAction::Disable:
            control->setEnabled(false);
            break;
        case params::TControlAction::Enable:
            control->setEnabled(true);
            break;
        case params::TControlAction::Uncheck:
            // Runs the click rule when the state changes.
            CheckBoxDivingTimeSignalEnable->setChecked(false);
            break;
        }
    }
}
