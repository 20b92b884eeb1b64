// The window as the rest of the tool and the user see it: controls, menus, log, About.
#include "support/WindowFixture.h"
#include "support/ConversationPeer.h"
#include "support/WindowWidgets.h"

#include <QDateTime>
#include <QMenuBar>
#include <QScreen>
#include <QRadioButton>

using namespace testing_support;

namespace {

struct ControlRow {
    const char* name;
    const char* kind; // Qt class name
    QString caption;  // label/button/group caption; empty: not checked
    QRect geometry;   // width/height 0: only the position is fixed
    bool enabled;
    bool visible;
};

QString U(const char* s) {
    return QString::fromUtf8(s);
}

const ControlRow kControls[] = {
    {"Label1", "QLabel", U("Version :"), {50, 12, 0, 0}, true, true},
    {"Edit1", "TEdit", {}, {104, 12, 105, 17}, true, true},
    {"Label2", "QLabel", U("Serial number :"), {15, 36, 0, 0}, true, true},
    {"Edit2", "TEdit", {}, {104, 36, 105, 17}, true, true},
    {"Label8", "QLabel", U("Model :"), {250, 12, 0, 0}, true, false},
    {"EditKIND", "TEdit", {}, {296, 12, 161, 17}, true, true},
    {"Label13", "QLabel", U("Language:"), {233, 36, 0, 0}, true, true},
    {"EditLanguage", "TEdit", {}, {296, 36, 161, 17}, true, true},
    {"Label5", "QLabel", U("Current setting"), {340, 58, 0, 0}, true, true},
    {"GroupBox1", "QGroupBox", U("Volume"), {12, 60, 321, 64}, true, true},
    {"RadioGroup1", "TRadioGroup", {}, {}, false, true},
    {"Edit5", "TEdit", {}, {340, 96, 117, 22}, true, true},
    {"RadioGroup3",
     "TRadioGroup",
     U("Automatic switching from \"Transmitting\" to \"Receiving\""),
     {12, 132, 321, 45},
     false,
     true},
    {"Edit7", "TEdit", {}, {340, 146, 117, 22}, true, true},
    {"GroupBox2", "QGroupBox", U("Hands-Free mode"), {12, 184, 321, 64}, true, true},
    {"Label9", "QLabel", U("Min"), {}, true, false},
    {"Label10", "QLabel", U("<<  Sensitivity  >>           Max"), {}, true, false},
    {"RadioGroup4", "TRadioGroup", {}, {}, false, true},
    {"Edit8", "TEdit", {}, {340, 218, 117, 22}, true, true},
    {"Label3",
     "QLabel",
     U("The Sonavelle firmware you have is not supported in this tool."),
     {61, 198, 0, 0},
     true,
     false},
    {"RGChannel", "TRadioGroup", U("Channel"), {12, 256, 321, 45}, false, true},
    {"EdtChannel", "TEdit", {}, {340, 270, 117, 22}, true, true},
    {"RadioGroup5", "TRadioGroup", U("Voice recorder"), {12, 310, 321, 77}, true, true},
    {"Edit9", "TEdit", {}, {340, 324, 117, 22}, true, true},
    {"RgDiveComInterface",
     "TRadioGroup",
     U("Dive-computer interface"),
     {12, 396, 321, 45},
     false,
     true},
    {"EdtDiveComInterface", "TEdit", {}, {340, 410, 117, 22}, true, true},
    {"RadioGroupVoiceGuideLevel",
     "TRadioGroup",
     U("Voice guide level"),
     {12, 450, 321, 45},
     false,
     true},
    {"EditVoiceGuideLevel", "TEdit", {}, {340, 464, 117, 22}, true, true},
    {"GroupBoxDivingTimeSignal", "QGroupBox", U("Air check time"), {12, 504, 321, 64}, false, true},
    {"CheckBoxDivingTimeSignalEnable", "QCheckBox", U("On"), {8, 32, 0, 0}, true, true},
    {"Label11", "QLabel", U("1st check signal"), {68, 14, 0, 0}, false, true},
    {"ComboBoxDivingTimeSignal1", "QComboBox", {}, {68, 32, 100, 0}, false, true},
    {"Label12", "QLabel", U("From 2nd check signal"), {186, 14, 0, 0}, false, true},
    {"ComboBoxDivingTimeSignal2", "QComboBox", {}, {186, 32, 120, 0}, false, true},
    {"EditDivingTimeSignal", "TEdit", {}, {340, 534, 117, 22}, true, true},
    {"Label4", "QLabel", {}, {96, 582, 0, 0}, true, true},
    {"SpeedButton2", "TSpeedButton", U("Apply"), {179, 577, 69, 22}, false, true},
    {"SpeedButton3", "TSpeedButton", U("Default"), {263, 577, 69, 22}, false, true},
    {"ButtonReconnect", "QPushButton", U("Reconnect"), {376, 577, 83, 22}, true, true},
    {"ProgressBar1", "QProgressBar", {}, {16, 609, 441, 17}, true, true},
    {"LabelParamCnt", "QLabel", U("LabelParamCnt"), {504, 609, 0, 0}, true, true},
    {"SpeedButton1", "TSpeedButton", U("Close"), {16, 873, 85, 22}, true, true},
    {"Memo1", "QPlainTextEdit", {}, {12, 666, 829, 193}, true, true},
};

QString CaptionOf(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    return {};
}

using WindowLayout = WindowTest;

TEST(WindowLayoutAtCreation, EveryControlOfTheTableIsThereWithItsInitialState) {
    // As created, before the controller's first device change resets the panel.
    auto form = std::make_unique<TForm1>(TFormServices{std::make_unique<TFakeHidController>(),
                                                       std::make_unique<TManualClock>(),
                                                       std::make_unique<TRecordingDialogs>()});
    for (const auto& row : kControls) {
        SCOPED_TRACE(row.name);
        auto* w = form->findChild<QWidget*>(QLatin1String(row.name));
        ASSERT_NE(w, nullptr);
        EXPECT_STREQ(w->metaObject()->className(), row.kind);
        if (!row.caption.isNull()) {
            EXPECT_EQ(CaptionOf(w), row.caption);
        }
        if (row.geometry.topLeft() != QPoint()) {
            EXPECT_EQ(w->pos(), row.geometry.topLeft());
            if (row.geometry.width()) {
                EXPECT_EQ(w->width(), row.geometry.width());
            }
            if (row.geometry.height()) {
                EXPECT_EQ(w->height(), row.geometry.height());
            }
        }
        EXPECT_EQ(!w->testAttribute(Qt::WA_ForceDisabled), row.enabled); // its own state
        EXPECT_EQ(!w->isHidden(), row.visible);
    }
}

TEST_F(WindowLayout, ChoiceItemsAndColumnsAreTheUsersChoices) {
    EXPECT_EQ(RadioGroup1(form)->Items(), (QStringList{U("1"), U("2"), U("3"), U("4"), U("5")}));
    EXPECT_EQ(RadioGroup3(form)->Items(), (QStringList{U("Off"), U("On")}));
    EXPECT_EQ(RadioGroup4(form)->Items(),
              (QStringList{U("Off"), U("1"), U("2"), U("3"), U("4"), U("5")}));
    EXPECT_EQ(RGChannel(form)->Items(), (QStringList{U("A ch"), U("B ch"), U("C ch")}));
    EXPECT_EQ(RadioGroup5(form)->Items(),
              (QStringList{U("Oｆｆ"), U("Transmitting record"), U("Receiving record"),
                           U("All record"), U("Record only")}));
    EXPECT_EQ(RgDiveComInterface(form)->Items(), (QStringList{U("Off"), U("Beep"), U("Voice")}));
    EXPECT_EQ(RadioGroupVoiceGuideLevel(form)->Items(),
              (QStringList{U("Low"), U("Middle"), U("High")}));
    ASSERT_EQ(ComboBoxDivingTimeSignal1(form)->count(), 4);
    EXPECT_EQ(ComboBoxDivingTimeSignal1(form)->itemText(3), U("in 2 min. (Test)"));
    ASSERT_EQ(ComboBoxDivingTimeSignal2(form)->count(), 3);
    EXPECT_EQ(ComboBoxDivingTimeSignal2(form)->itemText(2), U("every 1 min. (Test)"));
    for (auto* g : {RadioGroup1(form), RadioGroup3(form), RadioGroup4(form), RGChannel(form),
                    RadioGroup5(form), RgDiveComInterface(form), RadioGroupVoiceGuideLevel(form)})
        EXPECT_EQ(g->ItemIndex(), -1) << g->objectName().toStdString();
    EXPECT_EQ(ComboBoxDivingTimeSignal1(form)->currentIndex(), -1);
    // Five items in two columns: three rows, filled column by column.
    EXPECT_EQ(RadioGroup5(form)->Button(3)->x(), RadioGroup5(form)->Button(4)->x());
    EXPECT_LT(RadioGroup5(form)->Button(2)->x(), RadioGroup5(form)->Button(3)->x());
    EXPECT_EQ(Edit9(form)->Tag, -1);
    EXPECT_EQ(EdtDiveComInterface(form)->Tag, -1);
}

TEST_F(WindowLayout, RebuiltListsKeepTheirColumns) {
    for (const char* model : {"DW720 MIV", "DW730 VELMORAS_SPECIAL", "DW730 TONAL"}) {
        SetIdentity("", model, false, false);
        for (auto* g : {RGChannel(form), RgDiveComInterface(form)}) {
            // Side by side in one row, as the window defines them.
            EXPECT_EQ(g->Button(0)->y(), g->Button(1)->y()) << model;
            EXPECT_LT(g->Button(0)->x(), g->Button(1)->x()) << model;
        }
    }
}

TEST_F(WindowLayout, RadioGroupIndexCanBeClearedAndRebuildClearsIt) {
    auto* g = RGChannel(form);
    g->SetItemIndex(2);
    EXPECT_EQ(g->ItemIndex(), 2);
    g->SetItemIndex(-1);
    EXPECT_EQ(g->ItemIndex(), -1);
    g->SetItemIndex(1);
    g->SetItems({U("ch A"), U("ch S")});
    EXPECT_EQ(g->ItemIndex(), -1);
    g->SetItemIndex(7);
    EXPECT_EQ(g->ItemIndex(), -1);
}

TEST_F(WindowLayout, FixedClientAreaAndCaptions) {
    EXPECT_EQ(Client(form)->size(), QSize(470, 636));
    EXPECT_EQ(form->windowTitle(), U("Sonavelle customize tool ver.1.8.0"));
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(Label4(form)->text(), QString());
    EXPECT_EQ(ProgressBar1(form)->value(), 0);
    EXPECT_FALSE(form->Timer().Enabled());
    EXPECT_EQ(form->Timer().Tag, 0);
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Idle);
    // The log, the Close button and the parameter count lie outside the client area.
    const QRect client(QPoint(), Client(form)->size());
    for (QWidget* w :
         {static_cast<QWidget*>(Memo1(form)), static_cast<QWidget*>(SpeedButton1(form)),
          static_cast<QWidget*>(LabelParamCnt(form))})
        EXPECT_FALSE(client.intersects(w->geometry())) << w->objectName().toStdString();
}

