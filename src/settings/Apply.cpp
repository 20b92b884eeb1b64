// Apply: every setting of the panel written back, one command per acknowledged reply, then
// "SAVE" and the choices copied into the current-setting boxes (steps 10 ... 23, 17).
#include "app/Main.h"
#include "params/ApplyValues.h"
#include "params/ValueTables.h"

namespace {

void SetBox(TEdit* box, std::optional<std::string_view> text, int tag) {
    if (text) box->setText(Utf8Text(*text));
    box->Tag = tag;
}

} // namespace

std::string TForm1::GetDiveConWarningValue() const {
    return params::GetDiveConWarningValue(RgDiveComInterface->ItemIndex());
}

std::string TForm1::GetTxModeValue() const {
    return params::GetTxModeValue(RgDiveComInterface->ItemIndex());
}

int32_t TForm1::GetVoiceGuideValue() const {
    return params::GetVoiceGuideValue(RadioGroupVoiceGuideLevel->ItemIndex());
}

int32_t TForm1::GetDivingTimeSignalValue() const {
    return params::GetDivingTimeSignalValue(CheckBoxDivingTimeSignalEnable->isChecked(),
                                            ComboBoxDivingTimeSignal1->currentIndex(),
                                            ComboBoxDivingTimeSignal2->currentIndex());
}

int TForm1::GetDivingTimeSignalCode() const {
    return params::GetDivingTimeSignalCode(CheckBoxDivingTimeSignalEnable->isChecked(),
                                           ComboBoxDivingTimeSignal1->currentIndex(),
                                           ComboBoxDivingTimeSignal2->currentIndex());
}

void TForm1::SpeedButton2Click() {
    applyProgressCnt = 0;
    ProgressBar1->setValue(0);
    SpeedButton2->Tag = 0;

    const params::TIdentity id = Identity();
    params::TApplyPanel panel;
    panel.volume = RadioGroup1->ItemIndex();
    panel.volumeTag = Edit5->Tag;
    panel.txSquelch = RadioGroup3->ItemIndex();
    panel.txSquelchTag = Edit7->Tag;
    panel.handsFree = RadioGroup4->ItemIndex();
    panel.handsFreeTag = Edit8->Tag;
    panel.channel = RGChannel->ItemIndex();
    panel.channelTag = EdtChannel->Tag;
    panel.recordSw = RadioGroup5->ItemIndex();
    panel.recordSwTag = Edit9->Tag;
    panel.diveCom = RgDiveComInterface->ItemIndex();
    panel.diveComTag = EdtDiveComInterface->Tag;
    panel.voiceGuide = RadioGroupVoiceGuideLevel->ItemIndex();
    panel.voiceGuideTag = EditVoiceGuideLevel->Tag;
    panel.airCheckChecked = CheckBoxDivingTimeSignalEnable->isChecked();
    panel.airCheckFirst = ComboBoxDivingTimeSignal1->currentIndex();
    panel.airCheckLater = ComboBoxDivingTimeSignal2->currentIndex();
    panel.airCheckTag = EditDivingTimeSignal->Tag;
    const params::TChangeCount changes = params::CountChangedSettings(panel, id);
    // A half-chosen air check is off: the box shows it before anything is written.
    if (changes.uncheckAirCheck) CheckBoxDivingTimeSignalEnable->setChecked(false);

    StepNo = 1;
    if (changes.count == 0) return;
    SpeedButton2->Tag = changes.count;
    Label4->setText(QStringLiteral("Updating."));
    SendCommand(params::VolumeCommand(id, RadioGroup1->ItemIndex()));
    StepNo = 10;
    applyProgressCnt = 3;
    if (expectedParamCnt > 0)
        ProgressBar1->setValue(params::ApplyProgress(applyProgressCnt, expectedParamCnt));
}

bool TForm1::TakeWriteReply() {
    if (!Received) return false;
    Received = false;
    // Anything else (an "NG") leaves the run waiting here until Apply, Default or a
    // reconnection ends it.
    return ReplyText.compare(0, 2, "OK") == 0;
}

void TForm1::CountApplyProgress() {
    ++applyProgressCnt;
    if (expectedParamCnt > 0)
        ProgressBar1->setValue(params::ApplyProgress(applyProgressCnt, expectedParamCnt));
}

void TForm1::SendWriteStep(const std::string& command, int32_t next, bool counts) {
    SendCommand(command);
    StepNo = next;
    if (counts) CountApplyProgress();
}

