#include "store/JsonText.h"

namespace store {

namespace {

// Control characters, '"' and '\' escaped as Qt's writer escapes them; the rest as UTF-8.
void AppendString(std::string& out, const std::string& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            switch (c) {
            case '"':
                out += "\\\"";
                continue;
            case '\\':
                out += "\\\\";
                continue;
            case '\b':
                out += "\\b";
                continue;
            case '\f':
                out += "\\f";
                continue;
            case '\n':
                out += "\\n";
                continue;
            case '\r':
                out += "\\r";
                continue;
            case '\t':
                out += "\\t";
                continue;
            default:
                break;
            }
            if (c < 0x20) {
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 0xf];
            } else {
                out += static_cast<char>(c);
            }
            continue;
        }
        // A well-formed sequence goes as it is.
        const std::size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        bool whole = n > 0 && i + n <= text.size();
        for (std::size_t k = 1; whole && k < n; ++k)
            whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (whole && n >= 3) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            whole = !((c == 0xE0 && second < 0xA0) || (c == 0xED && second >= 0xA0) ||
                      (c == 0xF0 && second < 0x90) || (c == 0xF4 && second >= 0x90));
        }
        if (whole) {
            out.append(text, i, n);
            i += n;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    out += '"';
}

void AppendValue(std::string& out, const TJson& value, int indent) {
    const std::string inner(static_cast<std::size_t>(4 * (indent + 1)), ' ');
    if (const auto* b = value.As<bool>()) {
        out += *b ? "true" : "false";
    } else if (const auto* n = value.As<std::int64_t>()) {
        out += std::to_string(*n);
    } else if (const auto* s = value.As<std::string>()) {
        AppendString(out, *s);
    } else if (const auto* a = value.As<TJson::TArray>()) {
        out += "[\n";
        for (std::size_t i = 0; i < a->size(); ++i) {
            out += inner;
            AppendValue(out, (*a)[i], indent + 1);
            out += i + 1 < a->size() ? ",\n" : "\n";
        }
        out.append(static_cast<std::size_t>(4 * indent), ' ');
        out += ']';
    } else if (const auto* o = value.As<TJson::TObject>()) {
        out += "{\n";
        std::size_t i = 0;
        for (const auto& [key, member] : *o) {
            out += inner;
            AppendString(out, key);
            out += ": ";
            AppendValue(out, member, indent + 1);
            out += ++i < o->size() ? ",\n" : "\n";
        }
        out.append(static_cast<std::size_t>(4 * indent), ' ');
        out += '}';
    } else {
        out += "null";
    }
}

} // namespace

std::string IndentedText(const TJson& value) {
    std::string out;
    AppendValue(out, value, 0);
    // A document is an object or an array, and ends its last line.
    if (value.As<TJson::TObject>() || value.As<TJson::TArray>()) out += '\n';
    return out;
}

} // namespace store
