#pragma once
// A data folder of the test's own, and a unit read back by the core on the test rig.
#include "support/CoreRig.h"
#include "support/QtPrinters.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace store_cases {

// A temporary folder that is also $XDG_DATA_HOME, so that DataFolder() lies inside it.
class TDataHome {
  public:
    TDataHome() { qputenv("XDG_DATA_HOME", dir.path().toUtf8()); }
    ~TDataHome() { qunsetenv("XDG_DATA_HOME"); }
    std::string Path(const std::string& name = {}) const {
        return name.empty() ? dir.path().toStdString()
                            : dir.filePath(QString::fromStdString(name)).toStdString();
    }
    QTemporaryDir dir;
};

// 2026-12-08 14:01:02 local time, nine hours ahead of UTC.
inline constexpr std::int64_t kWallMs = 1796738462000;

// The unit plugged in and read back, ready for Apply; the clock then shows kWallMs.
inline void Connect(testing_support::TCoreRig& rig, const sim::Profile& profile) {
    rig.PlugUnit(profile);
    ASSERT_TRUE(rig.RunToRest());
    rig.Mark();
    rig.clock.SetWall(kWallMs);
}

} // namespace store_cases
