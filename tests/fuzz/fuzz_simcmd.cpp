// Anything a host may send: the simulated unit answers or stays silent, never breaks.
// The input is a series of output reports, each preceded by one length byte.
#include "sim/Transceiver.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const char* const kFirmwares[] = {"201016", "201036", "105", "202000"};
    sim::Transceiver unit(sim::MakeProfile("DW730 TONAL", kFirmwares[data[0] % 4]));
    int64_t now = 0;
    size_t pos = 1;
    while (pos < size) {
        const size_t len = std::min<size_t>(data[pos], size - pos - 1);
        std::vector<uint8_t> report(data + pos + 1, data + pos + 1 + len);
        pos += 1 + len;
        unit.Write(report.data(), report.size(), now);
        now += 1000;
        while (auto r = unit.Read(now))
            if (r->size() > unit.InputReportLength()) std::abort();
    }
    return 0;
}
