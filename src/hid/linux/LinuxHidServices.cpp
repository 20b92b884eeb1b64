// HID services on Linux: hidraw nodes found and watched with libudev, identified from
// udev properties and sysfs (so a node this user may not open is still listed), report
// lengths from the report descriptor in sysfs, reads presented as Windows presents them.
#include "hid/linux/LinuxHidServices.h"

#include "hid/MainThread.h"
#include "hid/ReportDescriptor.h"

#include <libudev.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <unistd.h>

namespace hid::os_linux {

namespace {

std::string Text(const char* S) {
    return S ? S : "";
}

std::string Prop(udev_device* Dev, const char* Name) {
    return Dev ? Text(udev_device_get_property_value(Dev, Name)) : std::string();
}

std::string Attr(udev_device* Dev, const char* Name) {
    return Dev ? Text(udev_device_get_sysattr_value(Dev, Name)) : std::string();
}

uint32_t Number(const std::string& S, int Base) {
    if (S.empty()) return 0;
    char* end = nullptr;
    const unsigned long v = std::strtoul(S.c_str(), &end, Base);
    return end == S.c_str() ? 0 : static_cast<uint32_t>(v);
}

std::u16string Utf16(const std::string& S) {
    std::u16string out;
    for (size_t i = 0; i < S.size();) {
        const auto c = static_cast<uint8_t>(S[i]);
        uint32_t cp = c;
        size_t n = 1;
        if (c >= 0xF0 && i + 3 < S.size()) {
            cp = ((c & 0x07u) << 18) | ((S[i + 1] & 0x3Fu) << 12) | ((S[i + 2] & 0x3Fu) << 6) |
                 (S[i + 3] & 0x3Fu);
            n = 4;
        } else if (c >= 0xE0 && i + 2 < S.size()) {
            cp = ((c & 0x0Fu) << 12) | ((S[i + 1] & 0x3Fu) << 6) | (S[i + 2] & 0x3Fu);
            n = 3;
        } else if (c >= 0xC0 && i + 1 < S.size()) {
            cp = ((c & 0x1Fu) << 6) | (S[i + 1] & 0x3Fu);
            n = 2;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += n;
    }
    return out;
}

std::vector<uint8_t> ReadFile(const std::string& Path) {
    std::vector<uint8_t> data;
    FILE* f = std::fopen(Path.c_str(), "rb");
    if (!f) return data;
    uint8_t chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        data.insert(data.end(), chunk, chunk + n);
    std::fclose(f);
    return data;
}

// The ancestors of a hidraw node that hold what Windows keeps in its device registry.
struct TFamily {
    udev_device* Hid = nullptr;       // the HID device: HID_ID, HID_NAME, report_descriptor
    udev_device* Interface = nullptr; // the USB interface, when the bus is USB
    udev_device* Usb = nullptr;       // the USB device: strings, busnum, bcdDevice
    explicit TFamily(udev_device* Node) {
        Hid = udev_device_get_parent_with_subsystem_devtype(Node, "hid", nullptr);
        Interface = udev_device_get_parent_with_subsystem_devtype(Node, "usb", "usb_interface");
        Usb = udev_device_get_parent_with_subsystem_devtype(Node, "usb", "usb_device");
    }
};

// HID_ID is "bus:vendor:product", each in hex.
bool ParseHidId(const std::string& Id, uint32_t& Bus, uint32_t& Vendor, uint32_t& Product) {
    unsigned b = 0, v = 0, p = 0;
    if (std::sscanf(Id.c_str(), "%x:%x:%x", &b, &v, &p) != 3) return false;
    Bus = b;
    Vendor = v;
    Product = p;
    return true;
}

std::string BusName(uint32_t Bus) {
    switch (Bus) {
    case 0x03:
        return "usb";
    case 0x05:
        return "bluetooth";
    case 0x06:
        return "virtual";
    case 0x18:
        return "i2c";
    default: {
        char s[8];
        std::snprintf(s, sizeof s, "%04x", Bus & 0xFFFF);
        return s;
    }
    }
}

uint32_t Fnv16(const std::string& S) {
    uint32_t h = 2166136261u;
    for (char c : S)
        h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
    return (h >> 16) ^ (h & 0xFFFF);
}

// Windows device capability bits that Linux can answer.
constexpr uint32_t kCapRemovable = 0x04;
constexpr uint32_t kCapUniqueId = 0x10;
constexpr uint32_t kCapSurpriseRemovalOk = 0x80;

// Where each field comes from on Linux. Windows reads them from the device registry of the
// HID collection's device node; the nearest Linux counterparts are:
//   DeviceID        minor number of the hidraw node in the low 16 bits, a hash of udev's
//                   USEC_INITIALIZED in the high 16, so a re-plug on the same minor differs
//   DevicePath      DEVNAME of the hidraw node ("/dev/hidraw0")
//   Capabilities    usb_device sysattr "removable" (removable), "serial" (unique id);
//                   a USB device may always be pulled out (surprise removal ok)
//   ClassDescr      subsystem of the node ("hidraw")
//   ClassGUID       none on Linux: empty
//   CompatibleIDs   MODALIAS of the usb_interface (class-based match)
//   ConfigFlags     none: 0
//   DeviceDescr     HID_NAME of the hid device
//   Driver          driver bound to the hid device ("hid-generic")
//   FriendlyName    usb_device sysattr "product", else HID_NAME
//   HardwareID      MODALIAS of the hid device, then "HID_ID=" + HID_ID
//   LowerFilters, UpperFilters   none: empty
//   Mfg             usb_device sysattr "manufacturer"
//   Address         usb_device sysattr "devpath" (port chain on its bus)
//   BusNumber       usb_device sysattr "busnum"
//   BusType         bus of HID_ID by name ("usb", "bluetooth", "i2c", ...)
//   Characteristics none: empty
//   DevType         none: 0
//   EnumeratorName  subsystem of the hid device's parent ("usb")
//   Exclusive, LegacyBusType   none: 0
//   LocationInfo    HID_PHYS of the hid device
//   PhysDevObjName  syspath of the hid device
//   SecuritySDS     mode, owner and group of the device node ("mode=0660 uid=0 gid=0")
//   Service         driver bound to the usb_interface ("usbhid")
//   UINumber        none: 0;  UINumberFormat  none: empty
THidPnPInfo Describe(udev_device* Node) {
    THidPnPInfo info;
    TFamily family(Node);
    const dev_t devnum = udev_device_get_devnum(Node);
    info.DeviceID = (minor(devnum) & 0xFFFFu) | (Fnv16(Prop(Node, "USEC_INITIALIZED")) << 16);
    info.DevicePath = Text(udev_device_get_devnode(Node));
    uint32_t bus = 0, vendor = 0, product = 0;
    ParseHidId(Prop(family.Hid, "HID_ID"), bus, vendor, product);
    if (family.Usb) {
        if (Attr(family.Usb, "removable") == "removable") info.Capabilities |= kCapRemovable;
        if (!Attr(family.Usb, "serial").empty()) info.Capabilities |= kCapUniqueId;
        info.Capabilities |= kCapSurpriseRemovalOk;
    }
    info.ClassDescr = Text(udev_device_get_subsystem(Node));
    if (const std::string alias = Prop(family.Interface, "MODALIAS"); !alias.empty())
        info.CompatibleIDs.push_back(alias);
    info.DeviceDescr = Prop(family.Hid, "HID_NAME");
    info.Driver = family.Hid ? Text(udev_device_get_driver(family.Hid)) : std::string();
    info.FriendlyName = Attr(family.Usb, "product");
    if (info.FriendlyName.empty()) info.FriendlyName = info.DeviceDescr;
    if (const std::string alias = Prop(family.Hid, "MODALIAS"); !alias.empty())
        info.HardwareID.push_back(alias);
    if (const std::string id = Prop(family.Hid, "HID_ID"); !id.empty())
        info.HardwareID.push_back("HID_ID=" + id);
    info.Mfg = Attr(family.Usb, "manufacturer");
    info.Address = Attr(family.Usb, "devpath");
    info.BusNumber = Number(Attr(family.Usb, "busnum"), 10);
    if (family.Hid) info.BusType = BusName(bus);
    if (family.Hid) {
        if (udev_device* up = udev_device_get_parent(family.Hid))
            info.EnumeratorName = Text(udev_device_get_subsystem(up));
    }
    info.LocationInfo = Prop(family.Hid, "HID_PHYS");
    info.PhysDevObjName = family.Hid ? Text(udev_device_get_syspath(family.Hid)) : std::string();
    struct stat st {};
    if (!info.DevicePath.empty() && stat(info.DevicePath.c_str(), &st) == 0) {
        char s[64];
        std::snprintf(s, sizeof s, "mode=%04o uid=%u gid=%u", st.st_mode & 07777,
                      static_cast<unsigned>(st.st_uid), static_cast<unsigned>(st.st_gid));
        info.SecuritySDS = s;
    }
    info.Service = family.Interface ? Text(udev_device_get_driver(family.Interface)) : "";
    return info;
}

} // namespace

// What an open handle knows about its node, gathered from udev and sysfs at open.
struct TLinuxServices::TNode {
    int Fd = -1; // -1 for a query-only handle
    THidAttributes Attributes;
    bool Identified = false;
    THidCaps Caps;
    bool HasDescriptor = false;
    bool Numbered = false;
    std::u16string Product;
};

class TLinuxServices::TWaiter final : public TReadWaiter {
  public:
    explicit TWaiter(TLinuxServices& Services)
        : services_(Services), wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~TWaiter() override {
        if (wake_ >= 0) close(wake_);
    }

