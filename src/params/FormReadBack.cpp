// Steps 7 and 8: the unit's default set ("GETTMPPARAM") and its current values ("GPAR").
#include "app/Main.h"
#include "params/ReadBack.h"

namespace {

std::string Latin1(const QString& text) {
    return text.toLatin1().toStdString();
}

} // namespace

params::TIdentity TForm1::Identity() const {
    params::TIdentity id;
    id.version = Latin1(Edit1->text());
    id.model = Latin1(EditKIND->text());
    id.extendedFirmware = ExtendedFirmware;
    id.phoneVolume = PhoneVolume;
    return id;
}

void TForm1::ResetReadBackState() {
    initParamRecvCnt = 0;
    curParams.ResetOnConnect();
}

void TForm1::ReadInitialParameters() {
    if (!Received) return;
    expectedParamCnt = params::expectedParamCnt(ExtendedFirmware, Latin1(Edit1->text()));
    Received = false;

    // A reply that cannot be read raises here: the general error box shows it, the reply is
    // dropped and the read-back waits for the next one.
    const std::optional<params::TInitialReply> reply =
        params::StoreInitialReply(ReplyText, initParams);
    if (reply && reply->counted) ++initParamRecvCnt;

    if (initParamRecvCnt >= expectedParamCnt) {
        SendCommand("GPAR");
        StepNo = 8;
        lastParamReplyTime = Clock().Now();
        curParamRecvCnt = 0;
        ++initParamReadCnt;
        lastReadVersion = Edit1->text();
        lastReadKind = EditKIND->text();
    }
    ProgressBar1->setValue(params::InitialReadBackProgress(initParamRecvCnt, expectedParamCnt));
    LabelParamCnt->setText(QStringLiteral("ParameterCount=%1").arg(initParamRecvCnt));
}

void TForm1::ReadCurrentParameters() {
    const params::TIdentity id = Identity();
    expectedParamCnt = params::expectedParamCnt(id.extendedFirmware, id.version);

    if (!Received) {
        const QDateTime now = Clock().Now();
        // A clock set back must not hold the read-back open until it catches up again.
        if (now < lastParamReplyTime) lastParamReplyTime = now;
        if (now >= lastParamReplyTime.addSecs(1)) FinishReadBack();
        ApplyCapabilityRules();
        return;
    }

    Received = false;
    lastParamReplyTime = Clock().Now();
    const std::optional<params::TCurrentReply> reply =
        params::ReadCurrentReply(ReplyText, id, curParams);
    if (reply) {
        using params::TShowOp;
        switch (reply->show) {
        case TShowOp::None:
            break;
        case TShowOp::RxLevel:
            ShowRxLevel(reply->intArg);
            break;
        case TShowOp::RxOutLevel:
            ShowRxOutLevel(reply->intArg);
            break;
        case TShowOp::PhoneOutVol:
            ShowPhoneOutVol(reply->realArg);
            break;
        case TShowOp::HandsFree:
            ShowHandsFree(curParams.VOXSw, curParams.CsgVoxNzccTh);
            break;
        case TShowOp::TxSquelch:
            ShowTxSquelch(reply->intArg);
            break;
        case TShowOp::Channel:
            ShowChannel();
            break;
        case TShowOp::RecordSw:
            ShowRecordSw(reply->intArg);
            break;
        case TShowOp::DiveComInterface:
            ShowDiveComInterface(reply->intArg);
            break;
        case TShowOp::VoiceGuideLevel:
            ShowVoiceGuideLevel(reply->intArg);
            break;
        case TShowOp::DivingTimeSignal:
            ShowDivingTimeSignal(reply->intArg);
            break;
        case TShowOp::InitParams:
            ShowParamSet(initParams);
            curParamRecvCnt = expectedParamCnt;
            break;
        }
        if (reply->counted) ++curParamRecvCnt;
    }
    ProgressBar1->setValue(params::CurrentReadBackProgress(curParamRecvCnt, expectedParamCnt));
    repaint();
}

void TForm1::FinishReadBack() {
    for (TRadioGroup* choice : {RadioGroup1, RadioGroup3, RadioGroup4, RGChannel, RadioGroup5,
                                RgDiveComInterface, RadioGroupVoiceGuideLevel})
        choice->setEnabled(choice->ItemIndex() >= 0);
    GroupBoxDivingTimeSignal->setEnabled(true);
    CheckBoxDivingTimeSignalEnable->setEnabled(true);
    StepNo = 1;
    for (QWidget* w : std::initializer_list<QWidget*>{
             Edit5, Edit7, Edit8, EdtChannel, Edit9, EdtDiveComInterface, SpeedButton2,
             SpeedButton3, EditVoiceGuideLevel, EditDivingTimeSignal})
        w->setEnabled(true);
}
