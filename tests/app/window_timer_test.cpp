// The window's own part of the tick: its timer, which must neither re-enter the tick nor run
// on its own while a test drives it; the clock it hands the core; and closing at start-up.
// What the conversation does on each tick is tested on the core (tests/core).
#include "support/WindowFixture.h"
#include "support/WindowWidgets.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>

using namespace testing_support;

namespace {

QString U(const char* s) {
    return QString::fromUtf8(s);
}

using WindowTimer = WindowTest;

TEST_F(WindowTimer, TickDetachesItselfAndReattachesEvenAfterAnError) {
    EXPECT_TRUE(form->Timer().Attached());
    EXPECT_FALSE(form->Timer().Active()); // disabled until a transceiver is opened
    PlugTransceiver();
    EXPECT_TRUE(form->Timer().Active());
    // A handler that raises: the box shows the error, the next tick runs as usual.
    unit->OnWrite = [](const std::string&) { throw std::runtime_error("boom"); };
    Tick();
    EXPECT_EQ(dialogs->errors, std::vector<std::string>{"boom"});
    EXPECT_TRUE(form->Timer().Attached());
    EXPECT_TRUE(form->Timer().Active());
    unit->OnWrite = nullptr;
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::SendingClock); // the failed tick stayed
    Tick();
    EXPECT_EQ(form->Conversation().Phase(), core::TPhase::SettingClock);
}

TEST_F(WindowTimer, HandlerThatProcessesPendingEventsCannotReenterTheTick) {
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

TEST_F(WindowTimer, OnlyTheTestTicksTheWindowWhileEventsAreProcessed) {
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

TEST_F(WindowTimer, ClockValueCountsWallClockSecondsSince2001) {
    clock->SetWall(QDateTime(QDate(2001, 1, 2), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch());
    PlugTransceiver();
    Tick();
    EXPECT_EQ(Commands().at(0), "RTC SET 86400"); // the tick is 1 ms later
}

TEST_F(WindowTimer, TransceiverAttachedAtStartUpClosesTheWindow) {
    delete form;
    auto controller = std::make_unique<TFakeHidController>();
    auto testDialogs = std::make_unique<TRecordingDialogs>();
    hid = controller.get();
    dialogs = testDialogs.get();
    unit = hid->Plug(TransceiverVendorID, 0x7800, false);
    form = new TForm1(TFormServices{std::move(controller), std::make_unique<TManualClock>(),
                                    std::move(testDialogs)});
    form->show();
    hid->NotifyChange();
    EXPECT_EQ(dialogs->messages,
              std::vector<std::string>{"Sonavelle customize tool|Remove Sonavelle."});
    EXPECT_FALSE(form->isVisible());
}

} // namespace
