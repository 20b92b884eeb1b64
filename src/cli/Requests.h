#pragma once
// Settings files and the settings' names live in store/ (the window reads and writes them
// too); the command line keeps calling them by their cli:: names.
#include "store/Requests.h"

namespace cli {

using store::Info;
using store::kSettings;
using store::TSetting;
using store::TSettingInfo;

using store::AnyUnitValues;
using store::Canonical;
using store::Choose;
using store::ChosenValue;
using store::HeldValue;
using store::SettingNamed;

using store::CheckForUnit;
using store::Escaped;
using store::Join;
using store::LoadSettingsFile;
using store::LoadSettingsStream;
using store::ParseAssignments;
using store::ParseSettingsText;
using store::Quoted;
using store::TRequest;
using store::TRequests;
using store::UnitName;

} // namespace cli
