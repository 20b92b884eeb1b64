#include "app/Main.h"

#include "link/LogLine.h"
#include "link/Text.h"
#include "store/SettingsFile.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QIODevice>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

namespace {

template <typename W> W* Named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, int left, int top) {
    auto* label = Named(new QLabel(caption, parent), name);
    label->adjustSize();
    label->move(left, top);
    return label;
}

TEdit* MakeEdit(QWidget* parent, const char* name, int left, int top, int width, int height,
                bool borderless = false, bool readOnly = true) {
    auto* edit = Named(new TEdit(parent, borderless, readOnly), name);
    edit->setGeometry(left, top, width, height);
    return edit;
}

TRadioGroup* MakeRadioGroup(QWidget* parent, const char* name, const QString& caption,
                            const QStringList& items, int columns, QRect geometry) {
    auto* group = Named(new TRadioGroup(caption, items, columns, parent), name);
    group->SetItems(items); // names the items after the group
    group->setGeometry(geometry);
    group->setEnabled(false);
    return group;
}

// The layout's fixed geometry was drawn for Tahoma 8 pt (11 px at 96 dpi); a wider font
// cuts its captions off. Debian's fonts-wine has a Tahoma with the same metrics, in a
// folder fontconfig does not search: it is added for this program when the system has no
// Tahoma of its own.
QFont WindowFont() {
    const QString family = QStringLiteral("Tahoma");
    if (!QFontDatabase::families().contains(family) && *SV_FONT_DIR) {
        const QDir dir(QString::fromUtf8(SV_FONT_DIR));
        for (const QString& file : dir.entryList({QStringLiteral("tahoma*.ttf")}, QDir::Files))
            QFontDatabase::addApplicationFont(dir.filePath(file));
    }
    QFont font(family);
    font.setPixelSize(11);
    return font;
}

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}
QString S(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QStringList Items(const std::vector<std::string>& items) {
    QStringList out;
    for (const auto& item : items)
        out << S(item);
    return out;
}

} // namespace

namespace app {
QString VersionCaption() {
    return S("Sonavelle customize tool ver." SV_VERSION);
}
} // namespace app

class TForm1::TPorts final : public core::TLogSink, public core::TViewSink {
  public:
    explicit TPorts(TForm1& form) : form_(form) {}

    void WriteLog(std::string_view utf8, int direction) override {
        form_.AppendLog(utf8, false, direction);
    }
    void WriteLogBytes(std::string_view latin1, int direction) override {
        form_.AppendLog(latin1, true, direction);
    }
    std::string FromLocal8Bit(std::string_view text) const override {
        return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()))
            .toUtf8()
            .toStdString();
    }
    void Refresh(bool processEvents) override { form_.Refresh(processEvents); }
    void Close() override { form_.close(); }

  private:
    TForm1& form_;
};

TForm1::TForm1(TFormServices services)
    : HidCtrl1(std::move(services.Controller)), clock_(std::move(services.Clock)),
      dialogs_(std::move(services.Dialogs)) {
    setObjectName(QStringLiteral("Form1"));
    if (!clock_) clock_ = std::make_unique<TSystemClock>();
    if (!dialogs_) dialogs_ = std::make_unique<TMessageBoxDialogs>(this);
    setWindowTitle(S(app::kDesignCaption));
    CreateControls();
    CreateMenus();

    Timer1 = Bind(new TTimer(this, 1), params::TControl::Timer1);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->Attach([this] { Timer1Timer(); });

    ports_ = std::make_unique<TPorts>(*this);
    if (services.Journal) {
        store::TJournalOptions options = std::move(*services.Journal);
        if (options.tool.empty())
            options.tool = QFileInfo(QCoreApplication::applicationFilePath())
                               .completeBaseName()
                               .toStdString() +
                           " " SV_VERSION;
        journal_ = std::make_unique<store::TJournal>(
            std::move(options), *clock_, [this](const std::string& line) { AddLog(S(line)); },
            [this](const std::string& reason) {
                return dialogs_->AskYesNo(core::kToolCaption,
                                          "The settings of this unit could not be backed up: " +
                                              reason + ". Write anyway?");
            });
    }
    runWatch_ = WatchRuns();
    bench_ = std::make_unique<core::TUnitBench>(
        core::TBenchPorts{HidCtrl1.get(), ports_.get(), dialogs_.get(), ports_.get(), clock_.get()},
        SV_VERSION, core::TBenchPolicy::OneUnit, core::TUnitOptions{runWatch_.get(), &painter_});
    conversation_ = &bench_->Unit();
    painter_.Show(*conversation_);
    if (journal_) journal_->Attach(*conversation_);
    if (HidCtrl1) {
        // Installing the handlers is part of loading the window: the controller's own
        // first device-change notice reaches HidCtrl1DeviceChange once the loop runs.
        HidCtrl1->SetOnEnumerate(hid::THidEnumerateEvent::Bind<&TForm1::HidCtlEnumerate>(this));
        HidCtrl1->SetOnDeviceData(hid::THidDataEvent::Bind<&TForm1::HidCtrl1DeviceData>(this));
        HidCtrl1->SetOnDeviceChange(hid::TNotifyEvent::Bind<&TForm1::HidCtrl1DeviceChange>(this));
    }
    FormCreate();
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (centred_ || event->spontaneous()) return;
    // Centred once, when first shown; where the user puts it afterwards is theirs.
    centred_ = true;
    QScreen* on = screen();
    if (!on) return;
    adjustSize();
    move(pos() + on->availableGeometry().center() - frameGeometry().center());
}

