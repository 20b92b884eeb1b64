#include "support/Reports.h"

namespace testing_support {

std::string InputReport(std::string_view bytes, std::size_t length) {
    std::string report(1, '\0');
    report += bytes;
    if (report.size() < length) report.resize(length, '\0');
    return report;
}

std::string LineReport(std::string_view text, std::size_t length) {
    return InputReport(std::string(text) + "\r\n", length);
}

std::string CommandOf(const std::string& report) {
    const std::string body = report.empty() ? std::string() : report.substr(1);
    const auto end = body.find_last_not_of('\0');
    return end == std::string::npos ? std::string() : body.substr(0, end + 1);
}

} // namespace testing_support
