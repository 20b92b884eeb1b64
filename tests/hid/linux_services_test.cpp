// The Linux HID services against hidraw nodes emulated by umockdev: enumeration, report
// lengths, hot-plug, writes, input reports and unplugging, through the real controller.
#include "UmockdevPreload.h"
#include "hid/HidControllerClass.h"
#include "hid/linux/LinuxHidServices.h"
#include "hid/sim/ManualMainThread.h"
#include "support/ThreadWait.h"

#include <gtest/gtest.h>
#include <umockdev.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace hid;

namespace {

const char* const kUsbPath = "/devices/pci0000:00/0000:00:14.0/usb1/1-2";

// A vendor-defined collection with 64-byte input, output and feature reports, no IDs.
const char* const kVendor64 = "0600ff0901a101150026ff00750895400901810295400901910295400901b102c0";
// A mouse and vendor collections with numbered reports (longest input and output: 20).
const char* const kNumbered =
    "05010902a10185020901a100050919012908150025017501950881020501093009311601f826ff07750c95"
    "02810609381581257f750895018106050c0a3802750895018106c0c0050c0901a10185030506092015002664"
    "00750895018102c00600ff0901a101851075089506150026ff000901810009019100c00600ff0902a1018511"
    "75089513150026ff000902810009029100c0";

struct TEmulatedNode {
    std::string UsbSyspath, InterfaceSyspath, HidSyspath, NodeSyspath, DevNode;
};

class LinuxServicesTest : public ::testing::Test {
  protected:
    UMockdevTestbed* bed = nullptr;
    UMockdevIoctlBase* handler = nullptr;
    std::mutex lock; // the handler runs on umockdev's thread
    std::vector<std::vector<uint8_t>> writes;
    bool failWrites = false;

    void SetUp() override {
        bed = umockdev_testbed_new();
        handler = umockdev_ioctl_base_new();
        g_signal_connect(handler, "handle-write", G_CALLBACK(&LinuxServicesTest::OnWrite), this);
    }

    void TearDown() override {
        g_object_unref(handler);
        g_object_unref(bed);
    }

    static gboolean OnWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
        auto* test = static_cast<LinuxServicesTest*>(self);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        // For a write the argument holds the bytes written.
        const gint length = arg->data_len;
        std::lock_guard guard(test->lock);
        if (test->failWrites) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
        test->writes.emplace_back(arg->data, arg->data + length);
        umockdev_ioctl_client_complete(client, length, 0);
        return TRUE;
    }

    std::vector<std::vector<uint8_t>> Writes() {
        std::lock_guard guard(lock);
        return writes;
    }

    void Add(const std::string& Record) {
        GError* error = nullptr;
        ASSERT_TRUE(umockdev_testbed_add_from_string(bed, Record.c_str(), &error))
            << (error ? error->message : "") << "\n"
            << Record;
    }

