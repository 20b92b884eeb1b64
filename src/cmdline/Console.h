#pragma once
// A windowed program has no console of its own: on Windows, --help, --version and usage
// errors typed in a Command Prompt or PowerShell would print nowhere.

namespace cmdline {

// Started from a console, the standard streams that lead nowhere are opened on that
// console; output redirected to a file or pipe stays where it goes. Started from Explorer,
// and on other systems, nothing changes. Call first thing in main().
void AttachParentConsole();

} // namespace cmdline
