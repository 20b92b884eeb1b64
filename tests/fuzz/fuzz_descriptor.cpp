// Any bytes as a HID report descriptor: the parser must stay inside them.
#include "hid/ReportDescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto info = hid::ParseReportDescriptor(data, size);
    (void)hid::NodeCaps(info);
    return 0;
}
