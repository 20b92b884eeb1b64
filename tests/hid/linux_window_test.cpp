// The real window over the Linux HID services: a transceiver node emulated by umockdev,
// answered by the simulated unit, plugged after start-up and driven by Qt's event loop,
// through connection, identification, read-back, one Apply and the unplug.
#include "EmulatedTransceiver.h"
#include "support/ConversationPeer.h"
#include "UmockdevPreload.h"
#include "app/Main.h"
#include "hid/HidControllerClass.h"
#include "hid/qt/QtMainThread.h"
#include "sim/Transceiver.h"
#include "support/Recording.h"
#include "support/ThreadWait.h"
#include "support/WindowWidgets.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdlib>
#include <functional>
#include <string>

using namespace testing_support;

namespace {

// The window's clock, standing still while a reply is on its way. The read-back ends one
// second after the last reply; a main thread held up on a loaded machine must not end it
// while replies are still queued in the unit or in flight to the window.
class TQuietClock final : public core::TClock {
  public:
    core::TTimePoint Now() const override {
        const int64_t ms = quietNs / 1000000;
        return {start.utcMs + ms, start.wallMs + ms};
    }
    const core::TTimePoint start = TSystemClock().Now();
    int64_t quietNs = 0; // time that has passed while quiet
};

class LinuxWindowTest : public ::testing::Test {
  protected:
    // First: the services' udev monitor comes after the testbed, and goes before it.
    TEmulatedTransceiver node{[] {
        sim::Profile p = sim::MakeProfile("DW730 TONAL", "201036");
        p.replyIntervalUs = 5000;
        return p;
    }()};

    hid::TQtMainThread mainThread;
    std::unique_ptr<hid::TPlatformServices> services;
    TForm1* form = nullptr;
    TRecordingDialogs* dialogs = nullptr;
    TQuietClock* clock = nullptr;

    void SetUp() override {
        services = hid::CreateSystemServices();
        ASSERT_TRUE(services->Available());
        auto controller = std::make_unique<hid::THidDeviceController>(*services, mainThread);
        auto* loading = controller.get();
        auto recording = std::make_unique<TRecordingDialogs>();
        dialogs = recording.get();
        auto quietClock = std::make_unique<TQuietClock>();
        clock = quietClock.get();
        form = new TForm1(
            TFormServices{std::move(controller), std::move(quietClock), std::move(recording)});
        loading->Loaded();
        // Start-up finds no transceiver; one found by the first look must be unplugged first.
        ASSERT_TRUE(Run([&] { return !form->Conversation().FirstCheck(); }));
    }

    void TearDown() override {
        delete form; // closes the node before the testbed goes
        form = nullptr;
        services.reset();
    }

    // Every report written to the node has been logged by the window (one "<<" line each;
    // this conversation uploads nothing, whose notes would count too).
    bool CaughtUp() const {
        int received = 0; // "<<" follows the time stamp "yy/MM/dd hh:mm:ss zzz,"
        for (const QString& line : form->LogLines())
            if (line.mid(22, 2) == QLatin1String("<<")) ++received;
        return received >= node.Delivered();
    }

    // One reply at a time, once the window has the one before.
    void Pump() {
        if (CaughtUp()) node.Deliver();
    }

    // Nothing queued in the unit and nothing on its way to the window.
    bool Quiet() { return !node.Pending() && CaughtUp(); }

    // Runs Qt's event loop and the pump until done() holds or maxMs have passed. The
    // window's clock moves on with real time only while Quiet().
    bool Run(const std::function<bool()>& done, int maxMs = 2 * testing_support::kThreadWaitMs) {
        QElapsedTimer timer;
        timer.start();
        qint64 lastNs = 0;
        while (!done()) {
            if (timer.elapsed() >= maxMs) return false;
            Pump();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            QThread::usleep(500);
            const qint64 nowNs = timer.nsecsElapsed();
            if (Quiet()) clock->quietNs += nowNs - lastNs;
            lastNs = nowNs;
        }
        return true;
    }

    bool LogHas(const QString& text) const {
        for (const QString& line : form->LogLines())
            if (line.contains(text)) return true;
        return false;
    }

    std::string Stored(const char* key) { return node.Stored().Get(key).value_or("-"); }
};

TEST_F(LinuxWindowTest, ConnectsIdentifiesAppliesAndLetsTheUnitGo) {
    node.Plug();
    ASSERT_TRUE(Run([&] {
        return form->Conversation().Phase() == core::TPhase::Ready &&
               SpeedButton2(form)->isEnabled();
    })) << ::testing::PrintToString(form->Conversation().Phase())
        << "\n"
        << form->LogLines().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(LogHas(QStringLiteral("HID_Open:CheckOut QD device2.")));
    EXPECT_TRUE(LogHas(QStringLiteral(">>VER")));
    EXPECT_TRUE(LogHas(QStringLiteral(">>KIND")));
    EXPECT_TRUE(LogHas(QStringLiteral("-OK 201036")));
    EXPECT_TRUE(LogHas(QStringLiteral("-OK DW730 TONAL")));
    EXPECT_TRUE(LogHas(QStringLiteral("-OK Sonavelle serial number : SV0000000001")));
    EXPECT_EQ(Edit1(form)->text(), QStringLiteral("201036"));
    EXPECT_EQ(EditKIND(form)->text(), QStringLiteral("DW730 TONAL"));
    const std::string serial =
        node.Inspect([](const auto& unit) { return unit.GetProfile().serial; });
    EXPECT_EQ(Edit2(form)->text(), QString::fromStdString(serial));
    EXPECT_TRUE(dialogs->errors.empty() && dialogs->messages.empty())
        << ::testing::PrintToString(dialogs->errors) << ::testing::PrintToString(dialogs->messages);

    const std::string before = Stored("PhoneOutVol");
    ASSERT_NE(before, "-12");
    RadioGroup1(form)->SetItemIndex(0);
    SpeedButton2(form)->click();
    ASSERT_NE(form->Conversation().Phase(), core::TPhase::Ready);
    ASSERT_TRUE(Run([&] { return form->Conversation().Phase() == core::TPhase::Ready; }))
        << form->LogLines().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(Stored("PhoneOutVol"), "-12");

    node.Unplug();
    ASSERT_TRUE(Run([&] { return LogHas(QStringLiteral("Disconnect device.")); }))
        << form->LogLines().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(testing_support::Peer(form->Conversation()).Device(), nullptr);
    EXPECT_FALSE(SpeedButton2(form)->isEnabled());
    EXPECT_TRUE(dialogs->errors.empty() && dialogs->messages.empty())
        << ::testing::PrintToString(dialogs->errors) << ::testing::PrintToString(dialogs->messages);
}

} // namespace

int main(int argc, char** argv) {
    RunWithUmockdevPreload(argv);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
