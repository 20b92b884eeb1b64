#pragma once
// umockdev's testbed works through its preload library: a test binary runs itself again
// with it in place, so that ctest and a plain run need no wrapper.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

// Returns only when the preload library is in place; otherwise exec's or fails.
inline void RunWithUmockdevPreload(char** argv) {
    const char* old = std::getenv("LD_PRELOAD");
    if (old && std::strstr(old, "libumockdev-preload")) return;
    std::string preload = "libumockdev-preload.so.0";
    if (old && *old) preload += std::string(":") + old;
    setenv("LD_PRELOAD", preload.c_str(), 1);
    execv("/proc/self/exe", argv);
    std::perror("execv");
    std::exit(1);
}