TEST_F(WindowLayout, MenusAndAboutBox) {
    EXPECT_EQ(File1(form)->title(), U("File"));
    QStringList items; // "name text", a separator as "-"
    for (const QAction* a : File1(form)->actions())
        items << (a->isSeparator() ? U("-") : a->objectName() + U(" ") + a->text());
    EXPECT_EQ(
        items,
        (QStringList{U("SaveSettings1 Save settings as..."), U("LoadSettings1 Load settings..."),
                     U("-"), U("Restore1 Restore settings..."),
                     U("ServiceRecord1 Show service record..."),
                     U("SaveRecordCsv1 Save service record as CSV..."), U("-"), U("Exit1 Close")}));
    EXPECT_EQ(Info1(form)->title(), U("Info"));
    items.clear();
    for (const QAction* a : Info1(form)->actions())
        items << a->objectName() + U(" ") + a->text();
    EXPECT_EQ(items, (QStringList{U("Version1 Version"), U("ShowLog1 Show log...")}));
    Version1(form)->trigger();
    ASSERT_EQ(dialogs->about.size(), 4);
    EXPECT_TRUE(dialogs->about[2].empty());
    EXPECT_FALSE(dialogs->about[0].empty());
    EXPECT_FALSE(dialogs->about[3].empty());
}

