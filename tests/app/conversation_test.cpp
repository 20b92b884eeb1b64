// Discovery, the tick and identification, answered by hand through the fake contract.
#include "support/WindowFixture.h"
#include "support/ConversationPeer.h"
#include "support/WindowWidgets.h"

#include <QCoreApplication>
#include <QElapsedTimer>

using namespace testing_support;

namespace {

QString U(const char* s) {
    return QString::fromUtf8(s);
}

using Sequencer = WindowTest;

TEST_F(Sequencer, IdleTickLogsNothingAndEnablesTheMenus) {
    testing_support::Peer(form->Conversation()).SetPhase(core::TPhase::Ready);
    Tick(); // "1 status" once
    const auto before = form->LogLines().size();
    Tick();
    EXPECT_EQ(form->LogLines().size(), before);
    EXPECT_TRUE(File1(form)->menuAction()->isEnabled());
    EXPECT_TRUE(Info1(form)->menuAction()->isEnabled());
    testing_support::Peer(form->Conversation()).SetPhase(core::TPhase::ReadingDefaults);
    Tick();
    EXPECT_FALSE(File1(form)->menuAction()->isEnabled());
    EXPECT_EQ(LogTexts().last(), U("  7 status"));
}

TEST_F(Sequencer, FirstTicksAfterOpeningLogStatusAndSendTheClock) {
    PlugTransceiver();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::SendingClock);
    EXPECT_TRUE(form->Timer().Enabled());
    Tick();
    EXPECT_TRUE(LogHas(U("  2 status")));
    ASSERT_EQ(Commands().size(), 1u);
    EXPECT_EQ(Commands()[0].rfind("RTC SET ", 0), 0u);
    Tick();
    EXPECT_EQ(LogTexts().last(), U("  3 status"));
    Tick(5);
    EXPECT_EQ(Commands().size(), 1u); // waits without limit, logs nothing more
    EXPECT_EQ(LogTexts().last(), U("  3 status"));
}

TEST_F(Sequencer, StepsOutsideTheTableOnlyUpdateTheMenus) {
    PlugTransceiver();
    for (int32_t step : {20, 25, 100, 0, 1}) {
        testing_support::Peer(form->Conversation()).SetStep(step);
        Tick();
        EXPECT_EQ(params::StepNumber(form->Conversation().Phase()), step);
    }
    EXPECT_EQ(Commands().size(), 0u);
}

TEST_F(Sequencer, CloseDeviceChecksInAndKeepsTicking) {
    PlugTransceiver();
    testing_support::Peer(form->Conversation()).SetPhase(core::TPhase::Closing);
    Tick();
    EXPECT_EQ(testing_support::Peer(form->Conversation()).Device(), nullptr);
    EXPECT_FALSE(form->Conversation().Running());
    Tick(3);
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Closing);
    EXPECT_FALSE(File1(form)->menuAction()->isEnabled());
    EXPECT_TRUE(form->Timer().Enabled());
}

TEST_F(Sequencer, TickDetachesItselfAndReattachesEvenAfterAnError) {
    EXPECT_TRUE(form->Timer().Attached());
    EXPECT_FALSE(form->Timer().Active()); // disabled until a transceiver is opened
    PlugTransceiver();
    EXPECT_TRUE(form->Timer().Active());
    Tick();
    EXPECT_TRUE(form->Timer().Attached());
    EXPECT_TRUE(form->Timer().Active());
    // A handler that raises: the box shows the error, the next tick runs as usual.
    unit->OnWrite = [](const std::string&) { throw std::runtime_error("boom"); };
    testing_support::Peer(form->Conversation()).SetPhase(core::TPhase::SendingClock);
    Tick();
    EXPECT_EQ(dialogs->errors, QStringList{U("boom")});
    EXPECT_TRUE(form->Timer().Attached());
    unit->OnWrite = nullptr;
    EXPECT_EQ(form->Conversation().Phase(),
              core::TPhase::SendingClock); // the failed tick did not get as far as moving on
    Tick();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::SettingClock);
}

