// Steps 2 to 6, 18 and 24: clock, firmware version, model, language, the information-file
// upload and the serial number.
#include "link/Conversation.h"
#include "link/Text.h"
#include "link/Upload.h"
#include "params/Features.h"

namespace core {

namespace {

bool HasOK(const std::string& reply) {
    return reply.find("OK") != std::string::npos;
}

} // namespace

void TConversation::SetVersionText(std::string bytes) {
    rulesKnown_ = false;
    if (bytes == identity_.version) return;
    identity_.version = std::move(bytes);
    if (!identity_.version.empty()) versionEverKnown_ = true;
    // Another firmware offers other hands-free items.
    Rebuild(TSetting::HandsFree, params::HandsFreeChoices(identity_.version).list.items.size());
    Touch(TShown::Identity);
    Touch(TShown::Settings);
}

void TConversation::SetModelText(std::string bytes) {
    rulesKnown_ = false;
    if (bytes == identity_.model) return;
    identity_.model = std::move(bytes);
    if (!identity_.model.empty()) modelEverKnown_ = true;
    // Another model offers other channels and dive-computer items.
    Rebuild(TSetting::Channel, params::ChannelChoices(identity_.model).items.size());
    Rebuild(TSetting::DiveComputer, params::DiveComInterfaceChoices(identity_.model).items.size());
    Touch(TShown::Identity);
    Touch(TShown::Settings);
}

void TConversation::SetLanguage(std::string bytes) {
    language_ = std::move(bytes);
    Touch(TShown::Identity);
}

void TConversation::SetSerial(std::optional<std::string> bytes) {
    serial_ = std::move(bytes);
    serialRefused_ = false;
    Touch(TShown::Identity);
}

void TConversation::SendClock() {
    clockValue_ = ClockValueAt(ports_.Clock->Now().wallMs);
    SendCommand("RTC SET " + std::to_string(clockValue_));
    phase_ = TPhase::SettingClock;
    SetPosition(5);
}

void TConversation::OnClockReply() {
    if (!replies_.Received()) return;
    replies_.Consume();
    if (!HasOK(replies_.Text())) return;
    SetVersionText({});
    SetSerial(std::nullopt);
    Refresh();
    SendCommand("VER");
    phase_ = TPhase::ReadingVersion;
    SetPosition(10);
}

void TConversation::OnVersionReply() {
    if (!replies_.Received()) return;
    replies_.Consume();
    identity_.extendedFirmware = false;
    identity_.phoneVolume = false;
    SetModelText({});
    Tell(&TUnitWatcher::VersionAnswered);
    if (!HasOK(replies_.Text())) {
        phase_ = TPhase::Closing;
        return;
    }
    const std::string version = channel::RemoveOK(replies_.Text());
    Log("バージョン" + Latin1ToUtf8(version));
    SetVersionText(version);
    versionHeard_ = true;
    Touch(TShown::Identity);

    const auto decide = [&](const char* command, TPhase next, bool panel) {
        Log(version.size() == 3 ? "FWタイプ1" : "FWタイプ2");
        SendCommand(command);
        phase_ = next;
        ShowSettingsPanel(panel);
    };
    if (version.size() == 3) {
        decide("UPLS DWINFO.INI", TPhase::UploadingInformationFile, false);
    } else if (version.size() == 6) {
        if (!params::IsSupportedFirmware(version)) {
            decide("GSER", TPhase::ReadingSerial, false);
        } else if (!params::IsExtendedFirmware(version)) {
            decide("GSER", TPhase::ReadingSerial, true);
        } else {
            identity_.extendedFirmware = true;
            identity_.phoneVolume = params::IsPhoneVolumeFirmware(version);
            decide("KIND", TPhase::ReadingModel, true);
        }
    }
    SetPosition(15);
    Refresh();
}

void TConversation::OnModelReply() {
    if (!replies_.Received()) return;
    replies_.Consume();
    if (!HasOK(replies_.Text())) {
        phase_ = TPhase::Closing;
        return;
    }
    const std::string model = channel::RemoveOK(replies_.Text());
    Log("モデル名 " + Latin1ToUtf8(model));
    SetModelText(model);
    Tell(&TUnitWatcher::ModelAnswered);
    if (params::AsksLanguage(identity_)) {
        SendCommand("LANGUAGE");
        phase_ = TPhase::ReadingLanguage;
    } else {
        SendCommand("GSER");
        phase_ = TPhase::ReadingSerial;
    }
    Refresh();
}

void TConversation::OnLanguageReply() {
    if (!replies_.Received()) return;
    replies_.Consume();
    if (!HasOK(replies_.Text())) {
        phase_ = TPhase::Closing;
        return;
    }
    std::string language = channel::RemoveOK(replies_.Text());
    Log("LAGUAGE " + Latin1ToUtf8(language));
    SetLanguage(std::move(language));
    Tell(&TUnitWatcher::LanguageAnswered);
    SendCommand("GSER");
    phase_ = TPhase::ReadingSerial;
    Refresh();
}

void TConversation::ShowSettingsPanel(bool visible) {
    supported_ = visible;
    Tell(&TUnitWatcher::SettingsShownChanged);
    Refresh(true);
}

// ---- the information file and the serial number -------------------------------------------

void TConversation::SendUploadResult(std::uint32_t code, std::uint32_t status) {
    SendCommand(channel::UploadResult(code, status));
}

void TConversation::OnUploadPacket() {
    using channel::TUploadTag;
    if (!replies_.Received()) return;
    replies_.Consume();
    const channel::TUploadPacket packet = channel::ParseUploadPacket(replies_.Text());

    if (packet.Short) {
        // A packet cut short (a marker byte sequence in it makes the channel end it early,
        // or the unit sent less): refuse it and let the unit send it again.
        Log("Error : Short upload packet (" + packet.Problem + "); refused.");
        switch (packet.Tag) {
        case TUploadTag::Start:
            SendUploadResult(channel::kResultStart, 1);
            break;
        case TUploadTag::Data:
            SendUploadResult(channel::kResultData, 1);
            break;
        case TUploadTag::End:
            SendUploadResult(channel::kResultEnd, 1);
            break;
        default:
            break;
        }
        return;
    }

    const std::string tooLong =
        "Error : Upload exceeds " + std::to_string(channel::kMaxUploadBytes) + " bytes; refused.";
    switch (packet.Tag) {
    case TUploadTag::Start:
        upload_.running = true;
        upload_.packetNo = 0;
        upload_.endSeen = false;
        upload_.data.clear();
        Log("Upload : Started. fileName:" + Latin1ToUtf8(packet.Text), kLogReceived);
        SendUploadResult(channel::kResultStart, 0);
        break;
    case TUploadTag::Data: {
        std::uint32_t status = 0;
        if (!upload_.running) {
            Log("Error : Invalid status.", kLogReceived);
            upload_.packetNo = 0;
            status = 1;
        }
        if (packet.Number != upload_.packetNo) {
            Log("Error : Invalid packet number.", kLogReceived);
            upload_.running = false;
            status = 1;
        }
        if (status == 0 && upload_.data.size() + packet.Payload.size() > channel::kMaxUploadBytes) {
            Log(tooLong);
            status = 1;
        }
        SendUploadResult(channel::kResultData, status);
        if (status == 0) {
            upload_.data += packet.Payload;
            ++upload_.packetNo;
        }
        break;
    }
    case TUploadTag::End: {
        if (upload_.endSeen) {
            Log("受信データ無視");
            break;
        }
        upload_.endSeen = true;
        std::uint32_t status = 0;
        if (!upload_.running) {
            Log("Error : Failed to upload file.", kLogReceived);
            upload_.packetNo = 0;
            status = 1;
        }
        if (status == 0 && upload_.data.size() + packet.Payload.size() > channel::kMaxUploadBytes) {
            Log(tooLong);
            status = 1;
        }
        if (status == 0) upload_.data += packet.Payload;
        Log("ファイルデータ取得");
        SendUploadResult(channel::kResultEnd, status);
        break;
    }
    case TUploadTag::Info: {
        const std::string stamp = Latin1ToUtf8(packet.Text);
        const std::string size = std::to_string(packet.Number);
        if (packet.Number >= 0 && static_cast<std::size_t>(packet.Number) == upload_.data.size()) {
            Log("Verify : OK. fileSize:" + size + " timeStamp:" + stamp);
            Log("Upload : Done", kLogReceived);
            SetSerial(channel::SerialFromFile(upload_.data));
        } else {
            Log("Error : Verify NG. fileSize:" + size + " timeStamp:" + stamp);
        }
        phase_ = TPhase::Closing;
        break;
    }
    case TUploadTag::Other:
        break;
    }
}

void TConversation::OnSerialReply() {
    if (!replies_.Received()) return;
    replies_.Consume();
    const std::string& reply = replies_.Text();
    if (reply.rfind("OK", 0) == 0) {
        SetSerial(channel::SerialFromReply(reply));
    } else if (reply.rfind("NG", 0) == 0) {
        serial_.reset();
        serialRefused_ = true;
        Touch(TShown::Identity);
    }
    phase_ = TPhase::Closing;
    if (!supported_) return;
    StartParameterReadBack();
}

} // namespace core
