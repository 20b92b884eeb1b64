// Finding the transceiver among the HID devices, connecting and disconnecting.
#include "app/Main.h"

#include <QCheckBox>
#include <QComboBox>
#include <QProgressBar>

#include <iterator>

namespace {

// Identifiers tried in this order; the first device checked out wins.
struct TTransceiverId {
    int32_t VendorID;
    int32_t ProductID;
    const char* LogLine;
};

constexpr TTransceiverId kTransceiverIds[] = {
    {TransceiverVendorID, 0x7802, "HID_Open:CheckOut QD device2."},
    {TransceiverVendorID, 0x7800, "HID_Open:CheckOut QD device1."},
    {0x2342, 0x0043, "HID_Open:CheckOut keil device."},
};

QString Text(const std::string& s) { return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size())); }

} // namespace

void TForm1::HidCtrl1DeviceChange(void*) {
    Guarded([this] {
        ResetDisplay();
        AddLog(QStringLiteral("device change."));
        if (HidDev && !HidDev->PluggedIn()) {
            HidCtrl1->CheckIn(HidDev);
            Timer1->SetEnabled(false);
            AddLog(QStringLiteral("Disconnect device."));
            SpeedButton2->setEnabled(false);
            SpeedButton3->setEnabled(false);
            EnableMenus(true);
            initParamReadCnt = 0;
            AddLog(QStringLiteral("Clear initParamReadCnt."));
            return;
        }

        HidCtrl1->Enumerate();
        HidOpen();
        if (Running) {
            AddLog(QStringLiteral("HidCtrl1DeviceChange:Runung=True."));
            if (FirstCheck) {
                // Attached before the tool started: the user must plug it in afresh.
                AddLog(QStringLiteral("Sonavelle exist."));
                Dialogs().ShowErrorMessage(QString::fromUtf8(app::kDesignCaption),
                                           QStringLiteral("Remove Sonavelle."));
                AddLog(QStringLiteral("Remove Sonavelle."));
                close();
            }
            // The device may have gone while the message box was up.
            const std::u16string product = HidDev ? HidDev->QueryProductText() : std::u16string();
            AddLog(QStringLiteral("Connect device : ") + QString::fromStdU16String(product));
            ResetReadBackState();
            StepNo = 2;
        } else {
            AddLog(QStringLiteral("HidCtrl1DeviceChange:Runung=False."));
            FirstCheck = false;
            if (StepNo == 99) StepNo = 1;
            EnableMenus(true);
        }
        Timer1->SetEnabled(Running);
    });
}

bool TForm1::HidCtlEnumerate(hid::TCustomHidDevice* Dev, int32_t) {
    Guarded([&] {
        const auto& a = Dev->Attributes();
        const auto& p = Dev->PnPInfo();
        const auto hex4 = [](uint16_t v) { return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper(); };
        AddLog(QStringLiteral("HidCtlEnumerate: VenderID=%1 DeviceID=%2 DevicePath=%3")
                   .arg(hex4(a.VendorID), hex4(a.ProductID), Text(p.DevicePath)));
        const auto num = [this](const char* name, uint32_t v) {
            AddLog(QStringLiteral("  PnPInfo.%1=%2").arg(QLatin1String(name)).arg(static_cast<int32_t>(v)));
        };
        const auto str = [this](const char* name, const std::string& v) {
            AddLog(QStringLiteral("  PnPInfo.%1=%2").arg(QLatin1String(name), Text(v)));
        };
        num("DeviceID", p.DeviceID);
        str("DevicePath", p.DevicePath);
        num("Capabilities", p.Capabilities);
        str("ClassDescr", p.ClassDescr);
        str("ClassGUID", p.ClassGUID);
        num("ConfigFlags", p.ConfigFlags);
        str("DeviceDescr", p.DeviceDescr);
        str("Driver", p.Driver);
        str("FriendlyName", p.FriendlyName);
        str("Mfg", p.Mfg);
        str("Address", p.Address);
        num("BusNumber", p.BusNumber);
        str("BusType", p.BusType);
        str("Characteristics", p.Characteristics);
        num("DevType", p.DevType);
        str("EnumeratorName", p.EnumeratorName);
        num("Exclusive", p.Exclusive);
        num("LegacyBusType", p.LegacyBusType);
        str("LocationInfo", p.LocationInfo);
        str("PhysDevObjName", p.PhysDevObjName);
        str("SecuritySDS", p.SecuritySDS);
        str("Service", p.Service);
        num("UINumber", p.UINumber);
        str("UINumberFormat", p.UINumberFormat);
        const auto list = [this](const char* name, const hid::TStringList& items) {
            for (size_t i = 0; i < items.size(); ++i)
                AddLog(QStringLiteral("  PnPInfo.%1[%2]=%3")
                           .arg(QLatin1String(name))
                           .arg(i)
                           .arg(Text(items[i])));
        };
        list("CompatibleIDs", p.CompatibleIDs);
        list("HardwareID", p.HardwareID);
        list("LowerFilters", p.LowerFilters);
        list("UpperFilters", p.UpperFilters);
    });
    return true;
}

void TForm1::HidOpen() {
    Running = false;
    AddLog(QStringLiteral("HID_Open."));
    if (HidDev) HidCtrl1->CheckIn(HidDev);
    for (const auto& id : kTransceiverIds) {
        if (HidCtrl1->CheckOutByIdentifiers(HidDev, id.VendorID, id.ProductID)) {
            AddLog(QString::fromLatin1(id.LogLine));
            Running = true;
            return;
        }
    }
}

void TForm1::ResetDisplay() {
    ShowSettingsPanel(true);
    Edit1->clear();
    Edit2->clear();
    Label8->hide();
    EditKIND->clear();
    Label13->hide();
    EditLanguage->clear();
    const std::pair<TRadioGroup*, TEdit*> pairs[] = {
        {RadioGroup1, Edit5},
        {RadioGroup3, Edit7},
        {RadioGroup4, Edit8},
        {RGChannel, EdtChannel},
        {RadioGroup5, Edit9},
        {RgDiveComInterface, EdtDiveComInterface},
        {RadioGroupVoiceGuideLevel, EditVoiceGuideLevel},
    };
    for (auto [choice, box] : pairs) {
        choice->SetItemIndex(-1);
        choice->setEnabled(false);
        box->clear();
        box->Tag = -1;
    }
    CheckBoxDivingTimeSignalEnable->setChecked(false);
    CheckBoxDivingTimeSignalEnable->setEnabled(false);
    ComboBoxDivingTimeSignal1->setCurrentIndex(-1);
    ComboBoxDivingTimeSignal2->setCurrentIndex(-1);
    EditDivingTimeSignal->clear();
    ProgressBar1->setValue(0);
}

void TForm1::ButtonReconnectClick() {
    AddLog(QStringLiteral("Reconnect."));
    ProgressBar1->setValue(0);
    HidCtrl1DeviceChange(this);
}
