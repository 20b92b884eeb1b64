#pragma once
// A simulated transceiver behind the deterministic contract: what the window writes
// goes to the unit, what the unit answers is delivered one report per tick, and the
// test clock moves 1 ms a tick. A whole conversation runs in milliseconds, no sleeping.
#include "sim/Transceiver.h"
#include "support/WindowFixture.h"

#include <functional>
#include <memory>

namespace testing_support {

class SimWindowTest : public WindowTest {
  protected:
    // Plugs a unit made from the profile (after start-up) and wires it up.
    sim::Transceiver& PlugUnit(const sim::Profile& profile);
    sim::Transceiver& PlugUnit(std::string_view model, std::string_view firmware);
    // The same unit object again, as after pulling the cable and plugging it back.
    void UnplugUnit();
    void ReplugUnit();

    // One tick: the clock moves 1 ms, at most one due report is delivered, the window
    // ticks. A unit that vanished is unplugged.
    void Step();
    // Steps until the predicate holds; false when maxTicks ran out first.
    bool RunUntil(const std::function<bool()>& done, int maxTicks = 20000);
    // Until the conversation rests, ready or closed (read-back ends 1 s after the last reply).
    bool RunToRest(int maxTicks = 20000);

    std::unique_ptr<sim::Transceiver> sim;
    int64_t nowUs = 0;
};

} // namespace testing_support
