// A settings file (lines or the JSON that "show --json" prints): requests or one error line.
#include "cli/Requests.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const cli::TRequests r = cli::ParseSettingsText(text, "s.txt");
    if (!r && (r.error.empty() || r.error.find('\n') != std::string::npos)) std::abort();
    return 0;
}