    bool Begin(THandle Handle, uint8_t* Buffer, uint32_t Length) override {
        int fd = -1;
        bool numbered = false;
        if (!services_.ReadSide(Handle, fd, numbered)) {
            errno = EBADF;
            return false;
        }
        fd_ = fd;
        numbered_ = numbered;
        buffer_ = Buffer;
        length_ = Length;
        revents_ = 0;
        begun_ = true;
        return true;
    }

    TWaitResult Wait(int32_t Ms) override {
        pollfd fds[2] = {{wake_, POLLIN, 0}, {-1, 0, 0}};
        nfds_t n = 1;
        if (begun_) {
            // Without room for data there is nothing to read; only a hang-up ends the wait.
            fds[1] = {fd_, static_cast<short>(length_ > 0 ? POLLIN : 0), 0};
            n = 2;
        }
        const int r = poll(fds, n, Ms);
        if (r <= 0) return TWaitResult::TimedOut;
        if (fds[0].revents) {
            uint64_t count;
            (void)!read(wake_, &count, sizeof count);
        }
        if (n == 2 && fds[1].revents) {
            revents_ = fds[1].revents;
            return TWaitResult::Completed;
        }
        return fds[0].revents ? TWaitResult::Woken : TWaitResult::TimedOut;
    }

    TReadEnd Result() override {
        TReadEnd end;
        if (!begun_) return end;
        begun_ = false;
        const short revents = revents_;
        revents_ = 0;
        if (revents & POLLIN) {
            // One report per read(), as hidraw gives them. A device that numbers no reports
            // gets the 0 report ID put in front, where Windows has it.
            ssize_t got;
            if (numbered_) {
                got = read(fd_, buffer_, length_);
            } else {
                buffer_[0] = 0;
                got = length_ > 1 ? read(fd_, buffer_ + 1, length_ - 1) : 0;
                if (got >= 0) ++got;
            }
            if (got > 0) {
                end.Bytes = static_cast<uint32_t>(got);
                return end;
            }
            if (got < 0 && errno != EAGAIN && errno != EINTR) {
                end.Error = static_cast<uint32_t>(errno);
                end.Gone = errno == ENODEV || errno == EIO || errno == EBADF;
                return end;
            }
        }
        if (revents & (POLLHUP | POLLERR | POLLNVAL)) {
            end.Gone = true;
            end.Error = ENODEV;
        }
        return end;
    }