    // One USB HID device with its hidraw node number N, product Pid and descriptor.
    TEmulatedNode AddDevice(int N, const std::string& Pid, const char* Descriptor) {
        TEmulatedNode node;
        const std::string port = std::to_string(2 + N);
        const std::string usb = std::string("/devices/pci0000:00/0000:00:14.0/usb1/1-") + port;
        const std::string intf = usb + "/1-" + port + ":1.0";
        const std::string hid = intf + "/0003:1234:" + Pid + ".000" + std::to_string(N + 1);
        const std::string raw = hid + "/hidraw/hidraw" + std::to_string(N);
        node = {"/sys" + usb, "/sys" + intf, "/sys" + hid, "/sys" + raw,
                "/dev/hidraw" + std::to_string(N)};
        Add("P: " + usb +
            "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: BUSNUM=001\n"
            "A: idVendor=1234\nA: idProduct=" +
            Pid +
            "\nA: bcdDevice=0102\nA: manufacturer=Sonavelle\nA: product=Sonavelle Transceiver\n"
            "A: serial=SV0001\nA: busnum=1\nA: devpath=" +
            port + "\nA: removable=removable\n");
        Add("P: " + intf +
            "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=usbhid\n"
            "E: MODALIAS=usb:v1234p" +
            Pid + "d0102dc00dsc00dp00ic03isc00ip00in00\nA: bInterfaceNumber=00\n");
        Add("P: " + hid +
            "\nE: SUBSYSTEM=hid\nE: DRIVER=hid-generic\nE: HID_ID=0003:00001234:0000" + Pid +
            "\nE: HID_NAME=Sonavelle Sonavelle Transceiver\nE: HID_PHYS=usb-0000:00:14.0-" + port +
            "/input0\nE: HID_UNIQ=SV0001\nE: MODALIAS=hid:b0003g0001v00001234p0000" + Pid +
            "\nH: report_descriptor=" + Descriptor + "\n");
        GError* error = nullptr;
        EXPECT_TRUE(umockdev_testbed_attach_ioctl(bed, node.DevNode.c_str(), handler, &error))
            << (error ? error->message : "");
        Add("P: " + raw + "\nN: hidraw" + std::to_string(N) + "\nE: SUBSYSTEM=hidraw\nE: DEVNAME=" +
            node.DevNode + "\nE: MAJOR=243\nE: MINOR=" + std::to_string(N) +
            "\nA: dev=243:" + std::to_string(N) + "\nL: device=../../\n");
        return node;
    }

    void Uevent(const std::string& Syspath, const char* Action) {
        umockdev_testbed_uevent(bed, Syspath.c_str(), Action);
    }

    // Unplugging as the kernel does it: removal events bottom-up, then the sysfs entries.
    void Remove(const TEmulatedNode& Node) {
        for (const std::string* p :
             {&Node.NodeSyspath, &Node.HidSyspath, &Node.InterfaceSyspath, &Node.UsbSyspath}) {
            Uevent(*p, "remove");
        }
        for (const std::string* p :
             {&Node.NodeSyspath, &Node.HidSyspath, &Node.InterfaceSyspath, &Node.UsbSyspath}) {
            umockdev_testbed_remove_device(bed, p->c_str());
        }
    }

    // Input from the device: bytes written into the terminal behind the node.
    void Input(const TEmulatedNode& Node, const std::vector<uint8_t>& Bytes) {
        const int fd = umockdev_testbed_get_dev_fd(bed, Node.DevNode.c_str());
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, Bytes.data(), Bytes.size()), static_cast<ssize_t>(Bytes.size()));
    }
};

struct TRecorder {
    std::vector<std::string> Log;
    struct TReport {
        uint8_t ReportID;
        std::vector<uint8_t> Data;
        bool OnMain;
    };
    std::vector<TReport> Reports;
    std::vector<uint32_t> Errors;
    std::thread::id MainId = std::this_thread::get_id();
    void Change(void*) { Log.push_back("change"); }
    void Arrival(TCustomHidDevice* D) { Log.push_back("arrival " + D->PnPInfo().DevicePath); }
    void Removal(TCustomHidDevice* D) { Log.push_back("removal " + D->PnPInfo().DevicePath); }
    void Data(TCustomHidDevice*, uint8_t Id, const uint8_t* Bytes, uint16_t Size) {
        Reports.push_back({Id, {Bytes, Bytes + Size}, std::this_thread::get_id() == MainId});
    }
    void DataError(TCustomHidDevice*, uint32_t Code) { Errors.push_back(Code); }
};

