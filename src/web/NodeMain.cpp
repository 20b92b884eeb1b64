// sonavelle-cli for node: the command line's show and set on a simulated unit, in WebAssembly.
#include "web/Command.h"

#include <exception>
#include <cstdio>

int main(int argc, char* argv[]) {
    // Nothing may reach JavaScript as an exception: it would arrive as a bare number.
    try {
        return web::RunCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sonavelle-cli: error: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "sonavelle-cli: error: unknown\n");
    }
    return 1;
}
