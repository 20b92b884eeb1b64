#pragma once
// TForm1: the one window of the tool, a view of the conversation (core::TConversation).
// It lays the controls out, mirrors the conversation's panel model onto them after every
// event, feeds the user's clicks and choices back, and keeps the log. Its handlers keep
// the names the tool has always had and forward to the conversation.
#include "app/Seams.h"
#include "app/Widgets.h"
#include "hid/HidAccess.h"
#include "link/Bench.h"
#include "link/Conversation.h"
#include "link/PanelPainter.h"
#include "store/Journal.h"

#include <QMainWindow>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QAction;
class QCheckBox;
class QIODevice;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace app {
inline constexpr const char* kApplicationTitle = "Sonavelle Cutomize Tool";
inline constexpr const char* kDesignCaption = "Sonavelle customize tool";
// "Sonavelle customize tool ver." and the project version.
QString VersionCaption();
} // namespace app

// USB vendor identifier of the transceiver's maker (packaging/70-sonavelle.rules names it too).
inline constexpr uint16_t TransceiverVendorID = core::TransceiverVendorID;

// Log directions.
using core::kLogNote;
using core::kLogReceived;
using core::kLogSent;

// What the window is built with; tests pass their own clock, dialogs and controller.
struct TFormServices {
    std::unique_ptr<hid::TCustomHidController> Controller;
    std::unique_ptr<core::TClock> Clock; // null: the system's
    std::unique_ptr<TDialogs> Dialogs;   // null: message boxes parented to the window
    // Backups before each run that writes and the service record after it; none: neither.
    // An empty tool is the program's file name and version.
    std::optional<store::TJournalOptions> Journal = std::nullopt;
};

class TForm1 : public QMainWindow {
    Q_OBJECT
  public:
    explicit TForm1(TFormServices services);
    ~TForm1() override;

    core::TConversation& Conversation() { return *conversation_; }
    const core::TConversation& Conversation() const { return *conversation_; }
    core::TPanelPainter& Painter() { return painter_; }
    core::TUnitBench& Bench() { return *bench_; }
    TTimer& Timer() const { return *Timer1; }
    core::TClock& Clock() const { return *clock_; }
    TDialogs& Dialogs() const { return *dialogs_; }

    // Brings every widget whose control changed in the conversation's panel up to date
    // (each handler does this when it returns).
    void Mirror();

    // ---- the log ------------------------------------------------------------------
    void WriteLog(const QString& text, int direction);
    void WriteLog(const std::string& bytes, int direction); // one byte, one character
    void AddLog(const QString& text);
    const QStringList& LogLines() const { return log_; }
    void ClearLog();
    // Appends the lines logged so far, then every new one, to an open device (a support
    // file; the window itself keeps its log in memory only).
    void SetLogFile(std::unique_ptr<QIODevice> file);

    // ---- handlers: each forwards to the conversation, then shows what changed ----------
    void FormCreate();
    void FormDestroy();
    void Timer1Timer();
    void HidCtrl1DeviceChange(void* Sender);
    bool HidCtlEnumerate(hid::TCustomHidDevice* Dev, int32_t Idx);
    void HidCtrl1DeviceData(hid::TCustomHidDevice* Dev, uint8_t ReportID, const uint8_t* Data,
                            uint16_t Size);
    void ButtonReconnectClick();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void CheckBoxDivingTimeSignalEnableClick();
    void Exit1Click();
    void Version1Click();
    // The log in a window of its own, to copy from or save (the pane lies outside the window).
    void ShowLog1Click();
    // The File menu's settings files, backups and service record (FileMenu.cpp).
    void SaveSettings1Click();
    void LoadSettings1Click();
    void Restore1Click();
    void ServiceRecord1Click();
    void SaveRecordCsv1Click();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // The conversation's ports onto this window.
    class TPorts;
    friend class TPorts;
    // Learns how each run that writes ends, and hands it on to the journal (if any).
    class TRunWatch;
    friend class TRunWatch;
    std::unique_ptr<core::TWriteJournal> WatchRuns();
    void RunEnded(core::TRunKind kind, core::TRunEnd end);
    // Tells the failure met since the last event, if any, once (Failures.cpp).
    void TellFailure();
    void SaveLog();
    void Refresh(bool processEvents);
    // text: UTF-8, or with latin1 the unit's bytes, one byte one character.
    void AppendLog(std::string_view text, bool latin1, int direction);