TEST_F(LinuxServicesTest, EnumerationDescribesTheNodeFromUdevAndSysfs) {
    AddDevice(0, "7802", kVendor64);
    os_linux::TLinuxServices services;
    ASSERT_TRUE(services.Available());
    const std::vector<THidPnPInfo> found = services.CollectInterfaces(services.HidGuid());
    ASSERT_EQ(found.size(), 1u);
    const THidPnPInfo& p = found[0];
    EXPECT_EQ(p.DevicePath, "/dev/hidraw0");
    EXPECT_EQ(p.DeviceID & 0xFFFF, 0u);
    EXPECT_EQ(p.Capabilities, 0x04u | 0x10u | 0x80u);
    EXPECT_EQ(p.ClassDescr, "hidraw");
    EXPECT_EQ(p.CompatibleIDs,
              std::vector<std::string>{"usb:v1234p7802d0102dc00dsc00dp00ic03isc00ip00in00"});
    EXPECT_EQ(p.DeviceDescr, "Sonavelle Sonavelle Transceiver");
    EXPECT_EQ(p.FriendlyName, "Sonavelle Transceiver");
    EXPECT_EQ(p.HardwareID, (std::vector<std::string>{"hid:b0003g0001v00001234p00007802",
                                                      "HID_ID=0003:00001234:00007802"}));
    EXPECT_EQ(p.Mfg, "Sonavelle");
    EXPECT_EQ(p.Address, "2");
    EXPECT_EQ(p.BusNumber, 1u);
    EXPECT_EQ(p.BusType, "usb");
    EXPECT_EQ(p.EnumeratorName, "usb");
    EXPECT_EQ(p.LocationInfo, "usb-0000:00:14.0-2/input0");
    EXPECT_EQ(p.PhysDevObjName,
              "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:1234:7802.0001");
    EXPECT_EQ(p.SecuritySDS.rfind("mode=", 0), 0u) << p.SecuritySDS;

    const THandle h = services.Open(p.DevicePath, TOpenMode::QueryOnly);
    ASSERT_NE(h, kNoHandle);
    THidAttributes a;
    ASSERT_TRUE(services.GetAttributes(h, a));
    EXPECT_EQ(a.Size, 12u);
    EXPECT_EQ(a.VendorID, 0x1234);
    EXPECT_EQ(a.ProductID, 0x7802);
    EXPECT_EQ(a.VersionNumber, 0x0102);
    char16_t name[254] = {};
    ASSERT_TRUE(services.GetProductString(h, name, sizeof name));
    EXPECT_EQ(std::u16string(name), u"Sonavelle Transceiver");
    TPreparsed data = nullptr;
    ASSERT_TRUE(services.GetPreparsedData(h, data));
    THidCaps caps;
    ASSERT_TRUE(services.GetCaps(data, caps));
    EXPECT_EQ(caps.InputReportByteLength, 65);
    EXPECT_EQ(caps.OutputReportByteLength, 65);
    EXPECT_EQ(caps.UsagePage, 0xFF00);
    services.FreePreparsedData(data);
    uint32_t written = 0;
    uint8_t report[65] = {};
    EXPECT_FALSE(services.Write(h, report, 65, written)); // a query-only handle
    services.Close(h);
}

TEST_F(LinuxServicesTest, NumberedDescriptorGivesTheLongestReports) {
    AddDevice(0, "b010", kNumbered);
    os_linux::TLinuxServices services;
    const THandle h = services.Open("/dev/hidraw0", TOpenMode::QueryOnly);
    ASSERT_NE(h, kNoHandle);
    TPreparsed data = nullptr;
    ASSERT_TRUE(services.GetPreparsedData(h, data));
    THidCaps caps;
    services.GetCaps(data, caps);
    EXPECT_EQ(caps.InputReportByteLength, 20);
    EXPECT_EQ(caps.OutputReportByteLength, 20);
    services.FreePreparsedData(data);
    services.Close(h);
}

