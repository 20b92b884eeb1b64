// The real window over the Linux HID services: a transceiver node emulated by umockdev,
// answered by the simulated unit, plugged after start-up and driven by Qt's event loop,
// through connection, identification, read-back, one Apply and the unplug.
#include "UmockdevPreload.h"
#include "app/Main.h"
#include "hid/HidControllerClass.h"
#include "hid/qt/QtMainThread.h"
#include "sim/Transceiver.h"
#include "support/ThreadWait.h"
#include "support/WindowWidgets.h"

#include <gtest/gtest.h>
#include <umockdev.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace testing_support;

namespace {

// A vendor collection with 1024-byte input and output reports, no report IDs.
const char* const kVendor1024 = "0600ff0901a101150026ff007508960004090181029600040901910"
                                "2c0";

class TRecordingDialogs final : public TDialogs {
  public:
    void ShowErrorBox(const QString& text) override { errors << text; }
    void ShowErrorMessage(const QString& caption, const QString& text) override {
        errors << caption + QStringLiteral("|") + text;
    }
    void ShowAbout(const QString&, const QStringList&) override {}
    QStringList errors;
};

// The window's clock, standing still while a reply is on its way. The read-back ends one
// second after the last reply; a main thread held up on a loaded machine must not end it
// while replies are still queued in the unit or in flight to the window.
class TQuietClock final : public TClock {
  public:
    QDateTime Now() const override { return start.addMSecs(quietNs / 1000000); }
    const QDateTime start = QDateTime::currentDateTime();
    int64_t quietNs = 0; // time that has passed while quiet
};

int64_t NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class LinuxWindowTest : public ::testing::Test {
  protected:
    const std::string usb = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
    const std::string intf = usb + "/1-2:1.0";
    const std::string hidDev = intf + "/0003:3A5C:7802.0001";
    const std::string raw = hidDev + "/hidraw/hidraw0";
    const std::string devNode = "/dev/hidraw0";

    UMockdevTestbed* bed = nullptr;
    UMockdevIoctlBase* handler = nullptr;
    std::mutex lock; // the unit is written from umockdev's thread, read from the main one
    sim::Transceiver unit{[] {
        sim::Profile p = sim::MakeProfile("DW730 TONAL", "201036");
        p.replyIntervalUs = 5000;
        return p;
    }()};
    bool gone = false;

    hid::TQtMainThread mainThread;
    std::unique_ptr<hid::TPlatformServices> services;
    TForm1* form = nullptr;
    TRecordingDialogs* dialogs = nullptr;
    TQuietClock* clock = nullptr;
    int delivered = 0; // input reports written to the node

    void SetUp() override {
        bed = umockdev_testbed_new();
        handler = umockdev_ioctl_base_new();
        g_signal_connect(handler, "handle-write", G_CALLBACK(&LinuxWindowTest::OnWrite), this);
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
        g_object_unref(handler);
        g_object_unref(bed);
    }

    static gboolean OnWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
        auto* test = static_cast<LinuxWindowTest*>(self);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        const gint length = arg->data_len;
        // A hidraw write starts with the report ID (0 here), as the unit's reports do.
        std::lock_guard guard(test->lock);
        if (test->gone || !test->unit.Write(arg->data, static_cast<size_t>(length), NowUs())) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
        umockdev_ioctl_client_complete(client, length, 0);
        return TRUE;
    }

    void Add(const std::string& Record) {
        GError* error = nullptr;
        ASSERT_TRUE(umockdev_testbed_add_from_string(bed, Record.c_str(), &error))
            << (error ? error->message : "") << "\n"
            << Record;
    }

    void PlugNode() {
        const auto sys = [](const std::string& s) { return s.substr(4); }; // without "/sys"
        Add("P: " + sys(usb) +
            "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: BUSNUM=001\n"
            "A: idVendor=3a5c\nA: idProduct=7802\nA: bcdDevice=0100\n"
            "A: manufacturer=Sonavelle\nA: product=Sonavelle Transceiver\n"
            "A: serial=SV0001\nA: busnum=1\nA: devpath=2\nA: removable=removable\n");
        Add("P: " + sys(intf) +
            "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=usbhid\n"
            "E: MODALIAS=usb:v3A5Cp7802d0100dc00dsc00dp00ic03isc00ip00in00\n"
            "A: bInterfaceNumber=00\n");
        Add("P: " + sys(hidDev) +
            "\nE: SUBSYSTEM=hid\nE: DRIVER=hid-generic\nE: HID_ID=0003:00003A5C:00007802"
            "\nE: HID_NAME=Sonavelle Sonavelle Transceiver\nE: HID_PHYS=usb-0000:00:14.0-2/input0"
            "\nE: HID_UNIQ=SV0001\nE: MODALIAS=hid:b0003g0001v00003A5Cp00007802"
            "\nH: report_descriptor=" +
            std::string(kVendor1024) + "\n");
        GError* error = nullptr;
        ASSERT_TRUE(umockdev_testbed_attach_ioctl(bed, devNode.c_str(), handler, &error))
            << (error ? error->message : "");
        Add("P: " + sys(raw) + "\nN: hidraw0\nE: SUBSYSTEM=hidraw\nE: DEVNAME=" + devNode +
            "\nE: MAJOR=243\nE: MINOR=0\nA: dev=243:0\nL: device=../../\n");
        umockdev_testbed_uevent(bed, raw.c_str(), "add");
    }

