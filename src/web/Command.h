#pragma once
// sonavelle-cli in the web build, run by node: "--sim list", and show and set on one
// simulated unit (--sim PRESET or a unit file), with --log, --json, --timeout and
// --no-backup as the native command line takes them. Its output, exit codes and log are the
// native command line's, byte for byte (scripts/test-web.sh compares them); the service
// record and backups are not kept here, so a log lacks their notes.
#include <string>
#include <vector>

namespace web {

int RunCommandLine(const std::vector<std::string>& arguments);

} // namespace web