TEST(WindowStartUp, LogsExactlyOneLineBeforeTheFirstDeviceChange) {
    auto controller = std::make_unique<TFakeHidController>();
    auto* hid = controller.get();
    TForm1 form(TFormServices{std::move(controller), std::make_unique<TManualClock>(),
                              std::make_unique<TRecordingDialogs>()});
    EXPECT_EQ(form.LogLines(),
              QStringList{U("26/12/07 19:20:30 456,  Start Sonavelle customize tool ver.1.8.0")});
    hid->NotifyChange();
    EXPECT_EQ(form.LogLines().at(1).mid(22), U("  device change."));
}

TEST(WindowStartUp, SaysWhenPlugInsCannotBeNoticed) {
    auto controller = std::make_unique<TFakeHidController>();
    controller->Notices = false;
    TForm1 form(TFormServices{std::move(controller), std::make_unique<TManualClock>(),
                              std::make_unique<TRecordingDialogs>()});
    ASSERT_EQ(form.LogLines().size(), 2);
    EXPECT_EQ(
        form.LogLines()[1].mid(22),
        U("  Hot-plug notices are unavailable: a transceiver plugged in later is not noticed."));
}

TEST_F(WindowLayout, CentredOnTheScreenWhenShown) {
    form->move(0, 0);
    form->show();
    const QRect screen = form->screen()->availableGeometry();
    const QPoint offset = form->frameGeometry().center() - screen.center();
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
}

