#include "link/Framing.h"

#include <algorithm>
#include <string_view>

namespace channel {

std::optional<std::string> ApplyFileInfoAlias(const std::string& text) {
    static constexpr std::string_view kAlias = "FILEINFO";
    if (text.size() < kAlias.size()) return text;
    for (size_t i = 0; i < kAlias.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != kAlias[i]) return text;
    }
    std::string rest = text.substr(kAlias.size(), 46);
    if (rest.empty()) return std::nullopt;
    return "FINS" + rest;
}

namespace {

struct TKindRule {
    std::string_view Marker;
    TReplyKind Kind;
};

constexpr TKindRule kKindRules[] = {
    {"OK", TReplyKind::Line},        {"NG", TReplyKind::Line},     {"filecmd", TReplyKind::File},
    {"act_finfo", TReplyKind::File}, {"--boot", TReplyKind::File},
};

} // namespace

TReply ParseReply(const uint8_t* data, size_t size) {
    const std::string_view report(reinterpret_cast<const char*>(data), data ? size : 0);
    TReply reply;
    for (const auto& rule : kKindRules) {
        if (report.find(rule.Marker) != std::string_view::npos) {
            reply.Kind = rule.Kind;
            break;
        }
    }

    size_t taken = report.size();
    size_t terminatorLength = 0;
    if (reply.Kind == TReplyKind::Line) {
        terminatorLength = 2;
        if (auto pos = report.find("\r\n"); pos != std::string_view::npos) taken = pos + 2;
    } else if (reply.Kind == TReplyKind::File) {
        terminatorLength = 1;
        if (auto pos = report.find('\n'); pos != std::string_view::npos) taken = pos + 1;
    }

    // Three characters a byte, written in place: a data packet's dump is 3 KB.
    static constexpr char kDigits[] = "0123456789ABCDEF";
    reply.Hex.resize(taken == 0 ? 0 : taken * 3 - 1, ',');
    char* hex = reply.Hex.data();
    for (size_t i = 0; i < taken; ++i, hex += 3) {
        const auto b = static_cast<uint8_t>(report[i]);
        hex[0] = kDigits[b >> 4];
        hex[1] = kDigits[b & 0x0F];
    }

    // Without a terminator the last bytes of the report go in its place; a report
    // shorter than the terminator leaves nothing.
    reply.Text = std::string(report.substr(0, taken - std::min(taken, terminatorLength)));
    reply.Printable = reply.Text;
    for (auto& c : reply.Printable) {
        const auto b = static_cast<uint8_t>(c);
        if (b < 0x20 || b > 0x7E) c = '_';
    }
    return reply;
}

void ReplyLogText(const TReply& reply, std::string& out) {
    out.reserve(reply.Hex.size() + 1 + reply.Printable.size());
    out.assign(reply.Hex).append(1, '-').append(reply.Printable);
}

std::string ReplyLogText(const TReply& reply) {
    std::string out;
    ReplyLogText(reply, out);
    return out;
}

} // namespace channel
