// Steps 5 and 6: the information-file upload and the serial number.
#include "app/Main.h"
#include "link/Upload.h"
#include "params/ParamKeys.h"

void TForm1::SendUploadResult(uint32_t code, uint32_t status) {
    SendCommand(channel::UploadResult(code, status));
}

void TForm1::OnUploadPacket() {
    using channel::TUploadTag;
    if (!Received) return;
    Received = false;
    const channel::TUploadPacket packet = channel::ParseUploadPacket(ReplyText);

    if (packet.Short) {
        // A packet cut short (a marker byte sequence in it makes the channel end it early,
        // or the unit sent less): refuse it and let the unit send it again.
        AddLog(QStringLiteral("Error : Short upload packet (%1); refused.")
                   .arg(QString::fromStdString(packet.Problem)));
        switch (packet.Tag) {
        case TUploadTag::Start: SendUploadResult(channel::kResultStart, 1); break;
        case TUploadTag::Data: SendUploadResult(channel::kResultData, 1); break;
        case TUploadTag::End: SendUploadResult(channel::kResultEnd, 1); break;
        default: break;
        }
        return;
    }

    switch (packet.Tag) {
    case TUploadTag::Start:
        uploadState = 1;
        uploadPacketNo = 0;
        uploadEndSeen = 0;
        uploadData.clear();
        WriteLog(QStringLiteral("Upload : Started. fileName:") + BytesText(packet.Text), kLogReceived);
        SendUploadResult(channel::kResultStart, 0);
        break;
    case TUploadTag::Data: {
        uint32_t status = 0;
        if (uploadState != 1) {
            WriteLog(QStringLiteral("Error : Invalid status."), kLogReceived);
            uploadPacketNo = 0;
            status = 1;
        }
        if (packet.Number != uploadPacketNo) {
            WriteLog(QStringLiteral("Error : Invalid packet number."), kLogReceived);
            uploadState = 0;
            status = 1;
        }
        if (status == 0 && uploadData.size() + packet.Payload.size() > channel::kMaxUploadBytes) {
            AddLog(QStringLiteral("Error : Upload exceeds %1 bytes; refused.").arg(channel::kMaxUploadBytes));
            status = 1;
        }
        SendUploadResult(channel::kResultData, status);
        if (status == 0) {
            uploadData += packet.Payload;
            ++uploadPacketNo;
        }
        break;
    }
    case TUploadTag::End: {
        if (uploadEndSeen == 1) {
            AddLog(QString::fromUtf8("受信データ無視"));
            break;
        }
        uploadEndSeen = 1;
        uint32_t status = 0;
        if (uploadState != 1) {
            WriteLog(QStringLiteral("Error : Failed to upload file."), kLogReceived);
            uploadPacketNo = 0;
            status = 1;
        }
        if (status == 0 && uploadData.size() + packet.Payload.size() > channel::kMaxUploadBytes) {
            AddLog(QStringLiteral("Error : Upload exceeds %1 bytes; refused.").arg(channel::kMaxUploadBytes));
            status = 1;
        }
        if (status == 0) uploadData += packet.Payload;
        AddLog(QString::fromUtf8("ファイルデータ取得"));
        SendUploadResult(channel::kResultEnd, status);
        break;
    }
    case TUploadTag::Info: {
        const QString stamp = BytesText(packet.Text);
        if (packet.Number >= 0 && static_cast<size_t>(packet.Number) == uploadData.size()) {
            AddLog(QStringLiteral("Verify : OK. fileSize:%1 timeStamp:%2").arg(packet.Number).arg(stamp));
            WriteLog(QStringLiteral("Upload : Done"), kLogReceived);
            Edit2->setText(BytesText(channel::SerialFromFile(uploadData)));
        } else {
            AddLog(QStringLiteral("Error : Verify NG. fileSize:%1 timeStamp:%2").arg(packet.Number).arg(stamp));
        }
        StepNo = 99;
        break;
    }
    case TUploadTag::Other:
        break;
    }
}

void TForm1::OnSerialReply() {
    if (!Received) return;
    Received = false;
    if (ReplyText.rfind("OK", 0) == 0) {
        Edit2->setText(BytesText(channel::SerialFromReply(ReplyText)));
    } else if (ReplyText.rfind("NG", 0) == 0) {
        Edit2->setText(QStringLiteral("Not found"));
    }
    StepNo = 99;
    if (!Label3->isHidden()) return;
    StartParameterReadBack();
}

void TForm1::StartParameterReadBack() {
    // The same unit identified again while it stayed attached (Reconnect) keeps the
    // default set of its earlier read-back.
    if (params::SkipInitialReadBack(initParamReadCnt, Edit1->text().toStdString(),
                                    EditKIND->text().toStdString(), lastReadVersion.toStdString(),
                                    lastReadKind.toStdString())) {
        SendCommand("GPAR");
        StepNo = 8;
        lastParamReplyTime = Clock().Now();
        curParamRecvCnt = 0;
    } else {
        SendCommand("GETTMPPARAM");
        StepNo = 7;
    }
}
