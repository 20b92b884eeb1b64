#pragma once
// The operating-system services the HID layer reaches devices through. One implementation
// per platform (linux, windows, sim); the controller gets its services at construction and
// never looks past this interface.
//
// Threads: every operation runs in the main thread, except those marked "reader", which
// a device's reader thread calls, and LastError/SetLastError, which work per thread.
// The services must stay alive as long as any controller or device made with them.
#include "hid/HidTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace hid {

class TMainThread;

// An open device file. Values are the services' own; a handle is never reused while
// the layer could still hold it.
using THandle = intptr_t;
inline constexpr THandle kNoHandle = -1;

// Opaque preparsed HID data, made by GetPreparsedData and given back to FreePreparsedData.
using TPreparsed = void*;

// The 128-bit class identifier of HID device interfaces.
struct THidGuid {
    uint32_t Data1 = 0;
    uint16_t Data2 = 0;
    uint16_t Data3 = 0;
    uint8_t Data4[8] = {};
    bool operator==(const THidGuid&) const = default;
};

// The platform's published HID interface class, used when the services cannot give one.
inline constexpr THidGuid kPublishedHidGuid{
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

enum class TOpenMode {
    ReadWrite, // synchronous reading and writing
    QueryOnly, // no access rights: identification only
    ReadAsync, // the reader's handle: reads that are begun, waited for and collected
};

// A change notice as the platform's broadcast carries it.
inline constexpr uint32_t kDeviceChangeMessage = 0x219;
inline constexpr uint32_t kDevNodesChanged = 7;
struct TDeviceNotice {
    uint32_t Message = kDeviceChangeMessage;
    uint32_t Event = kDevNodesChanged;
    int32_t Param = 0;
};

// How a begun read ended.
struct TReadEnd {
    uint32_t Bytes = 0; // bytes placed in the buffer, report-ID byte included
    bool Gone = false;  // the device has gone: do not read this handle again
    uint32_t Error = 0; // platform code when the read failed
};

enum class TWaitResult {
    Completed, // the begun read has ended (with data, without, or with failure)
    TimedOut,  // the time ran out; the read is still outstanding
    Woken,     // Wake() ended the wait early; the read may still be outstanding
};

// One reader's outstanding read (the overlapped record and the alertable wait of the
// platform). Made in the main thread, then used by the reader thread alone, except
// Wake(), which any thread may call.
class TReadWaiter {
  public:
    virtual ~TReadWaiter() = default;
    // reader: starts one read of up to Length bytes into Buffer on a ReadAsync handle.
    // Byte 0 of a completed read is the report ID (0 when the device numbers no reports).
    virtual bool Begin(THandle Handle, uint8_t* Buffer, uint32_t Length) = 0;
    // reader: waits up to Ms milliseconds for the begun read to end. Without a begun
    // read, just waits (a Wake still ends it).
    virtual TWaitResult Wait(int32_t Ms) = 0;
    // reader: collects the ended read without waiting. After a wait that did not complete
    // the read is ended here (given up) and 0 bytes are reported.
    virtual TReadEnd Result() = 0;
    // reader: gives up the outstanding read. False when none was outstanding.
    virtual bool Cancel() = 0;
    // any thread: ends the current or next Wait with Woken.
    virtual void Wake() = 0;
};

class TPlatformServices {
  public:
    virtual ~TPlatformServices() = default;

    // Whether the device-setup and HID services could be bound. Without them no device
    // is listed and no notice arrives.
    virtual bool Available() const = 0;
    virtual THidGuid HidGuid() = 0;
    // One description per HID device interface present now, in platform order. Each has
    // a DeviceID that stays the same for the same attached device and a DevicePath to
    // open. Interfaces the platform cannot describe are skipped; failure gives none.
    virtual std::vector<THidPnPInfo> CollectInterfaces(const THidGuid& Guid) = 0;

    // Opens the device file; kNoHandle on failure with LastError set. ReadAsync handles
    // are used only through a TReadWaiter.
    virtual THandle Open(const std::string& Path, TOpenMode Mode) = 0;
    virtual void Close(THandle Handle) = 0;

    virtual bool GetAttributes(THandle Handle, THidAttributes& Attributes) = 0;
    virtual bool GetPreparsedData(THandle Handle, TPreparsed& Data) = 0;
    virtual void FreePreparsedData(TPreparsed Data) = 0;
    // main or reader: the capability record held in the preparsed data.
    virtual bool GetCaps(TPreparsed Data, THidCaps& Caps) = 0;
    // Fills Buffer (Bytes long) with a zero-ended UTF-16 product name.
    virtual bool GetProductString(THandle Handle, char16_t* Buffer, uint32_t Bytes) = 0;
    // One blocking write of one output report; byte 0 is the report ID.
    virtual bool Write(THandle Handle, const uint8_t* Buffer, uint32_t Length,
                       uint32_t& Written) = 0;

    virtual std::unique_ptr<TReadWaiter> NewReadWaiter() = 0;

    // Starts calling Notice in the main thread whenever the set of device nodes changes.
    // False when the platform cannot notify.
    virtual bool OpenNotices(TMainThread& Main, std::function<void(TDeviceNotice)> Notice) = 0;
    // Hands Notice to the notice handler later, in the main thread, as if the platform
    // had sent it.
    virtual void PostNotice(TDeviceNotice Notice) = 0;
    virtual void CloseNotices() = 0;

    // Per thread: the code of the last failure, as the platform keeps it.
    virtual uint32_t LastError() const = 0;
    virtual void SetLastError(uint32_t Code) = 0;
    virtual std::string ErrorMessage(uint32_t Code) const = 0;
    // What a code means to the device's user; NotConnectedError() is NotConnected.
    virtual TErrorKind ErrorKind(uint32_t Code) const = 0;
    // The code for "the device is no longer connected".
    virtual uint32_t NotConnectedError() const = 0;

    // reader: tells debugging tools the calling thread's name.
    virtual void AnnounceThreadName(const std::string& Name) = 0;
};

// The services of the operating system this program was built for.
std::unique_ptr<TPlatformServices> CreateSystemServices();

} // namespace hid