    bool Cancel() override {
        const bool was = begun_;
        begun_ = false;
        revents_ = 0;
        return was;
    }

    void Wake() override {
        const uint64_t one = 1;
        (void)!write(wake_, &one, sizeof one);
    }

  private:
    TLinuxServices& services_;
    int wake_;
    int fd_ = -1;
    bool numbered_ = false;
    uint8_t* buffer_ = nullptr;
    uint32_t length_ = 0;
    short revents_ = 0;
    bool begun_ = false;
};

TLinuxServices::TLinuxServices() : udev_(udev_new()) {}

TLinuxServices::~TLinuxServices() {
    CloseNotices();
    for (auto& [handle, node] : handles_) {
        if (node->Fd >= 0) close(node->Fd);
    }
    if (udev_) udev_unref(udev_);
}

bool TLinuxServices::Available() const {
    return udev_ != nullptr;
}

THidGuid TLinuxServices::HidGuid() {
    return kPublishedHidGuid;
}

std::vector<THidPnPInfo> TLinuxServices::CollectInterfaces(const THidGuid&) {
    std::vector<THidPnPInfo> result;
    std::lock_guard lock(udevLock_);
    if (!udev_) return result;
    udev_enumerate* e = udev_enumerate_new(udev_);
    if (!e) return result;
    udev_enumerate_add_match_subsystem(e, "hidraw");
    udev_enumerate_scan_devices(e);
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e)) {
        udev_device* node = udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
        if (!node) continue;
        if (udev_device_get_devnode(node)) result.push_back(Describe(node));
        udev_device_unref(node);
    }
    udev_enumerate_unref(e);
    return result;
}

