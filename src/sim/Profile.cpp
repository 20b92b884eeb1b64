#include "sim/Profile.h"

#include "files/FileText.h"

#include <algorithm>
#include <charconv>

namespace sim {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::optional<int64_t> ParseInt(std::string_view s, int64_t min, int64_t max, int base = 10) {
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    if (base == 16 && (s.starts_with("0x") || s.starts_with("0X"))) s.remove_prefix(2);
    int64_t v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
    if (v < min || v > max) return std::nullopt;
    return v;
}

struct Override {
    std::string key;
    std::string value;
    int line;
};

ProfileResult Fail(std::string message) {
    return ProfileResult{std::nullopt, std::move(message)};
}

} // namespace

Profile MakeProfile(std::string_view model, std::string_view firmware) {
    Profile p;
    p.model = std::string(model);
    p.firmware = std::string(firmware);
    p.defaults = FactorySet(model, firmware);
    p.stored = PresetCurrentSet(model, firmware);
    return p;
}

const std::vector<std::string>& ListedModels() {
    static const std::vector<std::string> models{
        "DW720 KEL", "DW720 MIV", "DW720 QZ", "DW730 TONAL", "DW730 VELMORAS_SPECIAL",
        "PX510",     "PX510 MIV"};
    return models;
}

const std::vector<std::string>& PresetFirmwares() {
    static const std::vector<std::string> firmwares{"201016", "201020", "201026", "201029",
                                                    "201033", "201036", "105",    "202000"};
    return firmwares;
}

std::vector<std::string> PresetNames() {
    std::vector<std::string> names;
    for (const auto& m : ListedModels())
        for (const auto& f : PresetFirmwares())
            names.push_back(m + "/" + f);
    return names;
}

std::optional<Profile> FindPreset(std::string_view name) {
    auto slash = name.rfind('/');
    if (slash == std::string_view::npos) return std::nullopt;
    std::string_view model = name.substr(0, slash);
    std::string_view firmware = name.substr(slash + 1);
    for (const auto& m : ListedModels())
        for (const auto& f : PresetFirmwares())
            if (m == model && f == firmware) return MakeProfile(model, firmware);
    return std::nullopt;
}