TEST_F(LinuxServicesTest, ErrorKindsOfTheCodesHidrawAndUdevGive) {
    os_linux::TLinuxServices services;
    EXPECT_EQ(services.ErrorKind(services.NotConnectedError()), TErrorKind::NotConnected);
    for (int code : {EACCES, EPERM})
        EXPECT_EQ(services.ErrorKind(code), TErrorKind::AccessDenied) << code;
    for (int code : {ENODEV, ENXIO, ENOENT})
        EXPECT_EQ(services.ErrorKind(code), TErrorKind::NotConnected) << code;
    // Failures that do not by themselves say the device went (a write to a node whose
    // device went fails with ENODEV).
    for (int code : {0, EIO, EBADF, EINVAL, ENODATA})
        EXPECT_EQ(services.ErrorKind(code), TErrorKind::Other) << code;
}

class LinuxControllerTest : public LinuxServicesTest {
  protected:
    TManualMainThread main;
    TRecorder rec;
    std::unique_ptr<os_linux::TLinuxServices> services;
    std::unique_ptr<THidDeviceController> ctrl;

    void Start() {
        services = std::make_unique<os_linux::TLinuxServices>();
        ctrl = std::make_unique<THidDeviceController>(*services, main);
        ctrl->SetOnDeviceChange(TNotifyEvent::Bind<&TRecorder::Change>(&rec));
        ctrl->SetOnArrival(THidPlugEvent::Bind<&TRecorder::Arrival>(&rec));
        ctrl->SetOnRemoval(THidPlugEvent::Bind<&TRecorder::Removal>(&rec));
        ctrl->SetOnDeviceData(THidDataEvent::Bind<&TRecorder::Data>(&rec));
        ctrl->SetOnDeviceDataError(THidDataErrorEvent::Bind<&TRecorder::DataError>(&rec));
        main.RunPending();
    }

    void TearDown() override {
        ctrl.reset();
        services.reset();
        LinuxServicesTest::TearDown();
    }

    bool WaitFor(const std::function<bool()>& Done) {
        return main.RunUntil(Done, testing_support::kThreadWaitMs);
    }
};

TEST_F(LinuxControllerTest, HeldDeviceWritesAndReceivesReportsAsWindowsPresentsThem) {
    const TEmulatedNode node = AddDevice(0, "7802", kVendor64);
    Start();
    ASSERT_EQ(rec.Log, (std::vector<std::string>{"arrival /dev/hidraw0", "change"}));
    THidDevice* dev = nullptr;
    ASSERT_TRUE(ctrl->CheckOutByIdentifiers(dev, 0x1234, 0x7802));
    EXPECT_TRUE(dev->ReadWriteAccess());
    ASSERT_TRUE(dev->ReaderRunning());
    EXPECT_EQ(dev->QueryProductText(), u"Sonavelle Transceiver");

    std::vector<uint8_t> out(65, 0);
    std::memcpy(out.data() + 1, "VER", 3);
    uint32_t written = 0;
    ASSERT_TRUE(dev->WriteReport(out.data(), 65, written));
    EXPECT_EQ(written, 65u);
    EXPECT_EQ(Writes(), std::vector<std::vector<uint8_t>>{out});

    // hidraw leaves out the report ID of a device that numbers no reports.
    std::vector<uint8_t> in(64, 0);
    std::memcpy(in.data(), "OK 201036\r\n", 11);
    Input(node, in);
    in[0] = 'N';
    Input(node, in);
    ASSERT_TRUE(WaitFor([&] { return rec.Reports.size() >= 2; }));
    EXPECT_EQ(rec.Reports[0].ReportID, 0);
    ASSERT_EQ(rec.Reports[0].Data.size(), 64u);
    EXPECT_EQ(std::string(rec.Reports[0].Data.begin(), rec.Reports[0].Data.begin() + 11),
              "OK 201036\r\n");
    EXPECT_TRUE(rec.Reports[0].OnMain);
    EXPECT_EQ(rec.Reports[1].Data[0], 'N');
    ctrl->CheckIn(dev);
}