std::unique_ptr<TLinuxServices::TNode> TLinuxServices::Identify(const std::string& Path) {
    std::lock_guard lock(udevLock_);
    if (!udev_) return nullptr;
    const size_t slash = Path.rfind('/');
    const std::string name = slash == std::string::npos ? Path : Path.substr(slash + 1);
    udev_device* node = udev_device_new_from_subsystem_sysname(udev_, "hidraw", name.c_str());
    if (!node) return nullptr;
    auto info = std::make_unique<TNode>();
    TFamily family(node);
    uint32_t bus = 0, vendor = 0, product = 0;
    if (ParseHidId(Prop(family.Hid, "HID_ID"), bus, vendor, product)) {
        info->Identified = true;
        info->Attributes.VendorID = static_cast<uint16_t>(vendor);
        info->Attributes.ProductID = static_cast<uint16_t>(product);
        info->Attributes.VersionNumber =
            static_cast<uint16_t>(Number(Attr(family.Usb, "bcdDevice"), 16));
    }
    std::string productName = Attr(family.Usb, "product");
    if (productName.empty()) productName = Prop(family.Hid, "HID_NAME");
    info->Product = Utf16(productName);
    if (family.Hid) {
        // Read from sysfs, which needs no access to the node (udev's attribute cache would
        // stop at the first zero byte of this binary attribute).
        const std::vector<uint8_t> descriptor =
            ReadFile(Text(udev_device_get_syspath(family.Hid)) + "/report_descriptor");
        if (!descriptor.empty()) {
            const TReportDescriptorInfo parsed =
                ParseReportDescriptor(descriptor.data(), descriptor.size());
            info->HasDescriptor = true;
            info->Caps = NodeCaps(parsed);
            info->Numbered = parsed.NumberedReports;
        }
    }
    udev_device_unref(node);
    return info;
}

THandle TLinuxServices::Open(const std::string& Path, TOpenMode Mode) {
    int fd = -1;
    if (Mode == TOpenMode::ReadWrite)
        fd = open(Path.c_str(), O_RDWR | O_CLOEXEC);
    else if (Mode == TOpenMode::ReadAsync)
        fd = open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (Mode != TOpenMode::QueryOnly && fd < 0) return kNoHandle;
    const int savedErrno = errno;
    std::unique_ptr<TNode> node = Identify(Path);
    if (!node) {
        if (fd >= 0) close(fd);
        errno = Mode == TOpenMode::QueryOnly ? ENOENT : savedErrno;
        return kNoHandle;
    }
    node->Fd = fd;
    std::lock_guard lock(handleLock_);
    const THandle handle = nextHandle_++;
    handles_[handle] = std::move(node);
    return handle;
}

void TLinuxServices::Close(THandle Handle) {
    std::lock_guard lock(handleLock_);
    const auto it = handles_.find(Handle);
    if (it == handles_.end()) return;
    if (it->second->Fd >= 0) close(it->second->Fd);
    handles_.erase(it);
}

bool TLinuxServices::ReadSide(THandle Handle, int& Fd, bool& Numbered) {
    std::lock_guard lock(handleLock_);
    const auto it = handles_.find(Handle);
    if (it == handles_.end() || it->second->Fd < 0) return false;
    Fd = it->second->Fd;
    Numbered = it->second->Numbered;
    return true;
}

bool TLinuxServices::GetAttributes(THandle Handle, THidAttributes& Attributes) {
    std::lock_guard lock(handleLock_);
    const auto it = handles_.find(Handle);
    if (it == handles_.end() || !it->second->Identified) {
        errno = it == handles_.end() ? EBADF : ENODATA;
        return false;
    }
    const uint32_t size = Attributes.Size;
    Attributes = it->second->Attributes;
    Attributes.Size = size;
    return true;
}

bool TLinuxServices::GetPreparsedData(THandle Handle, TPreparsed& Data) {
    std::lock_guard lock(handleLock_);
    const auto it = handles_.find(Handle);
    if (it == handles_.end() || !it->second->HasDescriptor) {
        errno = it == handles_.end() ? EBADF : ENODATA;
        return false;
    }
    Data = new THidCaps(it->second->Caps);
    return true;
}

void TLinuxServices::FreePreparsedData(TPreparsed Data) {
    delete static_cast<THidCaps*>(Data);
}

bool TLinuxServices::GetCaps(TPreparsed Data, THidCaps& Caps) {
    if (!Data) return false;
    Caps = *static_cast<const THidCaps*>(Data);
    return true;
}