TForm1::~TForm1() {
    FormDestroy();
    // The controller goes with the window and lets go of its devices; nothing it still
    // delivers may reach a half-destroyed window. Its OnDeviceChange is left for its own
    // destruction to clear: the setter runs a whole device pass, which may throw.
    if (HidCtrl1) {
        HidCtrl1->SetOnDeviceData({});
        HidCtrl1->SetOnEnumerate({});
    }
    bench_->Shutdown();
    HidCtrl1.reset();
}

template <typename W> W* TForm1::Bind(W* widget, params::TControl id) {
    widgets_[static_cast<size_t>(id)] = widget;
    return widget;
}

void TForm1::CreateControls() {
    using C = params::TControl;
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(WindowFont());

    Client = Named(new QWidget(this), "Client");
    Client->setFixedSize(470, 636);
    Client->setAutoFillBackground(true);
    Client->setBackgroundRole(QPalette::Button);
    setCentralWidget(Client);
    QWidget* c = Client;

    // Every control the conversation shows starts as its model does; the model holds the
    // captions it may change and the item lists, built from the value tables.
    const core::TPanel initial;
    const auto text = [&](params::TControl id) { return S(initial[id].text); };
    const auto label = [&](QWidget* parent, params::TControl id, int left, int top) {
        return Bind(MakeLabel(parent, params::ControlName(id).data(), text(id), left, top), id);
    };
    const auto edit = [&](params::TControl id, int left, int top, int width, int height,
                          bool borderless = false, bool readOnly = true) {
        return Bind(MakeEdit(c, params::ControlName(id).data(), left, top, width, height,
                             borderless, readOnly),
                    id);
    };
    const auto group = [&](QWidget* parent, params::TControl id, QRect geometry) {
        const core::TControlState& s = initial[id];
        auto* g = MakeRadioGroup(parent, params::ControlName(id).data(), text(id), Items(s.items),
                                 s.columns, geometry);
        auto* bound = Bind(g, id);
        connect(g, &TRadioGroup::Chosen, this, [this, id](int index) {
            if (!mirroring_) Forward([&] { painter_.Choose(*conversation_, id, index); });
        });
        return bound;
    };
    const auto box = [&](QWidget* parent, params::TControl id, QRect geometry) {
        auto* g = Bind(Named(new QGroupBox(text(id), parent), params::ControlName(id).data()), id);
        g->setGeometry(geometry);
        return g;
    };
    const auto combo = [&](QWidget* parent, params::TControl id, QRect geometry) {
        auto* b = Bind(Named(new QComboBox(parent), params::ControlName(id).data()), id);
        b->addItems(Items(initial[id].items));
        b->setGeometry(geometry);
        b->setCurrentIndex(-1);
        connect(b, &QComboBox::currentIndexChanged, this, [this, id](int index) {
            if (!mirroring_) Forward([&] { painter_.Choose(*conversation_, id, index); });
        });
        return b;
    };
    const auto button = [&](params::TControl id, QRect geometry) {
        auto* b = Bind(Named(new TSpeedButton(text(id), c), params::ControlName(id).data()), id);
        b->setGeometry(geometry);
        return b;
    };

    MakeLabel(c, "Label1", QStringLiteral("Version :"), 50, 12);
    edit(C::Edit1, 104, 12, 105, 17, true);
    MakeLabel(c, "Label2", QStringLiteral("Serial number :"), 15, 36);
    edit(C::Edit2, 104, 36, 105, 17, true);
    label(c, C::Label8, 250, 12);
    edit(C::EditKIND, 296, 12, 161, 17, true);
    label(c, C::Label13, 233, 36);
    edit(C::EditLanguage, 296, 36, 161, 17, true);
    label(c, C::Label5, 340, 58);

    QGroupBox* volume = box(c, C::GroupBox1, {12, 60, 321, 64});
    MakeLabel(volume, "Label6", QStringLiteral("Min"), 8, 30);
    MakeLabel(volume, "Label7", QStringLiteral("Max"), 290, 30);
    Panel1 = Named(new QWidget(volume), "Panel1");
    Panel1->setGeometry(36, 18, 250, 40);
    group(Panel1, C::RadioGroup1, {0, 0, 250, 40});
    edit(C::Edit5, 340, 96, 117, 22);

    group(c, C::RadioGroup3, {12, 132, 321, 45});
    edit(C::Edit7, 340, 146, 117, 22);

    QGroupBox* handsFree = box(c, C::GroupBox2, {12, 184, 321, 64});
    label(handsFree, C::Label9, 60, 14);
    label(handsFree, C::Label10, 90, 14);
    Panel2 = Named(new QWidget(handsFree), "Panel2");
    Panel2->setGeometry(8, 28, 305, 30);
    group(Panel2, C::RadioGroup4, {0, 0, 305, 30});
    edit(C::Edit8, 340, 218, 117, 22);

    label(c, C::Label3, 61, 198);

    group(c, C::RGChannel, {12, 256, 321, 45});
    edit(C::EdtChannel, 340, 270, 117, 22);
    group(c, C::RadioGroup5, {12, 310, 321, 77});
    edit(C::Edit9, 340, 324, 117, 22);
    group(c, C::RgDiveComInterface, {12, 396, 321, 45});
    edit(C::EdtDiveComInterface, 340, 410, 117, 22);
    group(c, C::RadioGroupVoiceGuideLevel, {12, 450, 321, 45});
    edit(C::EditVoiceGuideLevel, 340, 464, 117, 22, false, false);

    QGroupBox* airCheck = box(c, C::GroupBoxDivingTimeSignal, {12, 504, 321, 64});
    CheckBoxDivingTimeSignalEnable =
        Bind(Named(new QCheckBox(text(C::CheckBoxDivingTimeSignalEnable), airCheck),
                   "CheckBoxDivingTimeSignalEnable"),
             C::CheckBoxDivingTimeSignalEnable);
    CheckBoxDivingTimeSignalEnable->adjustSize();
    CheckBoxDivingTimeSignalEnable->move(8, 32);
    label(airCheck, C::Label11, 68, 14);
    combo(airCheck, C::ComboBoxDivingTimeSignal1, {68, 32, 100, 21});
    label(airCheck, C::Label12, 186, 14);
    combo(airCheck, C::ComboBoxDivingTimeSignal2, {186, 32, 120, 21});
    edit(C::EditDivingTimeSignal, 340, 534, 117, 22, false, false);

    // Laid out for its longest text; the model starts it empty.
    Bind(MakeLabel(c, "Label4", QStringLiteral("Updating."), 96, 582), C::Label4);
    SpeedButton2 = button(C::SpeedButton2, {179, 577, 69, 22});
    SpeedButton3 = button(C::SpeedButton3, {263, 577, 69, 22});
    ButtonReconnect = Named(new QPushButton(QStringLiteral("Reconnect"), c), "ButtonReconnect");
    ButtonReconnect->setGeometry(376, 577, 83, 22);
    auto* progress = Bind(Named(new QProgressBar(c), "ProgressBar1"), C::ProgressBar1);
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setTextVisible(false);
    progress->setGeometry(16, 609, 441, 17);
    label(c, C::LabelParamCnt, 504, 609);
    SpeedButton1 = Named(new TSpeedButton(QStringLiteral("Close"), c), "SpeedButton1");
    SpeedButton1->setGeometry(16, 873, 85, 22);
    Memo1 = Named(new QPlainTextEdit(c), "Memo1");
    Memo1->setGeometry(12, 666, 829, 193);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->viewport()->installEventFilter(this);

    // What the model says beyond texts and items: hidden, disabled, tags.
    for (params::TControl id : params::AllControls()) {
        const core::TControlState& s = initial[id];
        shown_[static_cast<size_t>(id)] = s;
        auto* w = qobject_cast<QWidget*>(widgets_[static_cast<size_t>(id)]);
        if (!w) continue;
        if (!s.visible) w->hide();
        if (!s.enabled)
            w->setEnabled(false);
        else if (qobject_cast<TRadioGroup*>(w))
            w->setEnabled(true); // groups are made disabled
        if (auto* e = qobject_cast<TEdit*>(w)) e->Tag = s.tag;
    }
    shown_[static_cast<size_t>(C::Label4)].text = "Updating.";

    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });
    connect(ButtonReconnect, &QPushButton::clicked, this, [this] { ButtonReconnectClick(); });
    // The click rule runs on every change of the checked state, by the user or the program.
    connect(CheckBoxDivingTimeSignalEnable, &QCheckBox::toggled, this, [this] {
        if (!mirroring_) CheckBoxDivingTimeSignalEnableClick();
    });
}