    void UnplugNode() {
        {
            std::lock_guard guard(lock);
            gone = true;
        }
        for (const std::string* p : {&raw, &hidDev, &intf, &usb})
            umockdev_testbed_uevent(bed, p->c_str(), "remove");
        for (const std::string* p : {&raw, &hidDev, &intf, &usb})
            umockdev_testbed_remove_device(bed, p->c_str());
    }

    // Every report written to the node has been logged by the window (one "<<" line each;
    // this conversation uploads nothing, whose notes would count too).
    bool CaughtUp() const {
        int received = 0; // "<<" follows the time stamp "yy/MM/dd hh:mm:ss zzz,"
        for (const QString& line : form->LogLines())
            if (line.mid(22, 2) == QLatin1String("<<")) ++received;
        return received >= delivered;
    }

    // Hands the unit's next due reply to the host: one input report per write, no ID byte.
    // One at a time, once the window has the one before: the node is a terminal, whose
    // 4095 bytes of room would cut a report in two when several wait unread (as they do
    // after the main thread was held up), and every read after that would be misaligned.
    void Pump() {
        if (!CaughtUp()) return;
        std::optional<std::vector<uint8_t>> report;
        {
            std::lock_guard guard(lock);
            if (gone) return;
            report = unit.Read(NowUs());
        }
        if (!report) return;
        const int fd = umockdev_testbed_get_dev_fd(bed, devNode.c_str());
        ASSERT_GE(fd, 0);
        const size_t n = report->size() - 1;
        ASSERT_EQ(write(fd, report->data() + 1, n), static_cast<ssize_t>(n))
            << std::strerror(errno);
        ++delivered;
    }

    // Nothing queued in the unit and nothing on its way to the window.
    bool Quiet() {
        {
            std::lock_guard guard(lock);
            if (unit.PendingReports() > 0) return false;
        }
        return CaughtUp();
    }

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

    std::string Stored(const char* key) {
        std::lock_guard guard(lock);
        return unit.Stored() ? unit.Stored()->Get(key).value_or("-") : "-";
    }
};

TEST_F(LinuxWindowTest, ConnectsIdentifiesAppliesAndLetsTheUnitGo) {
    PlugNode();
    ASSERT_TRUE(Run([&] {
        return form->Conversation().StepNo() == 1 && SpeedButton2(form)->isEnabled();
    })) << "step "
        << form->Conversation().StepNo() << "\n"
        << form->LogLines().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(LogHas(QStringLiteral("HID_Open:CheckOut QD device2.")));
    EXPECT_TRUE(LogHas(QStringLiteral(">>VER")));
    EXPECT_TRUE(LogHas(QStringLiteral(">>KIND")));
    EXPECT_TRUE(LogHas(QStringLiteral("-OK 201036")));
    EXPECT_TRUE(LogHas(QStringLiteral("-OK DW730 TONAL")));
    EXPECT_TRUE(LogHas(QStringLiteral("-OK Sonavelle serial number : SV0000000001")));
    EXPECT_EQ(Edit1(form)->text(), QStringLiteral("201036"));
    EXPECT_EQ(EditKIND(form)->text(), QStringLiteral("DW730 TONAL"));
    EXPECT_EQ(Edit2(form)->text(), QString::fromStdString(unit.GetProfile().serial));
    EXPECT_TRUE(dialogs->errors.isEmpty()) << dialogs->errors.join(QLatin1Char('\n')).toStdString();

    const std::string before = Stored("PhoneOutVol");
    ASSERT_NE(before, "-12");
    RadioGroup1(form)->SetItemIndex(0);
    SpeedButton2(form)->click();
    ASSERT_NE(form->Conversation().StepNo(), 1);
    ASSERT_TRUE(Run([&] { return form->Conversation().StepNo() == 1; }))
        << form->LogLines().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(Stored("PhoneOutVol"), "-12");

    UnplugNode();
    ASSERT_TRUE(Run([&] { return LogHas(QStringLiteral("Disconnect device.")); }))
        << form->LogLines().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(form->Conversation().Device(), nullptr);
    EXPECT_FALSE(SpeedButton2(form)->isEnabled());
    EXPECT_TRUE(dialogs->errors.isEmpty()) << dialogs->errors.join(QLatin1Char('\n')).toStdString();
}

} // namespace

int main(int argc, char** argv) {
    RunWithUmockdevPreload(argv);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
