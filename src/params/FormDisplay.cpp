// The display operations: a unit's value into its choice and its current-setting box.
#include "app/Main.h"
#include "params/ReadBack.h"
#include "params/ValueTables.h"

namespace {

void Show(TRadioGroup* choice, TEdit* box, const std::optional<params::TDisplay>& shown) {
    if (!shown) return;
    choice->SetItemIndex(shown->itemIndex);
    box->setText(Utf8Text(shown->text));
    box->Tag = shown->tag;
}

} // namespace

void TForm1::ShowRxLevel(int32_t value) {
    Show(RadioGroup1, Edit5, params::RxLevelToDisplay(value));
}

void TForm1::ShowRxOutLevel(int32_t value) {
    Show(RadioGroup1, Edit5, params::RxOutLevelToDisplay(Identity().model, value));
}

void TForm1::ShowPhoneOutVol(double value) {
    Show(RadioGroup1, Edit5, params::PhoneOutVolToDisplay(value));
}

void TForm1::ShowHandsFree(int32_t vox, double threshold) {
    Show(RadioGroup4, Edit8, params::HandsFreeToDisplay(Identity().version, vox, threshold));
}

void TForm1::ShowTxSquelch(int32_t value) {
    Show(RadioGroup3, Edit7, params::TxSquelchToDisplay(value));
}

void TForm1::ShowChannel() {
    Show(RGChannel, EdtChannel, params::ChannelToDisplay(curParams.Channel, curParams.BaseFreq));
}

void TForm1::ShowRecordSw(int32_t value) {
    const params::TRecordSwDisplay shown = params::RecordSwToDisplay(value);
    RadioGroup5->SetItemIndex(shown.itemIndex);
    Edit9->Tag = shown.tag;
    if (shown.text) Edit9->setText(Utf8Text(*shown.text));
}

void TForm1::ShowDiveComInterface(int32_t index) {
    Show(RgDiveComInterface, EdtDiveComInterface,
         params::DiveComInterfaceToDisplay(Identity().model, index));
}

void TForm1::ShowVoiceGuideLevel(int32_t index) {
    Show(RadioGroupVoiceGuideLevel, EditVoiceGuideLevel, params::VoiceGuideLevelToDisplay(index));
}

void TForm1::ShowDivingTimeSignal(int32_t value) {
    const params::TDivingTimeSignalDisplay shown = params::DivingTimeSignalToDisplay(value);
    EditDivingTimeSignal->Tag = shown.tag;
    EditDivingTimeSignal->setText(Utf8Text(shown.text));
    ComboBoxDivingTimeSignal1->setCurrentIndex(shown.first);
    ComboBoxDivingTimeSignal2->setCurrentIndex(shown.later);
    // Changing the state runs the click rule, which enables or clears the combo boxes.
    CheckBoxDivingTimeSignalEnable->setChecked(shown.checked);
}

void TForm1::ShowVolume(const params::TParamSet& set) {
    switch (params::VolumeShowOp(Identity())) {
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

void TForm1::ShowParamSet(const params::TParamSet& set) {
    ShowVolume(set);
    ShowTxSquelch(set.TxSquelchSw);
    ShowHandsFree(set.VOXSw, set.CsgVoxNzccTh);
    ShowRecordSw(set.RecordSw);
    curParams.Channel = set.Channel;
    curParams.BaseFreq = set.BaseFreq;
    ShowChannel();
    // The default set has no receive-only switch: every model shows the dive-computer value.
    ShowDiveComInterface(params::DiveConWarningToIndex(set.DiveConWarningSw));
    ShowVoiceGuideLevel(params::VoiceGuideToIndex(set.VoiceGuideSwitch));
    ShowDivingTimeSignal(set.DivingTimeSignalSw);
}

void TForm1::CheckBoxDivingTimeSignalEnableClick() {
    const bool checked = CheckBoxDivingTimeSignalEnable->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{ComboBoxDivingTimeSignal1,
                                                      ComboBoxDivingTimeSignal2, Label11, Label12})
        w->setEnabled(checked);
    if (checked) {
        if (ComboBoxDivingTimeSignal1->currentIndex() < 0 &&
            ComboBoxDivingTimeSignal2->currentIndex() < 0) {
            ComboBoxDivingTimeSignal1->setCurrentIndex(1);
            ComboBoxDivingTimeSignal2->setCurrentIndex(1);
        }
    } else {
        ComboBoxDivingTimeSignal1->setCurrentIndex(-1);
        ComboBoxDivingTimeSignal2->setCurrentIndex(-1);
    }
}