void TForm1::CreateMenus() {
    auto* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    const core::TPanel initial;
    File1 = Bind(bar->addMenu(S(initial[params::TControl::File1].text)), params::TControl::File1);
    File1->setObjectName(QStringLiteral("File1"));
    const auto item = [this](const char* name, const char* text, void (TForm1::*handler)()) {
        QAction* action = Named(File1->addAction(S(text)), name);
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return action;
    };
    SaveSettings1 = item("SaveSettings1", "Save settings as...", &TForm1::SaveSettings1Click);
    LoadSettings1 = item("LoadSettings1", "Load settings...", &TForm1::LoadSettings1Click);
    File1->addSeparator();
    Restore1 = item("Restore1", "Restore settings...", &TForm1::Restore1Click);
    ServiceRecord1 = item("ServiceRecord1", "Show service record...", &TForm1::ServiceRecord1Click);
    SaveRecordCsv1 =
        item("SaveRecordCsv1", "Save service record as CSV...", &TForm1::SaveRecordCsv1Click);
    File1->addSeparator();
    for (QAction* a : {SaveSettings1, LoadSettings1, Restore1})
        a->setEnabled(false);
    Exit1 = File1->addAction(QStringLiteral("Close"));
    Exit1->setObjectName(QStringLiteral("Exit1"));
    Info1 = Bind(bar->addMenu(S(initial[params::TControl::Info1].text)), params::TControl::Info1);
    Info1->setObjectName(QStringLiteral("Info1"));
    Version1 = Info1->addAction(QStringLiteral("Version"));
    Version1->setObjectName(QStringLiteral("Version1"));
    ShowLog1 = Info1->addAction(QStringLiteral("Show log..."));
    ShowLog1->setObjectName(QStringLiteral("ShowLog1"));
    connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });
    connect(Version1, &QAction::triggered, this, [this] { Version1Click(); });
    connect(ShowLog1, &QAction::triggered, this, [this] { ShowLog1Click(); });
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

