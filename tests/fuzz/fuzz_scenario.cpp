// A scenario and the unit profile it makes: actions or one error line, never a crash.
#include "demo/Scenario.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // unit-file lines may name any path: a device such as /dev/stdin would wait for input.
    if (text.find("/dev") != std::string::npos || text.find("/proc") != std::string::npos) return 0;
    const demo::TScenarioResult r = demo::ParseScenario(text, "/nonexistent");
    if (r.Scenario.has_value() == !r.Error.empty()) std::abort();
    if (!r.Scenario) return 0;
    std::string error;
    if (!demo::ScenarioProfile(*r.Scenario, error) && error.empty()) std::abort();
    return 0;
}
