// A unit file as a user or a hostile source may write it: a profile or one error line.
#include "sim/Profile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const sim::ProfileResult r = sim::ParseProfile(text);
    if (r.profile.has_value() == !r.error.empty()) std::abort();
    return 0;
}