// ---- mirroring the model ----------------------------------------------------------------

void TForm1::Refresh(bool processEvents) {
    // Only the widgets that changed are updated, and the event loop draws them on its next
    // pass, within the tick: painting the whole window at once cost more than a tick, on
    // every reply of a read-back.
    Mirror();
    if (processEvents) QApplication::processEvents();
}

void TForm1::Mirror() {
    const core::TPanel& panel = painter_.Panel();
    // Most ticks change nothing.
    if (panel.Revision() == shownPanelRevision_) return;
    shownPanelRevision_ = panel.Revision();
    for (params::TControl id : params::AllControls()) {
        const size_t i = static_cast<size_t>(id);
        if (panel.Revision(id) == shownRevision_[i]) continue;
        shownRevision_[i] = panel.Revision(id);
        const core::TControlState& now = panel[id];
        if (now == shown_[i]) continue;
        mirroring_ = true;
        MirrorControl(id, shown_[i], now);
        mirroring_ = false;
        shown_[i] = now;
    }
}

void TForm1::MirrorControl(params::TControl id, const core::TControlState& was,
                           const core::TControlState& now) {
    QObject* o = widgets_[static_cast<size_t>(id)];
    if (auto* t = qobject_cast<TTimer*>(o)) {
        t->Tag = now.tag;
        if (was.enabled != now.enabled) t->SetEnabled(now.enabled);
        return;
    }
    if (auto* m = qobject_cast<QMenu*>(o)) {
        if (was.enabled != now.enabled) m->menuAction()->setEnabled(now.enabled);
        if (was.text != now.text) m->setTitle(S(now.text));
        return;
    }
    auto* w = qobject_cast<QWidget*>(o);
    if (!w) return;
    if (auto* g = qobject_cast<TRadioGroup*>(w)) {
        if (was.text != now.text) g->setTitle(S(now.text));
        if (was.items != now.items || was.columns != now.columns) {
            g->SetColumns(now.columns);
            g->SetItems(Items(now.items));
        }
        if (g->ItemIndex() != now.itemIndex) g->SetItemIndex(now.itemIndex);
    } else if (auto* b = qobject_cast<QComboBox*>(w)) {
        if (was.items != now.items) {
            b->clear();
            b->addItems(Items(now.items));
        }
        if (b->currentIndex() != now.itemIndex) b->setCurrentIndex(now.itemIndex);
    } else if (auto* e = qobject_cast<TEdit*>(w)) {
        if (was.text != now.text) e->setText(S(now.text));
        e->Tag = now.tag;
    } else if (auto* x = qobject_cast<QCheckBox*>(w)) {
        if (was.text != now.text) x->setText(S(now.text));
        if (x->isChecked() != now.checked) x->setChecked(now.checked);
    } else if (auto* s = qobject_cast<TSpeedButton*>(w)) {
        if (was.text != now.text) s->setText(S(now.text));
        s->Tag = now.tag;
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        if (was.text != now.text) {
            l->setText(S(now.text));
            // The firmware notice grows a second line. A label laid out beyond its parent
            // (the parameter count, beside the log) is never seen: its text, which changes
            // with every reply of the read-back, is not measured.
            const QWidget* parent = l->parentWidget();
            if (!parent || parent->rect().intersects(l->geometry())) l->adjustSize();
        }
    } else if (auto* gb = qobject_cast<QGroupBox*>(w)) {
        if (was.text != now.text) gb->setTitle(S(now.text));
    } else if (auto* p = qobject_cast<QProgressBar*>(w)) {
        if (p->value() != now.position) {
            // The bar would paint itself at once on every step it moves (an Apply moves it
            // on each exchange): it is drawn with the rest of the window instead.
            p->setUpdatesEnabled(false);
            p->setValue(now.position);
            p->setUpdatesEnabled(true); // schedules its update
        }
    }
    if (was.enabled != now.enabled) w->setEnabled(now.enabled);
    if (was.visible != now.visible) w->setVisible(now.visible);
}

