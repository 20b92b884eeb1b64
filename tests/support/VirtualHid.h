#pragma once
// The real HID controller over the simulated services, on virtual time the test drives: a
// base for fixtures that put a bench on it.
#include "support/Recording.h"

#include "hid/HidControllerClass.h"
#include "hid/sim/ManualMainThread.h"
#include "hid/sim/SimHidServices.h"
#include "link/Bench.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

namespace testing_support {

struct TVirtualHid {
    // One millisecond: what fell due in the services runs, the clock moves, and the bench
    // ticks if it needs to.
    void Pass(core::TUnitBench& bench) {
        elapsedUs += 1000;
        services.AdvanceTo(elapsedUs);
        ASSERT_TRUE(hid::sim::SettleVirtual(services, main));
        clock.Advance(1);
        if (bench.NeedsTicks()) bench.Tick();
    }

    hid::TManualMainThread main;
    hid::sim::TSimServices services;
    std::unique_ptr<hid::THidDeviceController> controller =
        std::make_unique<hid::THidDeviceController>(services, main);
    TManualClock clock;
    std::uint64_t elapsedUs = 0;
};

} // namespace testing_support
