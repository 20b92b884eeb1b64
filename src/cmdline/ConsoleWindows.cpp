#include "cmdline/Console.h"

#include <windows.h>

#include <io.h>

#include <cstdio>

namespace cmdline {

namespace {

// A handle worth keeping: a file, a pipe, or a character device that is no console (NUL).
// A console handle is reopened all the same, which does no harm: whether the C runtime tied
// the stream to it at start depends on how the program was started.
bool LeadsSomewhere(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    switch (GetFileType(handle)) {
    case FILE_TYPE_DISK:
    case FILE_TYPE_PIPE:
        return true;
    case FILE_TYPE_CHAR:
        return !GetConsoleMode(handle, &mode);
    default:
        return false;
    }
}

void Reopen(DWORD which, FILE* stream) {
    if (LeadsSomewhere(which)) return;
    if (std::freopen("CONOUT$", "w", stream))
        // Write through the same console handle as the stream, for code that asks Windows.
        SetStdHandle(which, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
}

} // namespace

void AttachParentConsole() {
    // Fails from Explorer (no parent console) and in a console program (has one already).
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    Reopen(STD_OUTPUT_HANDLE, stdout);
    Reopen(STD_ERROR_HANDLE, stderr);
}

} // namespace cmdline