// ---- handlers ---------------------------------------------------------------------------

void TForm1::FormCreate() {
    // Double-buffered drawing is what Qt does anyway.
    setWindowTitle(app::VersionCaption());
    Forward([this] { bench_->Start(); });
}

void TForm1::FormDestroy() {}

void TForm1::Timer1Timer() {
    // Detached for the length of the tick: a handler that processes pending events
    // cannot re-enter it, and the next tick comes a full interval after this one ends.
    Timer1->Detach();
    Forward([this] { bench_->Tick(); });
    Timer1->Attach([this] { Timer1Timer(); });
}

void TForm1::HidCtrl1DeviceChange(void*) {
    Forward([this] { bench_->DeviceChange(); });
}

bool TForm1::HidCtlEnumerate(hid::TCustomHidDevice* Dev, int32_t) {
    if (Dev) Forward([&] { bench_->Enumerated(*Dev); });
    return true;
}

void TForm1::HidCtrl1DeviceData(hid::TCustomHidDevice* Dev, uint8_t, const uint8_t* Data,
                                uint16_t Size) {
    Forward([&] { bench_->DeviceData(Dev, Data, Size); });
}

void TForm1::ButtonReconnectClick() {
    unitFailureTold_ = false; // the user tries again: a unit that still cannot be written is told
    Forward([this] { conversation_->PressReconnect(); });
}

