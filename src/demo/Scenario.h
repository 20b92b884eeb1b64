#pragma once
// A scenario for the headless runner: the simulated unit to plug and the user's actions,
// one per line. Plain C++, so the parser is tested without a window.
//
//   # comment                       blank lines and comments are skipped
//   unit DW730 TONAL/201036         a preset (sim::PresetNames())
//   unit-file units/old.unit        a profile file, relative to the scenario
//   unit.firmware = 201020          one profile line on top of the above (see
//                                   src/sim/Transceiver.h for the keys and faults); a
//                                   bad one is named by its line in the scenario
//   press Exit1                     (or anything else that closes the window) ends the run
//                                   there, as a success: what follows is not run
//   plug | unplug                   attach or detach the unit; returns once the tool's device
//                                   pass for the change notice has run
//   wait idle [TIMEOUT_MS]          until the conversation rests (step 1 or 99, or no unit)
//   wait connected [TIMEOUT_MS]     until the tool has checked the unit out
//   wait step N [TIMEOUT_MS]        until the step number is N
//   wait ms N                       let N milliseconds pass
//   choose CONTROL INDEX            select an item of a radio group or drop-down list
//   check CONTROL on|off            set a check box, as a click would
//   press CONTROL                   click a button, or trigger a menu item (Exit1, Version1)
//   reconnect                       press ButtonReconnect
//   screenshot FILE                 save the window as a PNG
// A UTF-8 byte order mark at the top is skipped. The scenario, each unit file and the unit
// profile they make together are at most files::kMaxFileBytes. Timeouts default to
// 10000 ms; a wait that runs out fails the scenario. Waits and time-outs count in the
// runner's time: virtual milliseconds (ticks) by default, real ones with --real-time.
// Neither may be longer than an hour.
#include "sim/Profile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace demo {

enum class TActionKind {
    Plug,
    Unplug,
    WaitIdle,
    WaitConnected,
    WaitStep,
    WaitMs,
    Choose,
    Check,
    Press,
    Reconnect,
    Screenshot
};

inline constexpr int64_t kMaxWaitMs = 3600 * 1000;
// More than any list of the window holds.
inline constexpr int64_t kMaxItemIndex = 999;

struct TAction {
    TActionKind Kind = TActionKind::Plug;
    int Line = 0;
    std::string Control; // choose, check, press
    std::string Path;    // screenshot
    int64_t Number = 0;  // step, index, milliseconds; check: 1 on, 0 off
    int64_t TimeoutMs = 10000;
};

// Lines of the unit profile that one scenario line put there: a unit. line, or a unit file.
struct TProfilePart {
    int ScenarioLine = 0;
    std::string File; // the unit file as the scenario names it; empty: a unit. line
    int Lines = 1;
};

struct TScenario {
    std::string UnitPreset; // empty: the profile text alone
    int UnitPresetLine = 0;
    std::string UnitProfileText;                // unit-file contents, then unit. lines
    std::vector<TProfilePart> UnitProfileParts; // in the order of UnitProfileText
    std::vector<TAction> Actions;
};

struct TScenarioResult {
    std::optional<TScenario> Scenario;
    std::string Error; // "line N: ..."
};

// BaseDir resolves unit-file paths.
TScenarioResult ParseScenario(const std::string& text, const std::string& baseDir);
TScenarioResult LoadScenario(const std::string& path);

// The unit a scenario describes; a fault in its profile is named by the scenario's line
// ("unit profile: line 5: ...", "unit profile: line 3 (old.unit line 2): ...").
std::optional<sim::Profile> ScenarioProfile(const TScenario& scenario, std::string& error);

} // namespace demo
