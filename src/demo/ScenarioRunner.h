#pragma once
// Runs a scenario against the demo rig, in the rig's time, and reports the log and the
// final state of every control.
#include "demo/DemoRig.h"
#include "demo/Scenario.h"

#include <QString>

namespace demo {

struct TRunResult {
    bool Ok = true;
    QString Error; // "line N: ..."
};

// Names every control the scenario touches before anything runs: an unknown name fails
// the scenario at once.
TRunResult CheckControls(const TScenario& scenario, TForm1& form);
TRunResult RunScenario(const TScenario& scenario, TDemoRig& rig);

// What the runner prints: the window's log lines, one per line, as the window holds them,
// and the state of every control as indented JSON.
QByteArray PrintedLog(const TForm1& form);
QByteArray PrintedState(const TForm1& form);

} // namespace demo
