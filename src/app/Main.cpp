#include "app/Main.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
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

QString S(const char* utf8) { return QString::fromUtf8(utf8); }

} // namespace

TForm1::TForm1(TFormServices services)
    : HidCtrl1(std::move(services.Controller)), clock_(std::move(services.Clock)),
      dialogs_(std::move(services.Dialogs)) {
    setObjectName(QStringLiteral("Form1"));
    if (!clock_) clock_ = std::make_unique<TSystemClock>();
    if (!dialogs_) dialogs_ = std::make_unique<TMessageBoxDialogs>(this);
    setWindowTitle(S(app::kDesignCaption));
    CreateControls();
    CreateMenus();

    Timer1 = new TTimer(this, 1);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->Attach([this] { Timer1Timer(); });

    if (HidCtrl1) {
        // Installing the handlers is part of loading the window: the controller's own
        // first device-change notice reaches HidCtrl1DeviceChange once the loop runs.
        HidCtrl1->SetOnEnumerate(
            hid::THidEnumerateEvent::Bind<&TForm1::HidCtlEnumerate>(this));
        HidCtrl1->SetOnDeviceData(
            hid::THidDataEvent::Bind<&TForm1::HidCtrl1DeviceData>(this));
        HidCtrl1->SetOnDeviceChange(
            hid::TNotifyEvent::Bind<&TForm1::HidCtrl1DeviceChange>(this));
    }
    FormCreate();
    // Without change notices the device list is built once, at start; a transceiver
    // plugged in later would seem to be ignored without a word.
    if (HidCtrl1 && !HidCtrl1->NoticesOpen())
        AddLog(
            S("Hot-plug notices are unavailable: a transceiver plugged in later is not noticed."));
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
        HidCtrl1->CheckIn(HidDev);
        HidCtrl1.reset();
    }
}

