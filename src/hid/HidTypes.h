#pragma once
// Plain data the HID layer hands to its clients: attributes, capabilities and the
// plug-and-play description of one device interface.
#include <cstdint>
#include <string>
#include <vector>

namespace hid {

// What a failing operation's platform code means to the user of a device; each platform
// decides for its own codes (TCustomHidDevice::ErrorKind).
enum class TErrorKind { Other, AccessDenied, NotConnected };

struct THidAttributes {
    uint32_t Size = 12;
    uint16_t VendorID = 0;
    uint16_t ProductID = 0;
    uint16_t VersionNumber = 0;
};

// The platform's capability record; the lengths count the report-ID byte.
struct THidCaps {
    uint16_t Usage = 0;
    uint16_t UsagePage = 0;
    uint16_t InputReportByteLength = 0;
    uint16_t OutputReportByteLength = 0;
    uint16_t FeatureReportByteLength = 0;
    uint16_t Reserved[17] = {};
    uint16_t NumberLinkCollectionNodes = 0;
    uint16_t NumberInputButtonCaps = 0;
    uint16_t NumberInputValueCaps = 0;
    uint16_t NumberInputDataIndices = 0;
    uint16_t NumberOutputButtonCaps = 0;
    uint16_t NumberOutputValueCaps = 0;
    uint16_t NumberOutputDataIndices = 0;
    uint16_t NumberFeatureButtonCaps = 0;
    uint16_t NumberFeatureValueCaps = 0;
    uint16_t NumberFeatureDataIndices = 0;
};

using TStringList = std::vector<std::string>;

// Where a device interface was found, read once when the device object is made.
// Texts are 8-bit; a property the platform cannot supply is empty (or 0).
struct THidPnPInfo {
    uint32_t DeviceID = 0;
    std::string DevicePath;
    uint32_t Capabilities = 0;
    std::string ClassDescr;
    std::string ClassGUID;
    TStringList CompatibleIDs;
    uint32_t ConfigFlags = 0;
    std::string DeviceDescr;
    std::string Driver;
    std::string FriendlyName;
    TStringList HardwareID;
    TStringList LowerFilters;
    std::string Mfg;
    TStringList UpperFilters;
    std::string Address;
    uint32_t BusNumber = 0;
    std::string BusType;
    std::string Characteristics;
    uint32_t DevType = 0;
    std::string EnumeratorName;
    uint32_t Exclusive = 0;
    uint32_t LegacyBusType = 0;
    std::string LocationInfo;
    std::string PhysDevObjName;
    std::string SecuritySDS;
    std::string Service;
    uint32_t UINumber = 0;
    std::string UINumberFormat;
};

} // namespace hid