    void CreateControls();
    void CreateMenus();
    void ShowLogInMemo();
    void MirrorControl(params::TControl id, const core::TControlState& was,
                       const core::TControlState& now);
    template <typename W> W* Bind(W* widget, params::TControl id);
    template <typename F> void Forward(F&& event);

    // The File menu's items on the unit's settings: enabled while they are at hand (a unit
    // connected, its settings read back and shown, nothing running).
    bool SettingsAtHand() const;
    void UpdateFileItems();
    // The settings are still at hand and of the same unit (store::UnitFileName) after a
    // dialog, which lets the event loop run; else says that nothing was chosen.
    bool StillAtHand(const std::string& unit);
    // Chooses the requests this unit takes as clicks would; the others are listed in one
    // message. Nothing is written before Apply.
    void ChooseForUnit(const std::vector<store::TRequest>& requests);
    // What the next Apply or Default is recorded as.
    void NameRun(bool apply);
    std::string BackupFolder() const;
    std::string RecordPath() const;

    QWidget* Client = nullptr; // the fixed 470 x 636 client area
    QWidget* Panel1 = nullptr;
    QWidget* Panel2 = nullptr;
    QCheckBox* CheckBoxDivingTimeSignalEnable = nullptr;
    TSpeedButton* SpeedButton1 = nullptr;
    TSpeedButton* SpeedButton2 = nullptr;
    TSpeedButton* SpeedButton3 = nullptr;
    QPushButton* ButtonReconnect = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QMenu* File1 = nullptr;
    QAction* SaveSettings1 = nullptr;
    QAction* LoadSettings1 = nullptr;
    QAction* Restore1 = nullptr;
    QAction* ServiceRecord1 = nullptr;
    QAction* SaveRecordCsv1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* Info1 = nullptr;
    QAction* Version1 = nullptr;
    QAction* ShowLog1 = nullptr;
    TTimer* Timer1 = nullptr;

    std::unique_ptr<hid::TCustomHidController> HidCtrl1;
    std::unique_ptr<core::TClock> clock_;
    std::unique_ptr<TPorts> ports_;
    std::unique_ptr<TDialogs> dialogs_;
    std::unique_ptr<store::TJournal> journal_;
    std::unique_ptr<core::TWriteJournal> runWatch_;
    core::TPanelPainter painter_;
    std::unique_ptr<core::TUnitBench> bench_; // the window's one unit
    core::TConversation* conversation_ = nullptr;
    // A backup's settings were chosen, and they are still at hand: the Apply that follows is
    // recorded as a restore.
    bool restored_ = false;
    // A run passed its backup and has not ended yet.
    bool runOpen_ = false;
    // What went wrong, still to be told at the end of the event that met it.
    std::string pendingFailure_;
    // The unit checked out now has been told it cannot be written to; told again once it has
    // been plugged in afresh or Reconnect is pressed.
    bool unitFailureTold_ = false;

    // Each control's widget, the state last shown on it and the revision it was shown at.
    std::array<QObject*, params::kControlCount> widgets_{};
    std::array<core::TControlState, params::kControlCount> shown_{};
    std::array<std::uint32_t, params::kControlCount> shownRevision_ = Unshown();
    static std::array<std::uint32_t, params::kControlCount> Unshown() {
        std::array<std::uint32_t, params::kControlCount> all{};
        all.fill(UINT32_MAX); // no revision yet: the first mirror compares every control
        return all;
    }
    std::uint32_t shownPanelRevision_ = UINT32_MAX;
    bool mirroring_ = false;

    // The log itself. Memo1 lies outside the client area, so its text is brought up to
    // date only when it is actually drawn: laying out a long hex line costs more than a tick.
    QStringList log_;
    qsizetype memoLines_ = 0;
    std::unique_ptr<QIODevice> logFile_;
    std::string fileLine_; // the line written to logFile_ (its buffer is kept)
    bool centred_ = false;
};

template <typename F> void TForm1::Forward(F&& event) {
    event();
    Mirror();
    UpdateFileItems();
    TellFailure();
}