void TForm1::CreateControls() {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(12);
    setFont(font);

    Client = Named(new QWidget(this), "Client");
    Client->setFixedSize(470, 636);
    Client->setAutoFillBackground(true);
    Client->setBackgroundRole(QPalette::Button);
    setCentralWidget(Client);
    QWidget* c = Client;

    Label1 = MakeLabel(c, "Label1", QStringLiteral("Version :"), 50, 12);
    Edit1 = MakeEdit(c, "Edit1", 104, 12, 105, 17, true);
    Label2 = MakeLabel(c, "Label2", QStringLiteral("Serial number :"), 15, 36);
    Edit2 = MakeEdit(c, "Edit2", 104, 36, 105, 17, true);
    Label8 = MakeLabel(c, "Label8", QStringLiteral("Model :"), 250, 12);
    Label8->hide();
    EditKIND = MakeEdit(c, "EditKIND", 296, 12, 161, 17, true);
    Label13 = MakeLabel(c, "Label13", QStringLiteral("Language:"), 233, 36);
    EditLanguage = MakeEdit(c, "EditLanguage", 296, 36, 161, 17, true);
    Label5 = MakeLabel(c, "Label5", QStringLiteral("Current setting"), 340, 58);

    GroupBox1 = Named(new QGroupBox(QStringLiteral("Volume"), c), "GroupBox1");
    GroupBox1->setGeometry(12, 60, 321, 64);
    Label6 = MakeLabel(GroupBox1, "Label6", QStringLiteral("Min"), 8, 30);
    Label7 = MakeLabel(GroupBox1, "Label7", QStringLiteral("Max"), 290, 30);
    Panel1 = Named(new QWidget(GroupBox1), "Panel1");
    Panel1->setGeometry(36, 18, 250, 40);
    RadioGroup1 = MakeRadioGroup(Panel1, "RadioGroup1", {},
                                 {S("1"), S("2"), S("3"), S("4"), S("5")}, 5, {0, 0, 250, 40});
    Edit5 = MakeEdit(c, "Edit5", 340, 96, 117, 22);

    RadioGroup3 = MakeRadioGroup(
        c, "RadioGroup3", S("Automatic switching from \"Transmitting\" to \"Receiving\""),
        {S("Off"), S("On")}, 2, {12, 132, 321, 45});
    Edit7 = MakeEdit(c, "Edit7", 340, 146, 117, 22);

    GroupBox2 = Named(new QGroupBox(QStringLiteral("Hands-Free mode"), c), "GroupBox2");
    GroupBox2->setGeometry(12, 184, 321, 64);
    Label9 = MakeLabel(GroupBox2, "Label9", QStringLiteral("Min"), 60, 14);
    Label9->hide();
    Label10 = MakeLabel(GroupBox2, "Label10", S("<<  Sensitivity  >>           Max"), 90, 14);
    Label10->hide();
    Panel2 = Named(new QWidget(GroupBox2), "Panel2");
    Panel2->setGeometry(8, 28, 305, 30);
    RadioGroup4 = MakeRadioGroup(Panel2, "RadioGroup4", {},
                                 {S("Off"), S("1"), S("2"), S("3"), S("4"), S("5")}, 6,
                                 {0, 0, 305, 30});
    Edit8 = MakeEdit(c, "Edit8", 340, 218, 117, 22);

    Label3 = MakeLabel(c, "Label3",
                       S("The Sonavelle firmware you have is not supported in this tool."), 61, 198);
    Label3->hide();

    RGChannel = MakeRadioGroup(c, "RGChannel", S("Channel"), {S("A ch"), S("B ch"), S("C ch")}, 3,
                               {12, 256, 321, 45});
    EdtChannel = MakeEdit(c, "EdtChannel", 340, 270, 117, 22);

    RadioGroup5 = MakeRadioGroup(c, "RadioGroup5", S("Voice recorder"),
                                 {S("Oｆｆ"), S("Transmitting record"), S("Receiving record"),
                                  S("All record"), S("Record only")},
                                 2, {12, 310, 321, 77});
    RadioGroup5->setEnabled(true);
    Edit9 = MakeEdit(c, "Edit9", 340, 324, 117, 22);
    Edit9->Tag = -1;

    RgDiveComInterface = MakeRadioGroup(c, "RgDiveComInterface", S("Dive-computer interface"),
                                        {S("Off"), S("Beep"), S("Voice")}, 3, {12, 396, 321, 45});
    EdtDiveComInterface = MakeEdit(c, "EdtDiveComInterface", 340, 410, 117, 22);
    EdtDiveComInterface->Tag = -1;

    RadioGroupVoiceGuideLevel =
        MakeRadioGroup(c, "RadioGroupVoiceGuideLevel", S("Voice guide level"),
                       {S("Low"), S("Middle"), S("High")}, 3, {12, 450, 321, 45});
    EditVoiceGuideLevel = MakeEdit(c, "EditVoiceGuideLevel", 340, 464, 117, 22, false, false);

    GroupBoxDivingTimeSignal =
        Named(new QGroupBox(QStringLiteral("Air check time"), c), "GroupBoxDivingTimeSignal");
    GroupBoxDivingTimeSignal->setGeometry(12, 504, 321, 64);
    GroupBoxDivingTimeSignal->setEnabled(false);
    CheckBoxDivingTimeSignalEnable = Named(
        new QCheckBox(QStringLiteral("On"), GroupBoxDivingTimeSignal), "CheckBoxDivingTimeSignalEnable");
    CheckBoxDivingTimeSignalEnable->adjustSize();
    CheckBoxDivingTimeSignalEnable->move(8, 32);
    Label11 = MakeLabel(GroupBoxDivingTimeSignal, "Label11", S("1st check signal"), 68, 14);
    Label11->setEnabled(false);
    ComboBoxDivingTimeSignal1 =
        Named(new QComboBox(GroupBoxDivingTimeSignal), "ComboBoxDivingTimeSignal1");
    ComboBoxDivingTimeSignal1->addItems(
        {S("in 10 min."), S("in 20 min."), S("in 30 min."), S("in 2 min. (Test)")});
    ComboBoxDivingTimeSignal1->setGeometry(68, 32, 100, 21);
    ComboBoxDivingTimeSignal1->setCurrentIndex(-1);
    ComboBoxDivingTimeSignal1->setEnabled(false);
    Label12 = MakeLabel(GroupBoxDivingTimeSignal, "Label12", S("From 2nd check signal"), 186, 14);
    Label12->setEnabled(false);
    ComboBoxDivingTimeSignal2 =
        Named(new QComboBox(GroupBoxDivingTimeSignal), "ComboBoxDivingTimeSignal2");
    ComboBoxDivingTimeSignal2->addItems(
        {S("every 5 min."), S("every 10 min."), S("every 1 min. (Test)")});
    ComboBoxDivingTimeSignal2->setGeometry(186, 32, 120, 21);
    ComboBoxDivingTimeSignal2->setCurrentIndex(-1);
    ComboBoxDivingTimeSignal2->setEnabled(false);
    EditDivingTimeSignal = MakeEdit(c, "EditDivingTimeSignal", 340, 534, 117, 22, false, false);

    Label4 = MakeLabel(c, "Label4", QStringLiteral("Updating."), 96, 582);
    SpeedButton2 = Named(new TSpeedButton(QStringLiteral("Apply"), c), "SpeedButton2");
    SpeedButton2->setGeometry(179, 577, 69, 22);
    SpeedButton2->setEnabled(false);
    SpeedButton3 = Named(new TSpeedButton(QStringLiteral("Default"), c), "SpeedButton3");
    SpeedButton3->setGeometry(263, 577, 69, 22);
    SpeedButton3->setEnabled(false);
    ButtonReconnect = Named(new QPushButton(QStringLiteral("Reconnect"), c), "ButtonReconnect");
    ButtonReconnect->setGeometry(376, 577, 83, 22);
    ProgressBar1 = Named(new QProgressBar(c), "ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setGeometry(16, 609, 441, 17);
    LabelParamCnt = MakeLabel(c, "LabelParamCnt", QStringLiteral("LabelParamCnt"), 504, 609);
    SpeedButton1 = Named(new TSpeedButton(QStringLiteral("Close"), c), "SpeedButton1");
    SpeedButton1->setGeometry(16, 873, 85, 22);
    Memo1 = Named(new QPlainTextEdit(c), "Memo1");
    Memo1->setGeometry(12, 666, 829, 193);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->viewport()->installEventFilter(this);

    connect(SpeedButton1, &QToolButton::clicked, this, [this] { Guarded([this] { SpeedButton1Click(); }); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { Guarded([this] { SpeedButton2Click(); }); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { Guarded([this] { SpeedButton3Click(); }); });
    connect(ButtonReconnect, &QPushButton::clicked, this,
            [this] { Guarded([this] { ButtonReconnectClick(); }); });
    connect(Edit1, &QLineEdit::textChanged, this, [this] { Guarded([this] { Edit1Change(); }); });
    connect(EditKIND, &QLineEdit::textChanged, this, [this] { Guarded([this] { EditKINDChange(); }); });
    // The click rule runs on every change of the checked state, by the user or the program.
    connect(CheckBoxDivingTimeSignalEnable, &QCheckBox::toggled, this,
            [this] { Guarded([this] { CheckBoxDivingTimeSignalEnableClick(); }); });
}

void TForm1::CreateMenus() {
    auto* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    File1 = bar->addMenu(QStringLiteral("File"));
    File1->setObjectName(QStringLiteral("File1"));
    Exit1 = File1->addAction(QStringLiteral("Close"));
    Exit1->setObjectName(QStringLiteral("Exit1"));
    Info1 = bar->addMenu(QStringLiteral("Info"));
    Info1->setObjectName(QStringLiteral("Info1"));
    Version1 = Info1->addAction(QStringLiteral("Version"));
    Version1->setObjectName(QStringLiteral("Version1"));
    connect(Exit1, &QAction::triggered, this, [this] { Guarded([this] { Exit1Click(); }); });
    connect(Version1, &QAction::triggered, this, [this] { Guarded([this] { Version1Click(); }); });
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TForm1::FormCreate() {
    // Double-buffered drawing is what Qt does anyway.
    StepNo = 0;
    FirstCheck = true;
    uploadData.clear();
    Label4->setText(QString());
    setWindowTitle(S(app::kVersionCaption));
    AddLog(S("Start Sonavelle customize tool ver.1.8.0"));
    initParamReadCnt = 0;
}

void TForm1::FormDestroy() { uploadData.clear(); }

void TForm1::WriteLog(const QString& text, int direction) {
    const QDateTime now = clock_->Now();
    QString line = now.toString(QStringLiteral("yy/MM/dd HH:mm:ss zzz,"));
    line += direction == kLogReceived ? QStringLiteral("<<")
            : direction == kLogSent   ? QStringLiteral(">>")
                                      : QStringLiteral("  ");
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).unicode() <= 0x20) --end;
    line += QStringView(text).left(end);
    log_.append(line);
    if (logFile_) logFile_->write(line.toUtf8().append('\n'));
    if (Memo1->isVisible() && !Memo1->visibleRegion().isEmpty()) Memo1->viewport()->update();
}

void TForm1::SetLogFile(std::unique_ptr<QIODevice> file) {
    logFile_ = std::move(file);
    for (const QString& line : std::as_const(log_))
        logFile_->write(line.toUtf8().append('\n'));
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

void TForm1::WriteLog(const std::string& bytes, int direction) {
    WriteLog(BytesText(bytes), direction);
}

void TForm1::AddLog(const QString& text) { WriteLog(text, kLogNote); }
void TForm1::AddLog(const std::string& bytes) { WriteLog(bytes, kLogNote); }

void TForm1::Exit1Click() { close(); }
void TForm1::SpeedButton1Click() { close(); }

void TForm1::Version1Click() {
    Dialogs().ShowAbout(S(app::kDesignCaption),
                        {S(app::kVersionCaption),
                         S("Customises the settings of Sonavelle transceivers."), QString(),
                         S("Copyright (C) Sonavelle. All rights reserved.")});
}