void TForm1::AnswerWriteStep(const std::string& reply, int32_t next, bool counts) {
    // The unit has no such parameter: the next step runs on the next tick as if it had
    // answered.
    AnswerLocally(reply);
    StepNo = next;
    if (counts) CountApplyProgress();
}

void TForm1::ApplyStep10() {
    if (!TakeWriteReply()) return;
    SendWriteStep(params::TxSquelchCommand(RadioGroup3->ItemIndex()), 11, true);
}

void TForm1::ApplyStep11() {
    if (!TakeWriteReply()) return;
    const int32_t next = params::WritesCsgVoxNzccTh(Identity().version) ? 12 : 19;
    SendWriteStep(params::VoxCommand(RadioGroup4->ItemIndex()), next, true);
}

void TForm1::ApplyStep12() {
    if (!TakeWriteReply()) return;
    SendWriteStep(params::CsgVoxNzccThCommand(RadioGroup4->ItemIndex(), initParams.CsgVoxNzccTh),
                  19, false);
}

void TForm1::ApplyStep19() {
    if (!TakeWriteReply()) return;
    SendWriteStep(params::LedCommand(RGChannel->ItemIndex()), 13, true);
}

void TForm1::ApplyStep13() {
    if (!TakeWriteReply()) return;
    SendWriteStep(params::ChannelCommand(Identity().model, RGChannel->ItemIndex()), 14, true);
}

void TForm1::ApplyStep14() {
    if (!TakeWriteReply()) return;
    SendWriteStep(params::BaseFreqCommand(RGChannel->ItemIndex()), 15, true);
}

void TForm1::ApplyStep15() {
    if (!TakeWriteReply()) return;
    SendWriteStep(params::RecordSwCommand(RadioGroup5->ItemIndex()), 16, true);
}

void TForm1::ApplyStep16() {
    if (!TakeWriteReply()) return;
    if (const auto command = params::DiveComCommand(Identity(), RgDiveComInterface->ItemIndex()))
        SendWriteStep(*command, 21, true);
    else
        AnswerWriteStep("OK", 21, true);
}

void TForm1::ApplyStep21() {
    if (!TakeWriteReply()) return;
    if (const auto command =
            params::VoiceGuideCommand(Identity(), RadioGroupVoiceGuideLevel->ItemIndex()))
        SendWriteStep(*command, 22, true);
    else
        AnswerWriteStep("OK", 22, true);
}

void TForm1::ApplyStep22() {
    if (!TakeWriteReply()) return;
    if (const auto command =
            params::DivingTimeSignalCommand(Identity(), GetDivingTimeSignalValue()))
        SendWriteStep(*command, 23, true);
    else
        AnswerWriteStep("OK", 23, true);
}

void TForm1::ApplyStep23() {
    if (!TakeWriteReply()) return;
    if (SpeedButton2->Tag < 1)
        AnswerWriteStep("Parameter saved", 17, false);
    else
        SendWriteStep(std::string(params::CmdSave), 17, false);
    ProgressBar1->setValue(100);
}

void TForm1::OnSaveReply() {
    if (!Received) return;
    Received = false;
    if (ReplyText.compare(0, 15, "Parameter saved") == 0) {
        const params::TIdentity id = Identity();
        const int volume = RadioGroup1->ItemIndex();
        SetBox(Edit5, params::VolumeBoxText(volume), volume);
        const int channel = RGChannel->ItemIndex();
        SetBox(EdtChannel, params::ChannelBoxText(id.model, channel), channel);
        const int txSquelch = RadioGroup3->ItemIndex();
        SetBox(Edit7, params::TxSquelchBoxText(txSquelch), txSquelch);
        const params::TBoxUpdate handsFree =
            params::HandsFreeBoxFromIndex(id.version, RadioGroup4->ItemIndex());
        SetBox(Edit8, handsFree.text, handsFree.tag);
        ShowRecordSw(RadioGroup5->ItemIndex());
        ShowDiveComInterface(RgDiveComInterface->ItemIndex());
        ShowVoiceGuideLevel(RadioGroupVoiceGuideLevel->ItemIndex());
        ShowDivingTimeSignal(GetDivingTimeSignalValue());
    }
    SpeedButton2->setEnabled(true);
    SpeedButton3->setEnabled(true);
    StepNo = 1;
    Label4->setText(QString());
    ProgressBar1->setValue(100);
}