TEST_F(LinuxControllerTest, HotPlugAddsAndRemovesDevices) {
    AddDevice(0, "7802", kVendor64);
    Start();
    rec.Log.clear();
    const TEmulatedNode second = AddDevice(1, "7803", kVendor64);
    Uevent(second.NodeSyspath, "add");
    ASSERT_TRUE(WaitFor([&] { return !rec.Log.empty(); }));
    EXPECT_EQ(rec.Log, (std::vector<std::string>{"arrival /dev/hidraw1", "change"}));
    rec.Log.clear();
    Remove(second);
    ASSERT_TRUE(WaitFor([&] { return !rec.Log.empty(); }));
    EXPECT_EQ(rec.Log, (std::vector<std::string>{"removal /dev/hidraw1", "change"}));
    ASSERT_EQ(ctrl->Devices().size(), 1u);
    EXPECT_EQ(ctrl->Devices()[0]->PnPInfo().DevicePath, "/dev/hidraw0");
}

TEST_F(LinuxControllerTest, UnplugWhileTheReaderWaitsEndsInErrorsUntilCheckIn) {
    const TEmulatedNode node = AddDevice(0, "7802", kVendor64);
    Start();
    THidDevice* dev = nullptr;
    ASSERT_TRUE(ctrl->CheckOutByIdentifiers(dev, 0x1234, 0x7802));
    dev->SetSleepTime(10);
    dev->SetDataErrorHandler(THidDataErrorEvent::Bind<&TRecorder::DataError>(&rec));
    Input(node, std::vector<uint8_t>(64, 'x'));
    ASSERT_TRUE(WaitFor([&] { return rec.Reports.size() == 1; })); // reader is waiting again
    {
        std::lock_guard guard(lock);
        failWrites = true;
    }
    rec.Log.clear();
    Remove(node);
    ASSERT_TRUE(WaitFor([&] { return !rec.Log.empty() && rec.Errors.size() >= 2; }));
    EXPECT_EQ(rec.Log, (std::vector<std::string>{"removal /dev/hidraw0", "change"}));
    EXPECT_FALSE(dev->PluggedIn());
    // Whether the reader or the removal notice comes first decides which of the two it is.
    EXPECT_TRUE(rec.Errors[0] == ENODEV || rec.Errors[0] == ENOENT) << rec.Errors[0];
    EXPECT_EQ(dev->ErrorKind(rec.Errors[0]), TErrorKind::NotConnected);
    uint8_t out[65] = {};
    uint32_t written = 0;
    EXPECT_FALSE(dev->WriteReport(out, 65, written));
    EXPECT_EQ(dev->ErrorKind(dev->LastErrorCode()), TErrorKind::NotConnected);
    ctrl->CheckIn(dev);
    EXPECT_TRUE(ctrl->Devices().empty());
}

TEST_F(LinuxControllerTest, NodeThatCannotBeOpenedIsListedAndIdentifiedButNotRead) {
    AddDevice(0, "7802", kVendor64);
    // Without the node file every open fails, as it does for a node of another user.
    char* root = umockdev_testbed_get_root_dir(bed);
    ASSERT_EQ(unlink((std::string(root) + "/dev/hidraw0").c_str()), 0) << std::strerror(errno);
    g_free(root);
    Start();
    ASSERT_EQ(rec.Log, (std::vector<std::string>{"arrival /dev/hidraw0", "change"}));
    THidDevice* dev = nullptr;
    ASSERT_TRUE(ctrl->CheckOutByIdentifiers(dev, 0x1234, 0x7802));
    EXPECT_FALSE(dev->ReadWriteAccess());
    EXPECT_FALSE(dev->ReaderRunning());
    EXPECT_EQ(dev->QueryCaps().OutputReportByteLength, 65);
    uint8_t out[65] = {};
    uint32_t written = 0;
    EXPECT_FALSE(dev->WriteReport(out, 65, written));
    EXPECT_EQ(dev->ErrorKind(dev->LastErrorCode()), TErrorKind::AccessDenied);
    ctrl->CheckIn(dev);
}

} // namespace

int main(int argc, char** argv) {
    RunWithUmockdevPreload(argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
