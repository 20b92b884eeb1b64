#include "params/ParamKeys.h"

#include "params/Capabilities.h"

#include <algorithm>
#include <cmath>

namespace params {

std::int32_t expectedParamCnt(bool extendedFirmware, std::string_view version) noexcept {
    if (!extendedFirmware) return 7;
    if (VersionAtLeast(version, Version201036)) return 13;
    if (VersionAtLeast(version, Version201033)) return 12;
    if (VersionAtLeast(version, Version201029)) return 10;
    if (VersionAtLeast(version, Version201026)) return 9;
    return 8;
}

namespace {

int Share(double base, double span, std::int32_t count, std::int32_t expected) {
    if (expected <= 0) return static_cast<int>(base);
    const double pos = base + std::trunc(span * count / expected);
    return static_cast<int>(std::clamp(pos, 0.0, 100.0));
}

} // namespace

int InitialReadBackProgress(std::int32_t recvCnt, std::int32_t expected) noexcept {
    return Share(20, 40, recvCnt, expected);
}

int CurrentReadBackProgress(std::int32_t recvCnt, std::int32_t expected) noexcept {
    return Share(60, 40, recvCnt, expected);
}

int ApplyProgress(std::int32_t progressCnt, std::int32_t expected) noexcept {
    return Share(0, 100, progressCnt, expected);
}

bool SkipInitialReadBack(std::int32_t initParamReadCnt, std::string_view version,
                         std::string_view model, std::string_view lastReadVersion,
                         std::string_view lastReadKind) noexcept {
    return initParamReadCnt > 0 && version == lastReadVersion && model == lastReadKind;
}

} // namespace params