TEST_F(WindowLayout, LogLinesAreTheSharedFormatOfTheLocalTime) {
    clock->SetWall(QDateTime(QDate(2009, 3, 4), QTime(5, 6, 7, 8), Qt::UTC).toMSecsSinceEpoch());
    form->AddLog(U("バージョン201036 "));
    form->WriteLog(std::string("OK\x80"), kLogReceived); // device bytes: one byte, one character
    const QStringList lines = form->LogLines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[lines.size() - 2], U("09/03/04 05:06:07 008,  バージョン201036"));
    EXPECT_EQ(lines.back(), QString(U("09/03/04 05:06:07 008,<<OK") + QChar(0x80)));
}

TEST_F(WindowLayout, TheLogPaneShowsTheLogWhenItIsDrawn) {
    form->AddLog(U("first"));
    form->WriteLog(std::string("OK"), kLogReceived);
    Memo1(form)->grab(); // as the pane is drawn
    EXPECT_EQ(Memo1(form)->toPlainText().split(QLatin1Char('\n')), form->LogLines());
    form->AddLog(U("later"));
    Memo1(form)->grab();
    EXPECT_EQ(Memo1(form)->toPlainText().split(QLatin1Char('\n')), form->LogLines());
}

TEST_F(WindowLayout, AnErrorInsideAHandlerIsShownAndTheProgramGoesOn) {
    PlugTransceiver();
    testing_support::Peer(form->Conversation()).SetPhase(core::TPhase::ReadingDefaults);
    Answer("OK CsgVoxNzccTh 1.x"); // the default set's reader raises
    ASSERT_EQ(dialogs->errors.size(), 1);
    EXPECT_EQ(dialogs->errors[0], std::string("'1.x' is not a valid floating point value"));
    Answer("OK RecordSw 1");
    EXPECT_EQ(LabelParamCnt(form)->text(), U("ParameterCount=1"));
}

} // namespace