ProfileResult ParseProfile(std::string_view text, const LineNames& lineName) {
    const auto Where = [&](int n) { return lineName ? lineName(n) : "line " + std::to_string(n); };
    const auto Line = [&](int n) { return Where(n) + ": "; };
    // Saved as "UTF-8 with BOM" by some editors.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    Profile p;
    std::string defaultsMode = "factory";
    std::string storedMode = "preset";
    int inputLengthLine = 0;
    int firmwareLine = 0;
    int storedLine = 0;
    int defaultsLine = 0;
    std::vector<Override> params;
    std::vector<Override> defaults;

    std::vector<std::string_view> lines;
    for (size_t start = 0;;) {
        auto nl = text.find('\n', start);
        lines.push_back(text.substr(start, nl == std::string_view::npos ? nl : nl - start));
        if (nl == std::string_view::npos) break;
        start = nl + 1;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        const int lineNo = static_cast<int>(i) + 1;
        std::string_view line = Trim(lines[i]);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        auto eq = line.find('=');
        if (eq == std::string_view::npos)
            return Fail(Line(lineNo) + "expected 'key = value', got '" + std::string(line) + "'");
        const std::string key(Trim(line.substr(0, eq)));
        const std::string_view value = Trim(line.substr(eq + 1));
        const std::string v(value);
        auto bad = [&](const std::string& what) {
            return Fail(Line(lineNo) + key + " must be " + what + ", got '" + v + "'");
        };
        auto names = [&](std::set<std::string>& into) -> bool {
            std::string_view rest = value;
            bool any = false;
            while (true) {
                auto comma = rest.find(',');
                std::string_view one = Trim(rest.substr(0, comma));
                if (one.empty()) return false;
                into.emplace(one);
                any = true;
                if (comma == std::string_view::npos) break;
                rest.remove_prefix(comma + 1);
            }
            return any;
        };

        if (key == "model") {
            p.model = v;
        } else if (key == "firmware") {
            if (v.empty()) return bad("a version text");
            p.firmware = v;
            firmwareLine = lineNo;
        } else if (key == "serial") {
            p.serial = v;
        } else if (key == "language") {
            p.language = v;
        } else if (key == "product_name") {
            p.productName = v;
        } else if (key == "product_id" || key == "vendor_id") {
            auto n = ParseInt(value, 1, 0xFFFF, 16);
            if (!n) return bad("a hexadecimal number from 1 to FFFF");
            (key == "product_id" ? p.productId : p.vendorId) = static_cast<uint16_t>(*n);
        } else if (key == "input_length" || key == "output_length") {
            auto n = ParseInt(value, 2, 65535);
            if (!n) return bad("a number from 2 to 65535");
            if (key == "input_length") {
                p.inputReportLength = static_cast<uint16_t>(*n);
                inputLengthLine = lineNo;
            } else {
                p.outputReportLength = static_cast<uint16_t>(*n);
            }
        } else if (key == "reply_interval_us") {
            auto n = ParseInt(value, 0, 10'000'000);
            if (!n) return bad("a number of microseconds from 0 to 10000000");
            p.replyIntervalUs = *n;
        } else if (key == "defaults") {
            if (v != "factory" && v != "none") return bad("'factory' or 'none'");
            defaultsMode = v;
            defaultsLine = lineNo;
        } else if (key == "access") {
            static const std::pair<std::string_view, Access> kAccess[] = {
                {"full", Access::Full}, {"query", Access::QueryOnly}, {"none", Access::None}};
            const auto* at = std::find_if(std::begin(kAccess), std::end(kAccess),
                                          [&](const auto& a) { return a.first == v; });
            if (at == std::end(kAccess)) return bad("'full', 'query' or 'none'");
            p.access = at->second;
        } else if (key == "stored") {
            if (v != "preset" && v != "factory" && v != "none")
                return bad("'preset', 'factory' or 'none'");
            storedMode = v;
            storedLine = lineNo;
        } else if (key.starts_with("param.") || key.starts_with("default.")) {
            auto dot = key.find('.');
            Override o{key.substr(dot + 1), v, lineNo};
            (key[0] == 'p' ? params : defaults).push_back(std::move(o));
        } else if (key == "info.size") {
            auto n = ParseInt(value, 0, 1 << 20);
            if (!n) return bad("a number of bytes from 0 to 1048576");
            p.infoSize = static_cast<uint32_t>(*n);
        } else if (key == "info.stamp") {
            if (v.size() > 55) return bad("at most 55 characters");
            p.infoStamp = v;
        } else if (key == "fault.ng" || key == "fault.silent" || key == "fault.garbage" ||
                   key == "fault.nomarker" || key == "fault.noterm" || key == "fault.split") {
            auto& f = p.faults;
            std::set<std::string>& into = key == "fault.ng"         ? f.ng
                                          : key == "fault.silent"   ? f.silent
                                          : key == "fault.garbage"  ? f.garbage
                                          : key == "fault.nomarker" ? f.noMarker
                                          : key == "fault.noterm"   ? f.noTerm
                                                                    : f.split;
            if (!names(into)) return bad("a comma-separated list of command names");
        } else if (key == "fault.short_upload") {
            auto n = ParseInt(value, 1, 1023);
            if (!n) return bad("a number of bytes from 1 to 1023");
            p.faults.shortUpload = static_cast<int>(*n);
        } else if (key == "fault.wrong_packet") {
            auto n = ParseInt(value, 0, 100000);
            if (!n) return bad("a data packet index from 0");
            p.faults.wrongPacket = static_cast<int>(*n);
        } else if (key == "fault.info_size_delta") {
            auto n = ParseInt(value, -(1 << 20), 1 << 20);
            if (!n || *n == 0) return bad("a non-zero number of bytes");
            p.faults.infoSizeDelta = static_cast<int32_t>(*n);
        } else if (key == "fault.upload_marker") {
            if (v.empty() || v.size() > 64) return bad("a text of 1 to 64 characters");
            p.faults.uploadMarker = v;
        } else if (key == "fault.vanish_after") {
            auto n = ParseInt(value, 0, 1'000'000);
            if (!n) return bad("a number of commands from 0");
            p.faults.vanishAfter = static_cast<int>(*n);
        } else {
            return Fail(Line(lineNo) + "unknown key '" + key + "'");
        }
    }

    if (p.firmware.size() == 3 && p.inputReportLength < 1025)
        return Fail(Line(inputLengthLine ? inputLengthLine : firmwareLine) +
                    "input_length must be at least 1025 for three-character firmware "
                    "(its upload packets fill 1024 bytes)");

    const std::string unit = "'" + p.model + "' " + p.firmware;
    if (defaultsMode == "factory") p.defaults = FactorySet(p.model, p.firmware);
    if (storedMode == "preset") p.stored = PresetCurrentSet(p.model, p.firmware);
    if (storedMode == "factory") p.stored = FactorySet(p.model, p.firmware);

    auto apply = [&](std::vector<Override>& list, std::optional<ParamSet>& set, int modeLine,
                     const char* mode) -> std::optional<std::string> {
        for (const auto& o : list) {
            if (!set)
                return Line(o.line) + "parameter given although " + mode + " = none (" +
                       Where(modeLine) + ")";
            if (!set->Has(o.key))
                return Line(o.line) + "unit " + unit + " has no parameter '" + o.key + "'";
            auto norm = NormaliseValue(o.key, o.value);
            if (!norm) return Line(o.line) + "'" + o.value + "' is not a valid value for " + o.key;
            set->Set(o.key, *norm);
        }
        return std::nullopt;
    };
    if (auto e = apply(defaults, p.defaults, defaultsLine, "defaults")) return Fail(*e);
    if (auto e = apply(params, p.stored, storedLine, "stored")) return Fail(*e);
    return ProfileResult{std::move(p), {}};
}

ProfileResult LoadProfile(const std::string& path) {
    const files::TFileText read = files::ReadFileText(path);
    if (!read) return Fail(path + ": " + read.why);
    ProfileResult r = ParseProfile(*read.text);
    if (!r) r.error = path + ": " + r.error;
    return r;
}

ProfileResult PresetOrFile(const std::string& name) {
    if (std::optional<Profile> preset = FindPreset(name)) return {std::move(preset), {}};
    return LoadProfile(name);
}

} // namespace sim
