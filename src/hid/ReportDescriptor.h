#pragma once
// Report lengths from a HID report descriptor, counted the way the Windows HID parser
// counts them, so every platform gives the layer above the same capability record.
#include "hid/HidTypes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hid {

// One top-level collection. Lengths are in bytes with the report-ID byte included (that
// byte is there, as 0, even when the device numbers no reports); 0 when the collection
// has no report of that kind.
struct TCollectionCaps {
    uint16_t UsagePage = 0;
    uint16_t Usage = 0;
    uint16_t InputLength = 0;
    uint16_t OutputLength = 0;
    uint16_t FeatureLength = 0;
};

struct TReportDescriptorInfo {
    std::vector<TCollectionCaps> Collections;
    bool NumberedReports = false; // a Report ID item appears: every report starts with its ID
    bool Complete = true;         // false when the descriptor was cut short or malformed
};

TReportDescriptorInfo ParseReportDescriptor(const uint8_t* Data, size_t Size);

// The capability record of a device node that carries all collections of the descriptor
// (as a Linux hidraw node does): the longest report of each kind, the first collection's
// usage.
THidCaps NodeCaps(const TReportDescriptorInfo& Info);

} // namespace hid