TEST_F(Sequencer, HandlerThatProcessesPendingEventsCannotReenterTheTick) {
    PlugTransceiver();
    bool staged = false;
    // A step's handler processes pending events (as showing the panel does) while the
    // timer is running: no tick may be due or queued meanwhile.
    unit->OnWrite = [&](const std::string&) {
        staged = true;
        EXPECT_FALSE(form->Timer().Attached());
        EXPECT_FALSE(form->Timer().Active());
        QCoreApplication::processEvents();
    };
    Tick();
    ASSERT_TRUE(staged);
    EXPECT_EQ(Commands().size(), 1u);
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::SettingClock);
    EXPECT_TRUE(form->Timer().Active());
}

TEST_F(Sequencer, OnlyTheTestTicksTheWindowWhileEventsAreProcessed) {
    PlugTransceiver();
    ASSERT_TRUE(form->Timer().Active());
    // Several intervals of the real timer pass with the event loop running: a device change
    // redraws the panel this way, and the conversation must not move on its own meanwhile.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 20)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_FALSE(LogHas(U("  2 status")));
    EXPECT_TRUE(Commands().empty());
    Tick();
    EXPECT_TRUE(LogHas(U("  2 status")));
}

TEST_F(Sequencer, ClockValueCountsWallClockSecondsSince2001) {
    EXPECT_EQ(ClockValueAt(QDateTime(QDate(2001, 1, 2), QTime(0, 0))), 86400);
    EXPECT_EQ(ClockValueAt(QDateTime(QDate(2001, 1, 1), QTime(0, 0, 1, 999))), 1);
    EXPECT_EQ(ClockValueAt(QDateTime(QDate(2000, 12, 31), QTime(23, 59, 58, 500))), 1);
    clock->now = QDateTime(QDate(2001, 1, 2), QTime(0, 0));
    PlugTransceiver();
    Tick();
    EXPECT_EQ(Commands().at(0), "RTC SET 86400"); // the tick is 1 ms later
}

struct VersionRow {
    const char* reply;
    std::vector<std::string> commands; // after RTC SET and VER
    int32_t step;
    bool panel, extended, phone;
    const char* log;
};

class FirmwareDecision : public WindowTest, public ::testing::WithParamInterface<VersionRow> {};

TEST_P(FirmwareDecision, ChoosesThePathByTheVersion) {
    const auto& row = GetParam();
    PlugTransceiver();
    Tick();
    Answer("OK");
    Answer(row.reply);
    std::vector<std::string> sent = Commands();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[1], "VER");
    sent.erase(sent.begin(), sent.begin() + 2);
    EXPECT_EQ(sent, row.commands);
    EXPECT_EQ(params::StepNumber(form->Conversation().Phase()), row.step);
    EXPECT_EQ(!GroupBox1(form)->isHidden(), row.panel);
    EXPECT_EQ(Label3(form)->isHidden(), row.panel);
    EXPECT_EQ(form->Conversation().Identity().extendedFirmware, row.extended);
    EXPECT_EQ(form->Conversation().Identity().phoneVolume, row.phone);
    if (row.log) {
        EXPECT_TRUE(LogHas(U(row.log)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FirmwareDecision,
    ::testing::Values(
        VersionRow{"OK ABC", {"UPLS DWINFO.INI"}, 5, false, false, false, "  FWタイプ1"},
        VersionRow{"OK 201015", {"GSER"}, 6, false, false, false, "  FWタイプ2"},
        VersionRow{"OK 201016", {"GSER"}, 6, true, false, false, "  バージョン201016"},
        VersionRow{"OK 201019", {"GSER"}, 6, true, false, false, nullptr},
        VersionRow{"OK 201020", {"KIND"}, 18, true, true, false, nullptr},
        VersionRow{"OK 201032", {"KIND"}, 18, true, true, false, nullptr},
        VersionRow{"OK 201033", {"KIND"}, 18, true, true, true, nullptr},
        VersionRow{"OK 201999", {"KIND"}, 18, true, true, true, nullptr},
        VersionRow{"OK 202000", {"GSER"}, 6, false, false, false, nullptr},
        VersionRow{"OK 2010", {}, 4, true, false, false, "  バージョン2010"},
        VersionRow{"OK 2010201", {}, 4, true, false, false, nullptr},
        VersionRow{"OK ", {}, 4, true, false, false, nullptr},
        VersionRow{"NG", {}, 99, true, false, false, nullptr}));

TEST_F(WindowTest, NotSupportedNoticeGetsItsSecondLine) {
    PlugTransceiver();
    Tick();
    Answer("OK");
    Answer("OK 202000");
    EXPECT_EQ(Label3(form)->text(),
              U("The Sonavelle firmware you have is not supported in this tool.\r\nPlease update "
                "to the latest version."));
    EXPECT_EQ(Edit1(form)->text(), U("202000"));
    EXPECT_EQ(ProgressBar1(form)->value(), 15);
}

TEST_F(WindowTest, ClockReplyWithoutOkWaitsWithoutResending) {
    PlugTransceiver();
    Tick();
    Answer("NG");
    Answer("garbage");
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::SettingClock);
    EXPECT_EQ(Commands().size(), 1u);
    Answer("RTC OK");
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::ReadingVersion);
    EXPECT_EQ(ProgressBar1(form)->value(), 10);
}

