#include "hid/ReportDescriptor.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace hid {

namespace {

struct TGlobals {
    uint32_t UsagePage = 0;
    uint32_t ReportSize = 0;
    uint32_t ReportCount = 0;
    uint32_t ReportID = 0;
};

enum TKind { Input, Output, Feature };

uint16_t ClampLength(uint64_t Bits) {
    if (Bits == 0) return 0;
    const uint64_t bytes = (Bits + 7) / 8 + 1;
    return static_cast<uint16_t>(std::min<uint64_t>(bytes, 0xFFFF));
}

} // namespace

TReportDescriptorInfo ParseReportDescriptor(const uint8_t* Data, size_t Size) {
    TReportDescriptorInfo info;
    TGlobals globals;
    std::vector<TGlobals> stack;
    std::vector<uint32_t> usages; // local usages since the last main item
    int depth = 0;
    // (collection, report ID, kind) -> bits
    std::map<std::tuple<size_t, uint32_t, int>, uint64_t> bits;

    size_t i = 0;
    while (i < Size) {
        const uint8_t prefix = Data[i];
        if (prefix == 0xFE) { // long item: skipped whole
            if (i + 2 >= Size) {
                info.Complete = false;
                break;
            }
            i += 3 + size_t{Data[i + 1]};
            continue;
        }
        static constexpr size_t kSizes[4] = {0, 1, 2, 4};
        const size_t n = kSizes[prefix & 3];
        if (i + 1 + n > Size) {
            info.Complete = false;
            break;
        }
        uint32_t value = 0;
        for (size_t k = 0; k < n; ++k)
            value |= uint32_t{Data[i + 1 + k]} << (8 * k);
        const int type = (prefix >> 2) & 3;
        const int tag = prefix >> 4;
        i += 1 + n;

        if (type == 1) { // global
            switch (tag) {
            case 0:
                globals.UsagePage = value;
                break;
            case 7:
                globals.ReportSize = value;
                break;
            case 8:
                globals.ReportID = value;
                info.NumberedReports = true;
                break;
            case 9:
                globals.ReportCount = value;
                break;
            case 10:
                stack.push_back(globals);
                break;
            case 11:
                if (!stack.empty()) {
                    globals = stack.back();
                    stack.pop_back();
                }
                break;
            default:
                break;
            }
        } else if (type == 2) { // local
            if (tag == 0) usages.push_back(n == 4 ? value : (globals.UsagePage << 16) | value);
        } else if (type == 0) { // main
            switch (tag) {
            case 8:
            case 9:
            case 11:
                if (depth > 0 && !info.Collections.empty()) {
                    const int kind = tag == 8 ? Input : tag == 9 ? Output : Feature;
                    bits[{info.Collections.size() - 1, globals.ReportID, kind}] +=
                        uint64_t{globals.ReportSize} * globals.ReportCount;
                }
                break;
            case 10:
                if (depth == 0) {
                    TCollectionCaps c;
                    const uint32_t usage = usages.empty() ? globals.UsagePage << 16 : usages[0];
                    c.UsagePage = static_cast<uint16_t>(usage >> 16);
                    c.Usage = static_cast<uint16_t>(usage & 0xFFFF);
                    info.Collections.push_back(c);
                }
                ++depth;
                break;
            case 12:
                if (depth == 0)
                    info.Complete = false;
                else
                    --depth;
                break;
            default:
                break;
            }
            usages.clear();
        }
    }
    if (depth != 0) info.Complete = false;

    for (const auto& [key, count] : bits) {
        TCollectionCaps& c = info.Collections[std::get<0>(key)];
        uint16_t& length = std::get<2>(key) == Input    ? c.InputLength
                           : std::get<2>(key) == Output ? c.OutputLength
                                                        : c.FeatureLength;
        length = std::max(length, ClampLength(count));
    }
    return info;
}

THidCaps NodeCaps(const TReportDescriptorInfo& Info) {
    THidCaps caps{};
    if (!Info.Collections.empty()) {
        caps.UsagePage = Info.Collections[0].UsagePage;
        caps.Usage = Info.Collections[0].Usage;
    }
    for (const TCollectionCaps& c : Info.Collections) {
        caps.InputReportByteLength = std::max(caps.InputReportByteLength, c.InputLength);
        caps.OutputReportByteLength = std::max(caps.OutputReportByteLength, c.OutputLength);
        caps.FeatureReportByteLength = std::max(caps.FeatureReportByteLength, c.FeatureLength);
    }
    return caps;
}

} // namespace hid