void TForm1::SpeedButton2Click() {
    NameRun(true);
    Forward([this] { conversation_->PressApply(); });
}

void TForm1::SpeedButton3Click() {
    NameRun(false);
    Forward([this] { conversation_->PressDefault(); });
}

void TForm1::CheckBoxDivingTimeSignalEnableClick() {
    Forward([this] {
        painter_.Check(*conversation_, params::TControl::CheckBoxDivingTimeSignalEnable,
                       CheckBoxDivingTimeSignalEnable->isChecked());
    });
}

void TForm1::Exit1Click() {
    close();
}
void TForm1::SpeedButton1Click() {
    close();
}

void TForm1::Version1Click() {
    Dialogs().ShowAbout(app::kDesignCaption, {app::VersionCaption().toStdString(),
                                              "Customises the settings of Sonavelle transceivers.",
                                              "", "Copyright (C) Sonavelle. All rights reserved."});
}

// ---- the log ----------------------------------------------------------------------------

void TForm1::WriteLog(const QString& text, int direction) {
    AppendLog(text.toStdString(), false, direction);
}

void TForm1::WriteLog(const std::string& bytes, int direction) {
    AppendLog(bytes, true, direction);
}

void TForm1::AppendLog(std::string_view text, bool latin1, int direction) {
    // The line is built once for the pane, in UTF-16, straight from the text as it came;
    // the file gets its own UTF-8 bytes of it.
    core::TLogHead head;
    core::FormatLogHead(clock_->Now().wallMs, direction, head);
    const std::string_view body = core::LogBody(text);
    const auto size = [](std::string_view s) { return static_cast<qsizetype>(s.size()); };
    QString line;
    line.reserve(static_cast<qsizetype>(core::kLogHeadLength) + size(body));
    line.append(QLatin1String(head, static_cast<qsizetype>(core::kLogHeadLength)));
    if (latin1)
        line.append(QLatin1String(body.data(), size(body)));
    else
        line.append(QString::fromUtf8(body.data(), size(body)));
    log_.append(std::move(line));
    if (logFile_) {
        // One write a line, unbuffered: the file holds the last line before a crash.
        fileLine_.assign(head, core::kLogHeadLength);
        if (latin1)
            core::AppendLatin1AsUtf8(fileLine_, body);
        else
            fileLine_.append(body);
        fileLine_ += '\n';
        logFile_->write(fileLine_.data(), static_cast<qint64>(fileLine_.size()));
    }
    if (Memo1->isVisible() && !Memo1->visibleRegion().isEmpty()) Memo1->viewport()->update();
}

void TForm1::AddLog(const QString& text) {
    WriteLog(text, kLogNote);
}

void TForm1::SetLogFile(std::unique_ptr<QIODevice> file) {
    logFile_ = std::move(file);
    for (const QString& line : std::as_const(log_))
        logFile_->write(line.toUtf8().append('\n'));
}

void TForm1::ShowLog1Click() {
    Dialogs().ShowLog("Log", log_.join(QLatin1Char('\n')).toStdString(), [this] { SaveLog(); });
}

void TForm1::SaveLog() {
    try {
        const auto path = dialogs_->ChooseFileToSave("Save log as", "sonavelle.log",
                                                     "Log files (*.log *.txt);;All files (*)");
        if (!path) return;
        // As --log writes it: one line each, UTF-8, every line ended.
        QByteArray text;
        for (const QString& line : std::as_const(log_))
            text += line.toUtf8() + '\n';
        const std::string error = store::WriteWholeFile(*path, text.toStdString());
        if (!error.empty()) dialogs_->ShowErrorMessage(core::kToolCaption, error);
    } catch (...) {
        ShowErrorBoxFor(*dialogs_, std::current_exception());
    }
}

void TForm1::ShowLogInMemo() {
    if (memoLines_ == log_.size()) return;
    Memo1->appendPlainText(log_.mid(memoLines_).join(QLatin1Char('\n')));
    memoLines_ = log_.size();
}

void TForm1::ClearLog() {
    log_.clear();
    memoLines_ = 0;
    Memo1->clear();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Memo1->viewport() && event->type() == QEvent::Paint) ShowLogInMemo();
    return QMainWindow::eventFilter(watched, event);
}