TEST_F(WindowTest, FullIdentificationOfCurrentFirmware) {
    PlugTransceiver();
    Tick();
    EXPECT_EQ(ProgressBar1(form)->value(), 5);
    Answer("OK");
    Answer("OK 201036");
    Answer("OK DW730 TONAL");
    EXPECT_EQ(EditKIND(form)->text(), U("DW730 TONAL"));
    EXPECT_FALSE(Label8(form)->isHidden());
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::ReadingLanguage);
    Answer("OK ENGLISH");
    EXPECT_EQ(EditLanguage(form)->text(), U("ENGLISH"));
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::ReadingSerial);
    const auto sent = Commands();
    const std::vector<std::string> tail(sent.begin() + 1, sent.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"VER", "KIND", "LANGUAGE", "GSER"}));
    EXPECT_TRUE(LogHas(U("  モデル名 DW730 TONAL")));
    EXPECT_TRUE(LogHas(U("  LAGUAGE ENGLISH")));
}

TEST_F(WindowTest, ModelReplyBeforePhoneVolumeFirmwareGoesStraightToSerial) {
    PlugTransceiver();
    Tick();
    Answer("OK");
    Answer("OK 201026");
    Answer("OK DW730 TONAL");
    EXPECT_EQ(Commands().back(), "GSER");
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::ReadingSerial);
}

TEST_F(WindowTest, ModelOrLanguageWithoutOkEndsTheConversation) {
    PlugTransceiver();
    Tick();
    Answer("OK");
    Answer("OK 201036");
    Answer("NG");
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Closing);
    Tick();
    EXPECT_EQ(testing_support::Peer(form->Conversation()).Device(), nullptr);
    EXPECT_FALSE(form->Conversation().Running());
}

TEST_F(WindowTest, VersionNgLeavesModelEmptyAndHandsFreeBoxHidden) {
    PlugTransceiver();
    Tick();
    Answer("OK");
    SetPanelText(params::TControl::EditKIND, "stale");
    Answer("NG");
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Closing);
    EXPECT_EQ(EditKIND(form)->text(), QString());
    EXPECT_TRUE(Edit8(form)->isHidden());
}

using Discovery = WindowTest;

TEST_F(Discovery, StartUpWithNoTransceiverIsIdle) {
    EXPECT_FALSE(form->Conversation().FirstCheck());
    EXPECT_TRUE(LogHas(U("  HidCtrl1DeviceChange:Runung=False.")));
    EXPECT_FALSE(form->Timer().Enabled());
    EXPECT_TRUE(dialogs->messages.isEmpty());
}

