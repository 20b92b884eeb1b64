#include "CliCases.h"

#include "store/Backups.h"
#include "store/ServiceRecord.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace cli_cases {

std::vector<std::string> Presets() {
    return sim::PresetNames();
}

bool ShowsSettings(const std::string& firmware) {
    return firmware.size() == 6 && firmware >= "201016" && firmware <= "201999";
}

std::vector<std::string> PresetsShowingSettings() {
    std::vector<std::string> names;
    for (const std::string& name : Presets())
        if (ShowsSettings(name.substr(name.rfind('/') + 1))) names.push_back(name);
    return names;
}

std::string PresetTestName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

sim::Profile Preset(const std::string& name) {
    const std::optional<sim::Profile> profile = sim::FindPreset(name);
    if (!profile) throw std::invalid_argument("no preset " + name);
    return *profile;
}

TDataHome::TDataHome() : before_(qgetenv("XDG_DATA_HOME")) {
    if (!dir_.isValid()) throw std::runtime_error("no temporary folder");
    qputenv("XDG_DATA_HOME", dir_.path().toUtf8());
}

TDataHome::~TDataHome() {
    qputenv("XDG_DATA_HOME", before_);
}

std::string TDataHome::Path(const std::string& name) const {
    return name.empty() ? dir_.path().toStdString()
                        : dir_.filePath(QString::fromStdString(name)).toStdString();
}

std::string TDataHome::Backups() const {
    return store::BackupFolder();
}

std::string TDataHome::Record() const {
    return store::RecordPath();
}

namespace {
// From the test program's start: no test writes into the home folder.
const TDataHome gProgramDataHome;
} // namespace

TCapture::TCapture() : file_(std::tmpfile()) {
    if (!file_) throw std::runtime_error("no temporary file");
}

TCapture::~TCapture() {
    std::fclose(file_);
}

std::string TCapture::Text() const {
    std::fflush(file_);
    const long end = std::ftell(file_);
    std::string text(static_cast<std::size_t>(end), '\0');
    std::rewind(file_);
    const std::size_t got = std::fread(text.data(), 1, text.size(), file_);
    text.resize(got);
    std::fseek(file_, 0, SEEK_END);
    return text;
}

std::vector<std::string> TCapture::Lines() const {
    std::vector<std::string> lines;
    const std::string text = Text();
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

cli::TCommandOptions TPrinted::Options(std::int64_t timeoutMs) const {
    cli::TCommandOptions options;
    options.out = out.File();
    options.err = err.File();
    options.session.messages = err.File();
    options.session.timeoutMs = timeoutMs;
    return options;
}

std::vector<std::string> TPrinted::Said() const {
    std::vector<std::string> lines = err.Lines();
    std::erase_if(lines, [](const std::string& line) {
        return line.starts_with("sonavelle-cli: backup saved: ");
    });
    return lines;
}

std::optional<sim::ParamSet> StoredOf(cli::TSimBench& bench) {
    return bench.Unit().Inspect([](sim::Transceiver& u) { return u.Stored(); });
}

std::size_t WritesTo(cli::TSimBench& bench, std::size_t unit) {
    return bench.Unit(unit).Inspect([](sim::Transceiver& u) {
        const auto& all = u.Received();
        return static_cast<std::size_t>(std::count_if(all.begin(), all.end(), [](const auto& c) {
            return c.starts_with("SPAR") || c == "SAVE" || c == "CLEAR";
        }));
    });
}

TBenchRun::TBenchRun(const sim::Profile& profile, int units, std::int64_t timeoutMs)
    : bench(profile, units), session(bench, Options(timeoutMs)) {}

cli::TSessionOptions TBenchRun::Options(std::int64_t timeoutMs) const {
    cli::TSessionOptions options;
    options.messages = messages.File();
    options.timeoutMs = timeoutMs;
    options.keepLog = true;
    return options;
}

std::vector<std::string> SentIn(const std::vector<std::string>& logLines, std::size_t from) {
    // "yy/MM/dd HH:mm:ss zzz," then the direction
    constexpr std::size_t kStamp = 22;
    std::vector<std::string> sent;
    for (std::size_t i = from; i < logLines.size(); ++i)
        if (logLines[i].compare(kStamp, 2, ">>") == 0)
            sent.push_back(logLines[i].substr(kStamp + 2));
    return sent;
}

std::vector<cli::TRequest>
Requests(const std::vector<std::pair<cli::TSetting, std::string>>& choices) {
    std::vector<cli::TRequest> requests;
    for (const auto& [setting, value] : choices)
        requests.push_back({setting, value, "test"});
    return requests;
}

bool IsWindowItem(cli::TSetting setting, std::string_view value, std::string_view item) {
    using cli::TSetting;
    const std::string v(value);
    switch (setting) {
    case TSetting::Channel:
        return item == "ch " + v || item == v + " ch";
    case TSetting::Recorder: {
        static const std::map<std::string, std::string, std::less<>> items{
            {"off", "O\xEF\xBD\x86\xEF\xBD\x86"}, // full-width f's, as the window shows it
            {"transmit", "Transmitting record"},
            {"receive", "Receiving record"},
            {"all", "All record"},
            {"record-only", "Record only"}};
        const auto it = items.find(value);
        return it != items.end() && item == it->second;
    }
    case TSetting::AirCheck:
        return false;
    default: {
        // "off" -> "Off", "middle" -> "Middle", "3" -> "3"
        std::string shown = v;
        if (!shown.empty())
            shown[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(shown[0])));
        return item == shown;
    }
    }
}

TAirCheckItems AirCheckItems(std::string_view value) {
    const std::size_t slash = value.find('/');
    const std::string first(value.substr(0, slash));
    const std::string later(value.substr(slash + 1));
    // The two-minute signal repeated every minute is the test setting.
    const std::string test = first == "2" ? " (Test)" : "";
    return {"in " + first + " min." + test,
            "every " + later + " min." + (later == "1" ? " (Test)" : "")};
}

std::string WrittenLine(const params::TIdentity& identity, std::optional<cli::TSetting> stoppedIn) {
    std::string written, notWritten;
    bool reached = false;
    // The vocabulary lists the settings in the order Apply writes them.
    for (const cli::TSettingInfo& info : cli::kSettings) {
        if (stoppedIn && info.id == *stoppedIn) reached = true;
        if (params::SettingValues(info.id, identity).empty()) continue;
        std::string& list = reached ? notWritten : written;
        list += (list.empty() ? "" : ", ") + std::string(info.name);
    }
    return "written: " + (written.empty() ? std::string("none") : written) +
           "; not written: " + (notWritten.empty() ? std::string("none") : notWritten);
}

} // namespace cli_cases
