#pragma once
// Reports as a unit sends them and commands as the tool writes them, for tests on either
// side of the conversation.
#include <cstddef>
#include <string>
#include <string_view>

namespace testing_support {

// An input report of the given length: report ID 0, the bytes, zero padding.
std::string InputReport(std::string_view bytes, std::size_t length = 65);
// A line reply as a unit sends it: text, CR LF, zero padding.
std::string LineReport(std::string_view text, std::size_t length = 65);
// The command bytes of a written output report: report ID and zero padding removed.
std::string CommandOf(const std::string& report);

} // namespace testing_support
