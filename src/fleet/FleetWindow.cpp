#include "fleet/FleetWindow.h"

#include <QApplication>
#include <QBrush>
#include <QCloseEvent>
#include <QColor>
#include <QDialog>
#include <QFontMetrics>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <exception>
#include <utility>

namespace fleet {

namespace {

QString Q(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

class TMessageBoxDialogs final : public TFleetDialogs {
  public:
    explicit TMessageBoxDialogs(QWidget* parent) : parent_(parent) {}
    std::optional<std::string> ChooseSettingsFile() override {
        const QString path = QFileDialog::getOpenFileName(
            parent_, QStringLiteral("Settings file"), QString(),
            QStringLiteral("Settings (*.txt *.conf *.json);;All files (*)"));
        if (path.isEmpty()) return std::nullopt;
        return path.toLocal8Bit().toStdString();
    }
    bool Confirm(std::string_view caption, std::string_view question) override {
        return QMessageBox::question(parent_, Q(caption), Q(question)) == QMessageBox::Yes;
    }
    void ShowError(std::string_view caption, std::string_view text) override {
        QMessageBox::critical(parent_, Q(caption), Q(text));
    }

  private:
    QWidget* parent_;
};

// The result as the command line's line for the unit gives it ("OK", "FAILED: ..."), with
// what a unit that failed was left holding.
QString ResultText(const cli::TServedUnit& unit) {
    if (!unit.Finished()) return {};
    // SERIAL \t MODEL \t FIRMWARE \t RESULT \t PORT: each field escaped, so no tab within.
    const std::string& line = unit.line;
    std::size_t at = 0;
    for (int field = 0; field < 3; ++field) {
        at = line.find('\t', at);
        if (at == std::string::npos) return Q(line);
        ++at;
    }
    const std::size_t end = line.rfind('\t');
    std::string result = end >= at ? line.substr(at, end - at) : line.substr(at);
    if (!unit.holding.empty()) result += " (" + unit.holding + ")";
    return Q(result);
}

QString SettingsLines(const std::vector<cli::TRequest>& settings) {
    QString text;
    for (const cli::TRequest& r : settings)
        text += Q(cli::Info(r.setting).name) + QStringLiteral(" = ") + Q(r.value) + u'\n';
    return text;
}

} // namespace

TFleetWindow::TFleetWindow(TBenchMaker makeBench, cli::TCommandOptions options,
                           std::unique_ptr<TFleetDialogs> dialogs, TPace pace, QWidget* parent)
    : QWidget(parent), fleet_(std::move(makeBench), std::move(options), *this),
      dialogs_(dialogs ? std::move(dialogs) : std::make_unique<TMessageBoxDialogs>(this)),
      pace_(pace) {
    setObjectName(QStringLiteral("FleetWindow"));
    setWindowTitle(QStringLiteral("Sonavelle Customize fleet"));

    source_ = new QLabel(this);
    source_->setObjectName(QStringLiteral("SourceLabel"));
    fromFile_ = new QPushButton(QStringLiteral("Settings file..."), this);
    fromFile_->setObjectName(QStringLiteral("SettingsFileButton"));
    fromUnit_ = new QPushButton(QStringLiteral("Settings of the first unit..."), this);
    fromUnit_->setObjectName(QStringLiteral("TemplateButton"));
    settings_ = new QPlainTextEdit(this);
    settings_->setObjectName(QStringLiteral("SettingsView"));
    settings_->setReadOnly(true);
    settings_->setMaximumHeight(settings_->fontMetrics().lineSpacing() * 5);

    start_ = new QPushButton(QStringLiteral("Start"), this);
    start_->setObjectName(QStringLiteral("StartButton"));
    stopTaking_ = new QPushButton(QStringLiteral("Stop after the units in progress"), this);
    stopTaking_->setObjectName(QStringLiteral("StopTakingButton"));
    stopNow_ = new QPushButton(QStringLiteral("Stop now"), this);
    stopNow_->setObjectName(QStringLiteral("StopNowButton"));

    table_ = new QTableWidget(0, Columns, this);
    table_->setObjectName(QStringLiteral("UnitTable"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Port"), QStringLiteral("Serial"),
                                       QStringLiteral("Model"), QStringLiteral("Firmware"),
                                       QStringLiteral("State"), QStringLiteral("Progress"),
                                       QStringLiteral("Result")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    // Wide enough for what each column holds; measured once, not on every change of a row.
    const QFontMetrics metrics = table_->fontMetrics();
    const auto widthOf = [&](const char* sample) {
        return metrics.horizontalAdvance(QString::fromLatin1(sample)) + 16;
    };
    table_->setColumnWidth(Port, widthOf("/dev/hidraw10"));
    table_->setColumnWidth(Serial, widthOf("SV0000000000"));
    table_->setColumnWidth(Model, widthOf("DW730 VELMORAS_SPECIAL"));
    table_->setColumnWidth(Firmware, widthOf("Firmware"));
    table_->setColumnWidth(State, widthOf("identifying"));
    table_->setColumnWidth(Progress, widthOf("100 %") * 2);
    table_->setToolTip(QStringLiteral("Double-click a unit to open its log."));

    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("SummaryLabel"));
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    messages_ = new QPlainTextEdit(this);
    messages_->setObjectName(QStringLiteral("MessagesView"));
    messages_->setReadOnly(true);
    messages_->setMaximumBlockCount(2000);
    messages_->setMaximumHeight(messages_->fontMetrics().lineSpacing() * 7);

    auto* sourceRow = new QHBoxLayout;
    sourceRow->addWidget(source_, 1);
    sourceRow->addWidget(fromFile_);
    sourceRow->addWidget(fromUnit_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(start_);
    buttons->addWidget(stopTaking_);
    buttons->addWidget(stopNow_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sourceRow);
    layout->addWidget(settings_);
    layout->addLayout(buttons);
    layout->addWidget(table_, 1);
    layout->addWidget(summary_);
    layout->addWidget(messages_);
    resize(980, 560);

    connect(fromFile_, &QPushButton::clicked, this,
            [this] { Guarded([this] { ChooseSettingsFile(); }); });
    connect(fromUnit_, &QPushButton::clicked, this,
            [this] { Guarded([this] { fleet_.ReadTemplate(); }); });
    connect(start_, &QPushButton::clicked, this, [this] {
        Guarded([this] {
            ClearUnits();
            fleet_.Start();
        });
    });
    connect(stopTaking_, &QPushButton::clicked, this,
            [this] { Guarded([this] { fleet_.StopTaking(); }); });
    connect(stopNow_, &QPushButton::clicked, this,
            [this] { Guarded([this] { fleet_.StopNow(); }); });
    connect(table_, &QTableWidget::cellActivated, this, [this](int row, int) { OpenLog(row); });
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { OpenLog(row); });
    // A step a millisecond: real units are waited for up to about 1 ms in each, simulated
    // ones move 1 ms of their time, slow enough to watch.
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1);
    connect(&timer_, &QTimer::timeout, this, [this] { Step(); });
    ShowSettings();
    StageChanged();
}

TFleetWindow::~TFleetWindow() {
    timer_.stop();
    fleet_.StopNow();
    for (auto& [number, log] : logs_)
        if (log) delete log->window();
}

template <typename F> void TFleetWindow::Guarded(F&& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        dialogs_->ShowError("Error", e.what());
    } catch (...) {
        dialogs_->ShowError("Error", "Unknown error.");
    }
}

void TFleetWindow::closeEvent(QCloseEvent* event) {
    if (fleet_.Stage() != TStage::Idle) {
        const std::string question = std::to_string(fleet_.InProgress()) +
                                     " unit(s) in progress. Stop them now and close the window?";
        if (!dialogs_->Confirm("Close", question)) return event->ignore();
        Guarded([this] { fleet_.StopNow(); });
    }
    event->accept();
}

void TFleetWindow::Step() {
    Guarded([this] { fleet_.Step(); });
    ShowStatus();
}

// ---- the settings ----------------------------------------------------------------------------

void TFleetWindow::ChooseSettingsFile() {
    const std::optional<std::string> path = dialogs_->ChooseSettingsFile();
    if (!path) return;
    const std::string error = fleet_.LoadSettings(*path);
    // What was chosen before stays chosen.
    if (!error.empty()) dialogs_->ShowError("Settings file", error);
}

void TFleetWindow::TemplateRead(const cli::TServedUnit& unit) {
    const std::string name = unit.Name();
    if (unit.settings.empty()) {
        dialogs_->ShowError("Settings of the first unit",
                            "The settings of " + name + " could not be read: " +
                                (unit.result ? unit.result->message : std::string()));
        return;
    }
    const std::string source =
        "the settings of " + unit.serial + " (" + unit.model + " " + unit.firmware + ")";
    const std::string question = "Serve every unit plugged in with the settings of " + name + " (" +
                                 unit.model + " " + unit.firmware + ")?\n\n" +
                                 SettingsLines(unit.settings).toStdString();
    if (dialogs_->Confirm("Settings of the first unit", question))
        fleet_.UseSettings(unit.settings, source);
    else
        Said(std::string(kProgram) + ": the settings read were not taken");
}

void TFleetWindow::ShowSettings() {
    source_->setText(fleet_.Settings().empty()
                         ? QStringLiteral("Settings: none chosen")
                         : QStringLiteral("Settings: %1").arg(Q(fleet_.Source())));
    settings_->setPlainText(SettingsLines(fleet_.Settings()));
}

// ---- the units -------------------------------------------------------------------------------

void TFleetWindow::ClearUnits() {
    for (auto& [number, log] : logs_)
        if (log) log->window()->close();
    logs_.clear();
    table_->setRowCount(0);
}

void TFleetWindow::UnitShown(const cli::TServedUnit& unit) {
    const int row = unit.number - 1;
    if (row >= table_->rowCount()) {
        table_->setRowCount(row + 1);
        for (int column = 0; column < Columns; ++column)
            if (column != Progress) table_->setItem(row, column, new QTableWidgetItem);
        auto* bar = new QProgressBar;
        bar->setRange(0, 100);
        table_->setCellWidget(row, Progress, bar);
    }
    const auto set = [&](int column, const QString& text) {
        if (table_->item(row, column)->text() != text) table_->item(row, column)->setText(text);
    };
    set(Port, Q(unit.port));
    set(Serial, Q(unit.serial));
    set(Model, Q(unit.model));
    set(Firmware, Q(unit.firmware));
    set(State, QString::fromLatin1(cli::StepName(unit.step)));
    set(Result, ResultText(unit));
    if (unit.Finished()) {
        QTableWidgetItem* result = table_->item(row, Result);
        result->setBackground(unit.Ok() ? QColor(206, 238, 206) : QColor(246, 206, 206));
        result->setToolTip(Q(unit.line));
    }
    static_cast<QProgressBar*>(table_->cellWidget(row, Progress))->setValue(unit.progress);
}

void TFleetWindow::UnitLogged(const cli::TServedUnit& unit, const std::string& line) {
    const auto open = logs_.find(unit.number);
    if (open != logs_.end() && open->second) open->second->appendPlainText(Q(line));
}

void TFleetWindow::OpenLog(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= fleet_.UnitCount()) return;
    const cli::TServedUnit& unit = fleet_.UnitAt(static_cast<std::size_t>(row));
    if (const auto open = logs_.find(unit.number); open != logs_.end() && open->second) {
        open->second->window()->raise();
        open->second->window()->activateWindow();
        return;
    }
    auto* dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("UnitLog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Log of %1").arg(Q(unit.Name())));
    auto* text = new QPlainTextEdit(dialog);
    text->setObjectName(QStringLiteral("UnitLogText"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    QString lines;
    for (const std::string& line : unit.log)
        lines += Q(line) + u'\n';
    lines.chop(1);
    text->setPlainText(lines);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(text);
    dialog->resize(720, 420);
    logs_[unit.number] = text;
    dialog->show();
}

// ---- the stage -------------------------------------------------------------------------------

void TFleetWindow::Said(const std::string& line) {
    messages_->appendPlainText(Q(line));
}

void TFleetWindow::StageChanged() {
    const TStage stage = fleet_.Stage();
    const bool idle = stage == TStage::Idle;
    fromFile_->setEnabled(idle);
    fromUnit_->setEnabled(idle);
    start_->setEnabled(fleet_.CanStart());
    stopTaking_->setEnabled(stage == TStage::Serving);
    stopNow_->setEnabled(!idle);
    ShowSettings();
    if (pace_ == TPace::Timer) {
        if (idle)
            timer_.stop();
        else if (!timer_.isActive())
            timer_.start();
    }
    ShowStatus();
}

void TFleetWindow::ShowStatus() {
    QString text;
    switch (fleet_.Stage()) {
    case TStage::Idle:
        if (!fleet_.Summary().empty()) {
            for (const std::string& line : fleet_.Summary())
                text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + Q(line);
        } else {
            text = fleet_.Settings().empty()
                       ? QStringLiteral("Choose the settings: a settings file, or those of the "
                                        "first unit plugged in.")
                       : QStringLiteral("Press Start, then plug the units in.");
        }
        break;
    case TStage::ReadingTemplate:
        text = QStringLiteral("Plug in the unit whose settings the others are to get.");
        break;
    case TStage::Serving:
        text = QStringLiteral("Serving every unit plugged in: %1 in progress, %2 taken.")
                   .arg(fleet_.InProgress())
                   .arg(fleet_.UnitCount());
        break;
    case TStage::Finishing:
        text = QStringLiteral("Finishing the %1 unit(s) in progress; no new unit is taken.")
                   .arg(fleet_.InProgress());
        break;
    }
    if (text != status_) {
        status_ = text;
        summary_->setText(text);
    }
}

} // namespace fleet
