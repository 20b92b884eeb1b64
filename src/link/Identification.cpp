// Steps 2, 3, 4, 18 and 24: clock, firmware version, model and language.
#include "app/Main.h"
#include "link/Upload.h"
#include "params/Capabilities.h"

#include <QApplication>

namespace {

bool HasOK(const std::string& reply) { return reply.find("OK") != std::string::npos; }


} // namespace

int64_t ClockValueAt(const QDateTime& local) {
    // Wall-clock difference of the two local times, as the unit counts it.
    const QDateTime epoch(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    const QDateTime wall(local.date(), local.time(), Qt::UTC);
    const int64_t ms = epoch.msecsTo(wall);
    return (ms < 0 ? -ms : ms) / 1000;
}

void TForm1::SendClock() {
    ClockValue = ClockValueAt(Clock().Now());
    SendCommand("RTC SET " + std::to_string(ClockValue));
    StepNo = 3;
    ProgressBar1->setValue(5);
}

void TForm1::OnClockReply() {
    if (!Received) return;
    Received = false;
    if (!HasOK(ReplyText)) return;
    Edit1->clear();
    Edit2->clear();
    repaint();
    SendCommand("VER");
    StepNo = 4;
    ProgressBar1->setValue(10);
}

void TForm1::OnVersionReply() {
    if (!Received) return;
    Received = false;
    ExtendedFirmware = false;
    PhoneVolume = false;
    EditKIND->clear();
    Edit8->hide();
    if (!HasOK(ReplyText)) {
        StepNo = 99;
        return;
    }
    const std::string version = channel::RemoveOK(ReplyText);
    AddLog(QString::fromUtf8("バージョン") + BytesText(version));
    Edit1->setText(BytesText(version));
    Label3->setText(QStringLiteral("The Sonavelle firmware you have is not supported in this tool.\r\n"
                                   "Please update to the latest version."));

    const auto decide = [&](const char* command, int32_t next, bool panel) {
        AddLog(QString::fromUtf8(version.size() == 3 ? "FWタイプ1" : "FWタイプ2"));
        SendCommand(command);
        StepNo = next;
        ShowSettingsPanel(panel);
    };
    if (version.size() == 3) {
        decide("UPLS DWINFO.INI", 5, false);
    } else if (version.size() == 6) {
        if (!params::IsSupportedFirmware(version)) {
            decide("GSER", 6, false);
        } else if (!params::IsExtendedFirmware(version)) {
            decide("GSER", 6, true);
        } else {
            ExtendedFirmware = true;
            PhoneVolume = params::IsPhoneVolumeFirmware(version);
            decide("KIND", 18, true);
        }
    }
    ProgressBar1->setValue(15);
    repaint();
}

void TForm1::OnModelReply() {
    if (!Received) return;
    Received = false;
    if (!HasOK(ReplyText)) {
        StepNo = 99;
        return;
    }
    const std::string model = channel::RemoveOK(ReplyText);
    AddLog(QString::fromUtf8("モデル名 ") + BytesText(model));
    EditKIND->setText(BytesText(model));
    Label8->show();
    if (PhoneVolume) {
        SendCommand("LANGUAGE");
        StepNo = 24;
    } else {
        SendCommand("GSER");
        StepNo = 6;
    }
    repaint();
}

void TForm1::OnLanguageReply() {
    if (!Received) return;
    Received = false;
    if (!HasOK(ReplyText)) {
        StepNo = 99;
        return;
    }
    const std::string language = channel::RemoveOK(ReplyText);
    AddLog(QStringLiteral("LAGUAGE ") + BytesText(language));
    EditLanguage->setText(BytesText(language));
    Label13->show();
    SendCommand("GSER");
    StepNo = 6;
    repaint();
}

void TForm1::ShowSettingsPanel(bool visible) {
    Label3->setVisible(!visible);
    QWidget* const panel[] = {GroupBox1,   RadioGroup3, GroupBox2,          RadioGroup4,
                              RGChannel,   EdtChannel,  RadioGroup5,        Edit9,
                              Label5,      Edit5,       Edit7,              Edit8,
                              RgDiveComInterface, EdtDiveComInterface, SpeedButton2, SpeedButton3};
    for (auto* w : panel) w->setVisible(visible);
    QApplication::processEvents();
}