TEST_F(Discovery, TransceiverAttachedAtStartUpMustBeRemoved) {
    delete form;
    auto controller = std::make_unique<TFakeHidController>();
    auto testDialogs = std::make_unique<TRecordingDialogs>();
    hid = controller.get();
    dialogs = testDialogs.get();
    unit = hid->Plug(TransceiverVendorID, 0x7800, false);
    form = new TForm1(TFormServices{std::move(controller), std::make_unique<TTestClock>(),
                                    std::move(testDialogs)});
    form->show();
    hid->NotifyChange();
    EXPECT_EQ(dialogs->messages, QStringList{U("Sonavelle customize tool|Remove Sonavelle.")});
    const QStringList log = LogTexts();
    const auto exist = log.indexOf(U("  Sonavelle exist."));
    ASSERT_GE(exist, 0);
    EXPECT_EQ(log.at(exist + 1), U("  Remove Sonavelle."));
    EXPECT_FALSE(form->isVisible());
}

TEST_F(Discovery, ConnectLogsInOrderAndStartsAtStepTwo) {
    auto* other = hid->Plug(0x046D, 0xC077, false);
    other->PnP.HardwareID = {"HID\\VID_046D&PID_C077", "HID\\VID_046D"};
    PlugTransceiver();
    const QStringList log = LogTexts();
    const auto change = log.lastIndexOf(U("  device change."));
    ASSERT_GE(change, 0);
    const QStringList tail = log.mid(change);
    EXPECT_TRUE(
        tail[1].startsWith(U("  HidCtlEnumerate: VenderID=046D DeviceID=C077 DevicePath=")));
    EXPECT_TRUE(tail.contains(U("    PnPInfo.HardwareID[1]=HID\\VID_046D")));
    const auto open = tail.indexOf(U("  HID_Open."));
    ASSERT_GT(open, 0);
    EXPECT_EQ(tail.mid(open + 1), (QStringList{U("  HID_Open:CheckOut QD device2."),
                                               U("  HidCtrl1DeviceChange:Runung=True."),
                                               U("  Connect device : Sonavelle")}));
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::SendingClock);
    EXPECT_TRUE(form->Conversation().Running());
}

TEST_F(Discovery, DumpOfADeviceWithEmptyListsHasTwentyFiveLines) {
    const auto before = form->LogLines().size();
    form->HidCtlEnumerate(hid->Plug(0x1234, 0x5678, false), 0);
    EXPECT_EQ(form->LogLines().size() - before, 25);
    EXPECT_EQ(LogTexts().at(before + 1), U("    PnPInfo.DeviceID=0"));
}

TEST_F(Discovery, ProductPreferenceAndForeignProducts) {
    hid->Plug(TransceiverVendorID, 0x7801, false);
    auto* older = hid->Plug(TransceiverVendorID, 0x7800, false);
    auto* newer = hid->Plug(TransceiverVendorID, 0x7802, false);
    hid->NotifyChange();
    EXPECT_EQ(testing_support::Peer(form->Conversation()).Device(), newer);
    EXPECT_TRUE(LogHas(U("  HID_Open:CheckOut QD device2.")));
    (void)older;
}

TEST_F(Discovery, OnlyAForeignProductOfTheVendorIsDumpedNotOpened) {
    hid->Plug(TransceiverVendorID, 0x7801);
    EXPECT_EQ(testing_support::Peer(form->Conversation()).Device(), nullptr);
    EXPECT_FALSE(form->Conversation().Running());
    EXPECT_TRUE(
        LogHas(QStringLiteral(
                   "  HidCtlEnumerate: VenderID=%1 DeviceID=7801 DevicePath=/dev/fake-hid0-%2-7801")
                   .arg(TransceiverVendorID, 4, 16, QLatin1Char('0'))
                   .arg(TransceiverVendorID, 4, 16, QLatin1Char('0'))
                   .replace(QStringLiteral("VenderID=") + QString::number(TransceiverVendorID, 16),
                            QStringLiteral("VenderID=") +
                                QString::number(TransceiverVendorID, 16).toUpper())));
}

