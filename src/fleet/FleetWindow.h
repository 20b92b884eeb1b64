#pragma once
// sonavelle-fleet's window: the settings every unit is to get, a row for each unit served
// (port, serial number, model, firmware, state, progress, result), Start, Stop after the
// units in progress, Stop now, and the batch's summary. A row opens that unit's log.
// The window shows what the fleet (Fleet.h) holds; it keeps no state of its own.
#include "fleet/Fleet.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace fleet {

// Every box and chooser of the fleet window goes through here; nothing here blocks in a test.
class TFleetDialogs {
  public:
    virtual ~TFleetDialogs() = default;
    // A settings file to read; none: cancelled.
    virtual std::optional<std::string> ChooseSettingsFile() = 0;
    // True: the user answered Yes.
    virtual bool Confirm(std::string_view caption, std::string_view question) = 0;
    virtual void ShowError(std::string_view caption, std::string_view text) = 0;
};

// How the runs move: a 1 ms timer on the window's thread, or the caller's Step() calls.
enum class TPace { Timer, Manual };

class TFleetWindow final : public QWidget, TFleetFront {
    Q_OBJECT
  public:
    // dialogs: null for the platform's message boxes and file chooser.
    TFleetWindow(TBenchMaker makeBench, cli::TCommandOptions options,
                 std::unique_ptr<TFleetDialogs> dialogs, TPace pace, QWidget* parent = nullptr);
    ~TFleetWindow() override;

    TFleet& Fleet() { return fleet_; }
    // A step of the run under way (the timer's, or a test's).
    void Step();
    // Opens the log of the unit in the row (from 0), or brings it to the front.
    void OpenLog(int row);

    // The columns of the table.
    enum TColumn { Port, Serial, Model, Firmware, State, Progress, Result, Columns };

  protected:
    // With units in progress it asks first, and stops them at once.
    void closeEvent(QCloseEvent* event) override;

  private:
    // fleet front
    void UnitShown(const cli::TServedUnit& unit) override;
    void UnitLogged(const cli::TServedUnit& unit, const std::string& line) override;
    void Said(const std::string& line) override;
    void StageChanged() override;
    void TemplateRead(const cli::TServedUnit& unit) override;

    void ChooseSettingsFile();
    void ShowSettings();
    void ShowStatus();
    void ClearUnits();
    // A handler's errors end at its edge, said in the error box.
    template <typename F> void Guarded(F&& handler);

    TFleet fleet_;
    std::unique_ptr<TFleetDialogs> dialogs_;
    const TPace pace_;
    QTimer timer_;
    QLabel* source_ = nullptr;
    QPlainTextEdit* settings_ = nullptr;
    QPushButton* fromFile_ = nullptr;
    QPushButton* fromUnit_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stopTaking_ = nullptr;
    QPushButton* stopNow_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* summary_ = nullptr;
    QPlainTextEdit* messages_ = nullptr;
    std::map<int, QPointer<QPlainTextEdit>> logs_; // the open logs, by unit number
    QString status_;                               // the summary label's text shown
};

} // namespace fleet
