#pragma once
// A transceiver on a hidraw node emulated by umockdev: the USB device, its interface, the HID
// device and the node, whose writes the simulated unit answers on umockdev's thread. Its
// replies reach the host only through Deliver(), one input report at a time, so that the
// test decides when the host has caught up. Made before the HID services (their udev monitor
// must come after the testbed), gone after them (every fd on the node closed first). Several
// units on one bench share a testbed, each on a node of its own number.
#include "sim/Transceiver.h"

#include <gtest/gtest.h>
#include <umockdev.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace testing_support {

// A vendor collection with 1024-byte input and output reports, no report IDs.
inline const char* const kVendor1024 = "0600ff0901a101150026ff007508960004090181029600040901910"
                                       "2c0";

class TEmulatedTransceiver {
  public:
    explicit TEmulatedTransceiver(sim::Profile profile)
        : TEmulatedTransceiver(std::move(profile), 0, nullptr) {}
    // Unit number on bed (a new testbed when null), as hidraw<number>.
    TEmulatedTransceiver(sim::Profile profile, int number, UMockdevTestbed* bed)
        : bed_(bed ? static_cast<UMockdevTestbed*>(g_object_ref(bed)) : umockdev_testbed_new()),
          handler_(umockdev_ioctl_base_new()), unit_(std::move(profile)),
          node_("/dev/hidraw" + std::to_string(number)), transceiver_(number, "3a5c", "7802") {
        g_signal_connect(handler_, "handle-write", G_CALLBACK(&TEmulatedTransceiver::OnWrite),
                         this);
    }
    ~TEmulatedTransceiver() {
        g_object_unref(handler_);
        g_object_unref(bed_);
    }
    TEmulatedTransceiver(const TEmulatedTransceiver&) = delete;
    TEmulatedTransceiver& operator=(const TEmulatedTransceiver&) = delete;

    // The transceiver, as its node, announced by an "add" event.
    void Plug() {
        GError* error = nullptr;
        // The handler must be in place before the node exists.
        ASSERT_TRUE(umockdev_testbed_attach_ioctl(bed_, node_.c_str(), handler_, &error))
            << (error ? error->message : "");
        Add(transceiver_, {"3a5c", "7802", "Sonavelle", "Sonavelle Transceiver"}, kVendor1024);
    }

    // The transceiver with no file behind its node: every open of the node fails, as for a
    // node of another user (the tests run as root, whom no mode keeps out).
    void PlugWithoutAccess() {
        Add(transceiver_, {"3a5c", "7802", "Sonavelle", "Sonavelle Transceiver"}, kVendor1024,
            false);
    }

    // Another maker's mouse as hidraw<n> (a number no unit on the testbed has), which the
    // tool leaves alone.
    void PlugMouse(int n, const std::string& vendor, const std::string& product) {
        // Three buttons, X and Y.
        Add(TPaths(n, vendor, product), {vendor, product, "Example", "Example Mouse"},
            "05010902a1010901a1000509190129031500250195037501810295017505810105010930093115"
            "81257f750895028106c0c0");
    }

    void UnplugMouse(int n, const std::string& vendor, const std::string& product) {
        Remove(TPaths(n, vendor, product));
    }

    // Pulled out: writes fail, the removal events go bottom-up, then sysfs goes.
    void Unplug() {
        {
            std::lock_guard guard(lock_);
            gone_ = true;
        }
        Remove(transceiver_);
    }

    // Deliver() pulls the node out instead, once the unit has taken a command beginning
    // with prefix: its answer never reaches the host.
    void UnplugOnCommand(std::string prefix) {
        std::lock_guard guard(lock_);
        unplugOn_ = std::move(prefix);
    }

    // Hands the unit's next due reply to the host: one input report per write, without the
    // ID byte. Call it only once the host has the one before: the node is a terminal, whose
    // 4095 bytes of room would cut a report in two when several wait unread, and every read
    // after that would be misaligned. False when nothing was due.
    bool Deliver() {
        std::optional<std::vector<uint8_t>> report;
        bool pull = false;
        {
            // The command and its answer arrive together under this lock: checked here, the
            // answer to the command that pulls the node out is never delivered.
            std::lock_guard guard(lock_);
            if (gone_) return false;
            pull = unplugOn_ && TookCommand(*unplugOn_);
            if (!pull) report = unit_.Read(NowUs());
        }
        if (pull) Unplug();
        if (!report) return false;
        const int fd = umockdev_testbed_get_dev_fd(bed_, node_.c_str());
        const size_t n = report->size() - 1;
        EXPECT_GE(fd, 0);
        EXPECT_EQ(write(fd, report->data() + 1, n), static_cast<ssize_t>(n))
            << std::strerror(errno);
        ++delivered_;
        return true;
    }

