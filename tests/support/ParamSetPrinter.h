#pragma once
// A simulated unit's store in a failure message: "Key=value" pairs, not the set's bytes.
#include "sim/Params.h"

#include <ostream>

namespace sim {
inline void PrintTo(const ParamSet& set, std::ostream* out) {
    for (const auto& [key, value] : set.Entries())
        *out << key << "=" << value << " ";
}
} // namespace sim