TEST_F(Discovery, KeilBoardIsTheLastChoice) {
    auto* keil = hid->Plug(0x2342, 0x0043);
    EXPECT_EQ(testing_support::Peer(form->Conversation()).Device(), keil);
    EXPECT_TRUE(LogHas(U("  HID_Open:CheckOut keil device.")));
}

TEST_F(Discovery, UnplugDuringIdentificationDisconnectsAndReplugStartsAfresh) {
    PlugTransceiver();
    Tick();
    Answer("OK");
    testing_support::Peer(form->Conversation()).SetInitialRead(3, "", "");
    hid->Unplug(unit);
    EXPECT_EQ(testing_support::Peer(form->Conversation()).Device(), nullptr);
    EXPECT_FALSE(form->Timer().Enabled());
    EXPECT_FALSE(SpeedButton2(form)->isEnabled());
    EXPECT_EQ(testing_support::Peer(form->Conversation()).InitialReadCount(), 0);
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::ReadingVersion); // left as it was
    EXPECT_TRUE(LogHas(U("  Disconnect device.")));
    EXPECT_EQ(LogTexts().last(), U("  Clear initParamReadCnt."));
    EXPECT_EQ(hid->DeviceCount(), 0u);
    PlugTransceiver();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::SendingClock);
    Tick();
    EXPECT_EQ(Commands().size(), 1u);
}

TEST_F(Discovery, ReconnectWithoutTransceiverTurnsClosedIntoIdle) {
    testing_support::Peer(form->Conversation()).SetPhase(core::TPhase::Closing);
    ButtonReconnect(form)->click();
    const QStringList log = LogTexts();
    const auto reconnect = log.lastIndexOf(U("  Reconnect."));
    ASSERT_GE(reconnect, 0);
    EXPECT_EQ(log.mid(reconnect),
              (QStringList{U("  Reconnect."), U("  device change."), U("  HID_Open."),
                           U("  HidCtrl1DeviceChange:Runung=False.")}));
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Ready);
    EXPECT_FALSE(form->Timer().Enabled());
}

TEST_F(Discovery, ReconnectWithTheSameUnitChecksItOutAgainAndKeepsTheReadCount) {
    PlugTransceiver();
    testing_support::Peer(form->Conversation()).SetInitialRead(1, "", "");
    testing_support::Peer(form->Conversation()).SetPhase(core::TPhase::Ready);
    ButtonReconnect(form)->click();
    EXPECT_EQ(testing_support::Peer(form->Conversation()).Device(), unit);
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::SendingClock);
    EXPECT_EQ(testing_support::Peer(form->Conversation()).InitialReadCount(), 1);
    EXPECT_GE(hid->CheckInCount, 1);
}

TEST_F(Discovery, ResetDisplayClearsTheWholePanel) {
    SetIdentity("201036", "DW720 KEL", true, true);
    testing_support::Peer(form->Conversation()).ShowHandsFree(1, 0.6);
    testing_support::Peer(form->Conversation())
        .ShowDivingTimeSignal(params::EncodeDivingTimeSignal(1200, 600));
    form->Mirror();
    ASSERT_EQ(RadioGroup4(form)->ItemIndex(), 3);
    ASSERT_EQ(Edit8(form)->Tag, 3);
    ASSERT_TRUE(CheckBoxDivingTimeSignalEnable(form)->isChecked());
    ComboBoxDivingTimeSignal2(form)->setCurrentIndex(0);
    form->HidCtrl1DeviceChange(nullptr); // a device pass begins with the reset
    EXPECT_EQ(RadioGroup4(form)->ItemIndex(), -1);
    EXPECT_FALSE(RadioGroup4(form)->isEnabled());
    EXPECT_EQ(Edit8(form)->text(), QString());
    EXPECT_EQ(Edit8(form)->Tag, -1);
    EXPECT_FALSE(CheckBoxDivingTimeSignalEnable(form)->isChecked());
    EXPECT_EQ(ComboBoxDivingTimeSignal2(form)->currentIndex(), -1);
    EXPECT_EQ(ProgressBar1(form)->value(), 0);
    EXPECT_TRUE(Label3(form)->isHidden());
}

} // namespace