    const std::string& Node() const { return node_; }
    // Input reports written to the node so far.
    int Delivered() const { return delivered_; }
    // Replies queued in the unit that are still to be delivered.
    bool Pending() {
        std::lock_guard guard(lock_);
        return !gone_ && unit_.PendingReports() > 0;
    }
    bool Gone() {
        std::lock_guard guard(lock_);
        return gone_;
    }
    // The unit's stored set (empty when it holds none).
    sim::ParamSet Stored() {
        std::lock_guard guard(lock_);
        return unit_.Stored().value_or(sim::ParamSet());
    }
    // Looks at the unit while umockdev's thread keeps off it.
    template <class F> auto Inspect(F&& f) {
        std::lock_guard guard(lock_);
        return f(std::as_const(unit_));
    }

  private:
    struct TPaths {
        TPaths(int n, const std::string& vendor, const std::string& product)
            : number(std::to_string(n)), port(std::to_string(2 + n)) {
            usb = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-" + port;
            intf = usb + "/1-" + port + ":1.0";
            hid = intf + "/0003:" + Upper(vendor) + ":" + Upper(product) + ".000" +
                  std::to_string(n + 1);
            raw = hid + "/hidraw/hidraw" + number;
        }
        std::string number, port, usb, intf, hid, raw;
    };
    struct TUsbHid {
        std::string vendor, product, maker, name; // the ids in lower-case hex, as sysfs has them
    };

    static int64_t NowUs() {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    static std::string Upper(std::string s) {
        for (char& c : s)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return s;
    }

    bool TookCommand(const std::string& prefix) const {
        for (const std::string& command : unit_.Received())
            if (command.rfind(prefix, 0) == 0) return true;
        return false;
    }

    static gboolean OnWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
        auto* node = static_cast<TEmulatedTransceiver*>(self);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        const gint length = arg->data_len;
        // A hidraw write starts with the report ID (0 here), as the unit's reports do.
        std::lock_guard guard(node->lock_);
        if (node->gone_ || !node->unit_.Write(arg->data, static_cast<size_t>(length), NowUs())) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
        umockdev_ioctl_client_complete(client, length, 0);
        return TRUE;
    }

    void Add(const std::string& record) {
        GError* error = nullptr;
        ASSERT_TRUE(umockdev_testbed_add_from_string(bed_, record.c_str(), &error))
            << (error ? error->message : "") << "\n"
            << record;
    }

    void Remove(const TPaths& p) {
        for (const std::string* s : {&p.raw, &p.hid, &p.intf, &p.usb})
            umockdev_testbed_uevent(bed_, s->c_str(), "remove");
        for (const std::string* s : {&p.raw, &p.hid, &p.intf, &p.usb})
            umockdev_testbed_remove_device(bed_, s->c_str());
    }

    // The four records of a USB HID device, parents first, and the node's "add" event.
    void Add(const TPaths& p, const TUsbHid& d, const char* descriptor, bool openable = true) {
        const std::string v = Upper(d.vendor), pid = Upper(d.product);
        const auto sys = [](const std::string& s) { return s.substr(4); }; // without "/sys"
        Add("P: " + sys(p.usb) +
            "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: BUSNUM=001\nA: idVendor=" + d.vendor +
            "\nA: idProduct=" + d.product + "\nA: bcdDevice=0100\nA: manufacturer=" + d.maker +
            "\nA: product=" + d.name + "\nA: serial=SV000" + p.number +
            "\nA: busnum=1\nA: devpath=" + p.port + "\nA: removable=removable\n");
        Add("P: " + sys(p.intf) +
            "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=usbhid\nE: MODALIAS=usb:v" +
            v + "p" + pid + "d0100dc00dsc00dp00ic03isc00ip00in00\nA: bInterfaceNumber=00\n");
        Add("P: " + sys(p.hid) + "\nE: SUBSYSTEM=hid\nE: DRIVER=hid-generic\nE: HID_ID=0003:0000" +
            v + ":0000" + pid + "\nE: HID_NAME=" + d.maker + " " + d.name +
            "\nE: HID_PHYS=usb-0000:00:14.0-" + p.port + "/input0\nE: HID_UNIQ=SV000" + p.number +
            "\nE: MODALIAS=hid:b0003g0001v0000" + v + "p0000" + pid +
            "\nH: report_descriptor=" + descriptor + "\n");
        Add("P: " + sys(p.raw) + "\nN: hidraw" + p.number +
            "\nE: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/hidraw" + p.number +
            "\nE: MAJOR=243\nE: MINOR=" + p.number + "\nA: dev=243:" + p.number +
            "\nL: device=../../\n");
        if (!openable) {
            char* root = umockdev_testbed_get_root_dir(bed_);
            const std::string file = std::string(root) + "/dev/hidraw" + p.number;
            g_free(root);
            ASSERT_EQ(unlink(file.c_str()), 0) << file << ": " << std::strerror(errno);
        }
        umockdev_testbed_uevent(bed_, p.raw.c_str(), "add");
    }

    UMockdevTestbed* bed_;
    UMockdevIoctlBase* handler_;
    std::mutex lock_; // the unit is written from umockdev's thread, read from the test's
    sim::Transceiver unit_;
    bool gone_ = false;
    std::optional<std::string> unplugOn_;
    const std::string node_;
    const TPaths transceiver_;
    int delivered_ = 0;
};

} // namespace testing_support
