#pragma once
// TForm1: the one window of the tool. It owns every control, the HID controller, the
// sequencer's timer and all conversation state. Its handlers are defined in the folder
// of their concern; this header is the map, grouped in the order of the folders.
#include "app/Seams.h"
#include "app/Widgets.h"
#include "hid/HidAccess.h"
#include "params/Capabilities.h"
#include "params/ParamKeys.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QIODevice>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

namespace app {
inline constexpr const char* kApplicationTitle = "Sonavelle Cutomize Tool";
inline constexpr const char* kDesignCaption = "Sonavelle customize tool";
inline constexpr const char* kVersionCaption = "Sonavelle customize tool ver.1.8.0";
} // namespace app

// USB vendor identifier of the transceiver's maker (packaging/70-sonavelle.rules names it too).
inline constexpr uint16_t TransceiverVendorID = 0x3A5C;

// Seconds from 2001-01-01 00:00:00 to a local date and time, as the unit's clock counts.
int64_t ClockValueAt(const QDateTime& local);

// Texts from the device side into the window: bytes one character each (commands, replies,
// file names), or the UTF-8 of the program's own tables.
inline QString BytesText(std::string_view bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
inline QString Utf8Text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// Log directions.
enum : int { kLogReceived = 0, kLogSent = 1, kLogNote = 2 };

// What the window is built with; tests pass their own clock, dialogs and controller.
struct TFormServices {
    std::unique_ptr<hid::TCustomHidController> Controller;
    std::unique_ptr<TClock> Clock;
    std::unique_ptr<TDialogs> Dialogs; // null: message boxes parented to the window
};

class TForm1 : public QMainWindow {
    Q_OBJECT
  public:
    explicit TForm1(TFormServices services);
    ~TForm1() override;

    // ---- app: layout, menus, log --------------------------------------------------
    QWidget* Client = nullptr; // the fixed 470 x 636 client area
    QLabel* Label1 = nullptr;
    TEdit* Edit1 = nullptr;
    QLabel* Label2 = nullptr;
    TEdit* Edit2 = nullptr;
    QLabel* Label8 = nullptr;
    TEdit* EditKIND = nullptr;
    QLabel* Label13 = nullptr;
    TEdit* EditLanguage = nullptr;
    QLabel* Label5 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QWidget* Panel1 = nullptr;
    TRadioGroup* RadioGroup1 = nullptr;
    TEdit* Edit5 = nullptr;
    TRadioGroup* RadioGroup3 = nullptr;
    TEdit* Edit7 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QWidget* Panel2 = nullptr;
    TRadioGroup* RadioGroup4 = nullptr;
    TEdit* Edit8 = nullptr;
    QLabel* Label3 = nullptr;
    TRadioGroup* RGChannel = nullptr;
    TEdit* EdtChannel = nullptr;
    TRadioGroup* RadioGroup5 = nullptr;
    TEdit* Edit9 = nullptr;
    TRadioGroup* RgDiveComInterface = nullptr;
    TEdit* EdtDiveComInterface = nullptr;
    TRadioGroup* RadioGroupVoiceGuideLevel = nullptr;
    TEdit* EditVoiceGuideLevel = nullptr;
    QGroupBox* GroupBoxDivingTimeSignal = nullptr;
    QCheckBox* CheckBoxDivingTimeSignalEnable = nullptr;
    QLabel* Label11 = nullptr;
    QComboBox* ComboBoxDivingTimeSignal1 = nullptr;
    QLabel* Label12 = nullptr;
    QComboBox* ComboBoxDivingTimeSignal2 = nullptr;
    TEdit* EditDivingTimeSignal = nullptr;
    QLabel* Label4 = nullptr;
    TSpeedButton* SpeedButton2 = nullptr;
    TSpeedButton* SpeedButton3 = nullptr;
    QPushButton* ButtonReconnect = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* LabelParamCnt = nullptr;
    TSpeedButton* SpeedButton1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QMenu* File1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* Info1 = nullptr;
    QAction* Version1 = nullptr;
    TTimer* Timer1 = nullptr;

    void FormCreate();
    void FormDestroy();
    void WriteLog(const QString& text, int direction);
    void WriteLog(const std::string& bytes, int direction); // one byte, one character
    void AddLog(const QString& text);
    void AddLog(const std::string& bytes);
    void Exit1Click();
    void SpeedButton1Click();
    void Version1Click();
    const QStringList& LogLines() const { return log_; }
    void ClearLog();
    // Appends the lines logged so far, then every new one, to an open device (a support
    // file; the window itself keeps its log in memory only).
    void SetLogFile(std::unique_ptr<QIODevice> file);

    TClock& Clock() const { return *clock_; }
    TDialogs& Dialogs() const { return *dialogs_; }

    // Runs a handler at the edge of the event loop: an error raised inside it is shown by
    // the general error box and the program goes on.
    template <typename F> void Guarded(F&& handler);

    // ---- link: discovery, command channel, sequencer, identification, upload ------
    std::unique_ptr<hid::TCustomHidController> HidCtrl1;
    hid::TCustomHidDevice* HidDev = nullptr; // the checked-out transceiver
    bool Running = false;
    bool FirstCheck = true;
    int32_t StepNo = 0;
    bool Received = false;
    std::string ReplyText;
    std::string ReplyHex;
    // Replies that came while the last one had not been looked at by a step yet, oldest
    // first: a unit that answers faster than the tick loses none of them. A reply a step
    // has seen and left standing is replaced by the next one, as before.
    std::deque<std::string> PendingReplies;
    bool ReplySeen = false;
    static constexpr size_t kMaxPendingReplies = 1024;
    uint8_t OutputReport[2049] = {};
    int32_t uploadState = 0;    // 1 while an upload is under way
    int32_t uploadPacketNo = 0; // number expected of the next data packet
    int32_t uploadEndSeen = 0;  // 1 after the first end packet
    std::string uploadData;     // the file bytes received so far

    // discovery and connection
    void HidCtrl1DeviceChange(void* Sender);
    bool HidCtlEnumerate(hid::TCustomHidDevice* Dev, int32_t Idx);
    void HidOpen();
    void ResetDisplay();
    void ButtonReconnectClick();
    void EnableMenus(bool enabled);
    void ResetReadBackState();
    // command channel
    void SendCommand(const std::string& text);
    void TakeNextReply(); // a waiting reply takes the place of one already dealt with
    // A reply of the step's own, answered without the device: the next step takes it on the
    // next tick, before anything the unit sent meanwhile.
    void AnswerLocally(const std::string& reply);
    bool LocalReply = false;
    void HidCtrl1DeviceData(hid::TCustomHidDevice* Dev, uint8_t ReportID, const uint8_t* Data,
                            uint16_t Size);
    // sequencer
    void Timer1Timer();
    void StepDispatch();
    void CloseDevice();
    void UpdateMenus();
    // identification
    bool ExtendedFirmware = false; // six-digit firmware "201020" to "201999": knows "KIND"
    bool PhoneVolume = false;      // and at least "201033": knows "LANGUAGE", PhoneOutVol
    int64_t ClockValue = 0;
    void SendClock();
    void OnClockReply();
    void OnVersionReply();
    void OnModelReply();
    void OnLanguageReply();
    void ShowSettingsPanel(bool visible);
    // serial number and information file
    void OnUploadPacket();
    void OnSerialReply();
    void SendUploadResult(uint32_t code, uint32_t status);

    // ---- params: parameter set, capability rules, settings display ----------------
    int32_t initParamReadCnt = 0;
    int32_t initParamRecvCnt = 0;
    QString lastReadVersion; // Edit1 and EditKIND at the end of the last initial read-back
    QString lastReadKind;
    QDateTime lastParamReplyTime;
    int32_t curParamRecvCnt = 0;
    params::TParamSet initParams; // the unit's default set; survives disconnection
    params::TCurParams curParams; // values of the current read-back shown in pairs
    int32_t expectedParamCnt = 0;
    // Edit1, EditKIND and the identification flags, as the rules of the params folder take them.
    params::TIdentity Identity() const;
    void StartParameterReadBack(); // "GETTMPPARAM", or "GPAR" for a unit read before
    void ReadInitialParameters();
    void ReadCurrentParameters();
    void FinishReadBack();
    void Edit1Change();
    void EditKINDChange();
    void ApplyCapabilityRules();
    void CheckBoxDivingTimeSignalEnableClick();
    // Display operations: each sets the choice, the current-setting box's text and its tag
    // together, and leaves all of them as they are for a value outside its table.
    void ShowRxLevel(int32_t value);
    void ShowRxOutLevel(int32_t value);
    void ShowPhoneOutVol(double value);
    void ShowHandsFree(int32_t vox, double threshold);
    void ShowTxSquelch(int32_t value);
    void ShowChannel(); // from curParams.Channel and curParams.BaseFreq
    void ShowRecordSw(int32_t value);
    void ShowDiveComInterface(int32_t index);
    void ShowVoiceGuideLevel(int32_t index);
    void ShowDivingTimeSignal(int32_t value);
    void ShowVolume(const params::TParamSet& set); // RxLevel, PhoneOutVol or RxOutLevel
    void ShowParamSet(const params::TParamSet& set);

    // ---- settings: Apply and Default ----------------------------------------------
    int32_t applyProgressCnt = 0;
    // The panel's air-check and dive-computer choices as Apply writes and compares them.
    std::string GetDiveConWarningValue() const;
    std::string GetTxModeValue() const;
    int32_t GetVoiceGuideValue() const;
    int32_t GetDivingTimeSignalValue() const;
    int GetDivingTimeSignalCode() const;
    void SpeedButton2Click();
    void SpeedButton3Click();
    // Write steps: take the reply (true when it begins with "OK"), then send the step's
    // command, or answer "OK" locally when the unit has no such parameter.
    bool TakeWriteReply();
    void SendWriteStep(const std::string& command, int32_t next, bool counts);
    void AnswerWriteStep(const std::string& reply, int32_t next, bool counts);
    void CountApplyProgress();
    void OnClearReply(); // step 9
    void OnSaveReply();  // step 17
    void ApplyStep10();
    void ApplyStep11();
    void ApplyStep12();
    void ApplyStep19();
    void ApplyStep13();
    void ApplyStep14();
    void ApplyStep15();
    void ApplyStep16();
    void ApplyStep21();
    void ApplyStep22();
    void ApplyStep23();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void CreateControls();
    void ShowLogInMemo();
    void CreateMenus();

    // The log itself. Memo1 lies outside the client area, so its text is brought up to
    // date only when it is actually drawn: laying out a long hex line costs more than a tick.
    QStringList log_;
    qsizetype memoLines_ = 0;
    std::unique_ptr<QIODevice> logFile_;
    std::unique_ptr<TClock> clock_;
    std::unique_ptr<TDialogs> dialogs_;
    bool centred_ = false;
};

template <typename F> void TForm1::Guarded(F&& handler) {
    try {
        handler();
    } catch (...) {
        ShowErrorBoxFor(*dialogs_, std::current_exception());
    }
}