bool TLinuxServices::GetProductString(THandle Handle, char16_t* Buffer, uint32_t Bytes) {
    std::lock_guard lock(handleLock_);
    const auto it = handles_.find(Handle);
    if (it == handles_.end() || it->second->Product.empty() || Bytes < 2) {
        errno = it == handles_.end() ? EBADF : ENODATA;
        return false;
    }
    const std::u16string& text = it->second->Product;
    const size_t n = std::min<size_t>(text.size(), Bytes / 2 - 1);
    std::copy_n(text.begin(), n, Buffer);
    Buffer[n] = 0;
    return true;
}

bool TLinuxServices::Write(THandle Handle, const uint8_t* Buffer, uint32_t Length,
                           uint32_t& Written) {
    Written = 0;
    int fd = -1;
    {
        std::lock_guard lock(handleLock_);
        const auto it = handles_.find(Handle);
        if (it == handles_.end()) {
            errno = EBADF;
            return false;
        }
        fd = it->second->Fd;
    }
    if (fd < 0) {
        errno = EACCES; // a query-only handle, as Windows refuses it
        return false;
    }
    const ssize_t n = write(fd, Buffer, Length);
    if (n < 0) return false;
    Written = static_cast<uint32_t>(n);
    return true;
}

std::unique_ptr<TReadWaiter> TLinuxServices::NewReadWaiter() {
    return std::make_unique<TWaiter>(*this);
}

bool TLinuxServices::OpenNotices(TMainThread& Main, std::function<void(TDeviceNotice)> Notice) {
    CloseNotices();
    std::lock_guard lock(udevLock_);
    if (!udev_) return false;
    // The "udev" source: events come after rules and permissions are applied.
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_) return false;
    udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr);
    if (udev_monitor_enable_receiving(monitor_) < 0) {
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
        return false;
    }
    main_ = &Main;
    sink_ = std::make_shared<std::function<void(TDeviceNotice)>>(std::move(Notice));
    watch_ = Main.Watch(udev_monitor_get_fd(monitor_), [this] { MonitorReady(); });
    return true;
}

void TLinuxServices::MonitorReady() {
    bool any = false;
    {
        std::lock_guard lock(udevLock_);
        if (!monitor_) return;
        while (udev_device* dev = udev_monitor_receive_device(monitor_)) {
            any = true;
            udev_device_unref(dev);
        }
    }
    // One notice for all events read at once; a pass that finds nothing new fires nothing.
    const auto sink = sink_;
    if (any && sink) (*sink)({kDeviceChangeMessage, kDevNodesChanged, 0});
}

void TLinuxServices::PostNotice(TDeviceNotice Notice) {
    if (!main_) return;
    std::weak_ptr<std::function<void(TDeviceNotice)>> weak = sink_;
    main_->Post([weak, Notice] {
        if (const auto sink = weak.lock()) (*sink)(Notice);
    });
}

void TLinuxServices::CloseNotices() {
    if (main_ && watch_ != 0) main_->Unwatch(watch_);
    watch_ = 0;
    sink_.reset();
    std::lock_guard lock(udevLock_);
    if (monitor_) udev_monitor_unref(monitor_);
    monitor_ = nullptr;
}

uint32_t TLinuxServices::LastError() const {
    return static_cast<uint32_t>(errno);
}

void TLinuxServices::SetLastError(uint32_t Code) {
    errno = static_cast<int>(Code);
}

std::string TLinuxServices::ErrorMessage(uint32_t Code) const {
    return std::error_code(static_cast<int>(Code), std::generic_category()).message();
}

TErrorKind TLinuxServices::ErrorKind(uint32_t Code) const {
    switch (Code) {
    case EACCES:
    case EPERM:
        return TErrorKind::AccessDenied;
    // ENOENT: the node went with the device, or a query-only open found no udev entry.
    case ENODEV:
    case ENXIO:
    case ENOENT:
        return TErrorKind::NotConnected;
    default:
        return TErrorKind::Other;
    }
}

uint32_t TLinuxServices::NotConnectedError() const {
    return ENODEV;
}

void TLinuxServices::AnnounceThreadName(const std::string& Name) {
    // The kernel keeps 15 characters and the terminator.
    pthread_setname_np(pthread_self(), Name.substr(0, 15).c_str());
}

} // namespace hid::os_linux

namespace hid {

std::unique_ptr<TPlatformServices> CreateSystemServices() {
    return std::make_unique<os_linux::TLinuxServices>();
}

} // namespace hid
