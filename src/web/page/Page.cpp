// The page's module: the tool's bench of one unit on the web link, as the command line holds
// it, with what the page shows of it (state, preview, result) and what it keeps (the backup
// before a write, the record line after it). The page keeps them in the browser's storage;
// every text, name and value comes from here, none is typed again in JavaScript.
//
// From JavaScript (web/page.js):
//   const page = new Module.Page(Module.version(), {output(id, bytes), log(line), record(entry),
//                                          message(text), changed()});
//   page.arrive({vendorId, productId, product, inputLength, outputLength}) -> id
//   page.start()      the tool starts with the devices arrived so far (again after
//                     restart(): a unit chosen while attached is asked to be plugged again)
//   page.restart()    every device forgotten; arrive them again, then start()
//   page.input(id, reportId, bytes); page.leave(id); page.tick(); page.needsTicks()
//   page.state()      what the page shows, as an object
//   page.choose(name, value) -> "" or why not
//   page.backup() -> {name, text} or {error}: the unit as it holds now, as a backup file
//   page.backupKept(text); page.keptAs(name)  the page has kept that backup (under that
//                     name): Apply and Default may write
//   page.apply(); page.pressDefault()
//   page.restore(parsed, fileName) -> {error} or {skipped: [...]}; parsed: JSON.parse of the
//                     file, or null when it is no JSON at all
//   page.recordCsv(entries) -> the record as the command line's "record --csv" writes it
// Module.version(), Module.transceiverIds(), Module.udevRuleHint() for the page's texts.
#include "link/Bench.h"
#include "link/LogLine.h"
#include "link/Text.h"
#include "params/Phase.h"
#include "store/Requests.h"
#include "store/RequestsDetail.h"
#include "store/ServiceRecord.h"
#include "store/TimeText.h"
#include "store/UnitText.h"
#include "store/Vocabulary.h"
#include "web/WebHid.h"

#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace web {

namespace {

using emscripten::val;

constexpr std::string_view kTool = "sonavelle-page";
constexpr std::string_view kProduct = "Sonavelle customize tool";

val Strings(const std::vector<std::string>& list) {
    val out = val::array();
    for (const std::string& s : list)
        out.call<void>("push", s);
    return out;
}

val Named(const store::TNamedValues& values) {
    val out = val::object();
    for (const auto& [name, value] : values)
        out.set(name, value);
    return out;
}

std::optional<std::string> Text(const val& v) {
    if (!v.isString()) return std::nullopt;
    return v.as<std::string>();
}

std::vector<std::string> Keys(const val& object) {
    return emscripten::vecFromJSArray<std::string>(val::global("Object").call<val>("keys", object));
}

bool IsObject(const val& v) {
    return !v.isNull() && !v.isUndefined() && v.typeOf().as<std::string>() == "object" &&
           !val::global("Array").call<bool>("isArray", v);
}

class TPage final : core::TLogSink,
                    core::TDialogSink,
                    core::TViewSink,
                    core::TClock,
                    core::TWriteJournal {
  public:
    TPage(std::string version, val hooks) : version_(std::move(version)), hooks_(std::move(hooks)) {
        Make();
    }
    ~TPage() override { Drop(); }

    std::uint32_t Arrive(val d) {
        TWebDevice device;
        device.vendorId = d["vendorId"].as<std::uint16_t>();
        device.productId = d["productId"].as<std::uint16_t>();
        if (d["product"].isString()) device.product = d["product"].as<std::string>();
        if (d["inputLength"].isNumber()) device.inputLength = d["inputLength"].as<std::uint16_t>();
        if (d["outputLength"].isNumber())
            device.outputLength = d["outputLength"].as<std::uint16_t>();
        std::uint32_t id = 0;
        Guarded([&] { id = hid_->Arrive(device); });
        return id;
    }
    void Start() {
        Guarded([&] {
            bench_->Start();
            hid_->Start();
        });
    }
    void Restart() {
        Drop();
        Make();
        Changed();
    }
    void Input(std::uint32_t id, std::uint8_t reportId, val bytes) {
        const auto data = emscripten::convertJSArrayToNumberVector<std::uint8_t>(bytes);
        Guarded([&] { hid_->Input(id, reportId, data.data(), data.size()); });
    }
    void Leave(std::uint32_t id) {
        Guarded([&] { hid_->Leave(id); });
    }
    void Tick() {
        Guarded([&] { bench_->Tick(); });
    }
    bool NeedsTicks() const { return bench_->NeedsTicks(); }

    val State() const {
        const core::TConversation& c = bench_->Unit();
        const store::TUnitFacts facts = store::UnitFacts(c);
        val s = val::object();
        s.set("connected", c.Connected());
        s.set("step", params::StepNumber(c.Phase()));
        s.set("progress", c.Progress());
        s.set("running", c.WriteRunUnderWay() || c.RunUnderWay().has_value());
        s.set("ready", Ready());
        s.set("waitingReplug", waitingReplug_);
        val identity = val::object();
        identity.set("firmware", facts.firmware);
        identity.set("model", facts.model);
        identity.set("language", facts.language);
        identity.set("serial",
                     facts.serial.empty() ? std::string(store::kSerialNotRead) : facts.serial);
        s.set("identity", identity);
        s.set("supported", c.Supported());
        if (!c.Supported() && c.VersionHeard())
            s.set("notice", store::OneLine(std::string(core::kUnsupportedNotice)));
        val settings = val::array();
        if (SettingsShown()) {
            for (const params::TSettingInfo& info : params::kSettings) {
                const auto values = params::SettingValues(info.id, c.Identity());
                if (values.empty()) continue;
                val one = val::object();
                one.set("name", std::string(info.name));
                one.set("values", Strings(values));
                const auto held = store::HeldValue(c, info.id);
                one.set("current", held ? val(*held) : val::null());
                const auto chosen = store::ChosenValue(c, info.id);
                one.set("choice", chosen ? val(*chosen) : val::null());
                one.set("shown", store::Escaped(c.Setting(info.id).shown));
                one.set("adjustable", c.Setting(info.id).adjustable);
                settings.call<void>("push", one);
            }
        }
        s.set("settings", settings);
        s.set("changes", Strings(Ready() ? Preview() : std::vector<std::string>()));
        s.set("adjustable", Ready() && params::Adjustable(c.Identity()));
        s.set("restoring", restoring_);
        if (result_) {
            val r = val::object();
            r.set("ok", result_->ok);
            r.set("text", result_->text);
            r.set("count", results_);
            s.set("result", r);
        }
        return s;
    }

    std::string Choose(std::string name, std::string value) {
        const store::TRequests parsed = store::ParseAssignments({name + "=" + value});
        if (!parsed) return parsed.error;
        core::TConversation& c = bench_->Unit();
        if (const auto problem = store::CheckForUnit(parsed.requests, c.Identity()))
            return *problem;
        Guarded([&] {
            store::Choose(c, parsed.requests.front().setting, parsed.requests.front().value);
        });
        return {};
    }

    // The backup file of the unit as it holds now: what "show --json" prints of its own
    // values, with the raw values it reported and the "backup" object, as the command line's
    // backups hold them.
    val Backup() const {
        val out = val::object();
        const core::TConversation& c = bench_->Unit();
        if (!Ready()) {
            out.set("error", std::string("no unit's settings are shown"));
            return out;
        }
        const core::TTimePoint now = Now();
        out.set("text", BackupText(now));
        const store::TUnitFacts facts = store::UnitFacts(c);
        // As the command line names a unit's backups (a serial spelled for a file name).
        std::string unit;
        for (char ch : facts.serial.empty() ? "no-serial." + facts.model + "-" + facts.firmware
                                            : facts.serial) {
            const bool plain = (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '-' ||
                               (facts.serial.empty() && ch != '/' && ch != '\\');
            unit += plain ? std::string(1, ch) : "_" + core::Hex(static_cast<unsigned char>(ch), 2);
        }
        const std::string local = store::LocalText(now);
        std::string stamp;
        for (char ch : local.substr(0, 19))
            if (ch != '-' && ch != ':') stamp += ch == 'T' ? '-' : ch;
        out.set("unit", unit);
        out.set("name", unit + "_" + stamp + ".json");
        return out;
    }
    void BackupKept(std::string text) { keptBackup_ = std::move(text); }
    void KeptAs(std::string name) { keptName_ = std::move(name); }

    void Apply() {
        result_.reset();
        Guarded([&] { bench_->Unit().PressApply(); });
        if (Ready() && bench_->Unit().ChangeCount() == 0 && !pending_)
            Tell({true, Serial() + ": nothing to change: the unit already has these settings"});
    }
    void PressDefault() {
        result_.reset();
        restoring_ = false;
        Guarded([&] { bench_->Unit().PressDefault(); });
    }

    val Restore(val parsed, std::string name) {
        val out = val::object();
        core::TConversation& c = bench_->Unit();
        const auto fail = [&](std::string why) {
            out.set("error", name + ": " + why);
            return out;
        };
        if (!Ready()) return fail("no unit's settings are shown to restore them to");
        if (!IsObject(parsed) || !IsObject(parsed["settings"]))
            return fail("not a backup or settings file (no \"settings\" object)");
        const val marker = parsed["backup"];
        const bool marked = !marker.isUndefined();
        if (marked && (!IsObject(marker) || Text(marker["product"]) != std::string(kProduct)))
            return fail("a backup of another program");
        store::TRequests requests;
        const val settings = parsed["settings"];
        for (const std::string& key : Keys(settings)) {
            const auto value = Text(settings[key]);
            if (!value) return fail("settings." + store::detail::Shown(key) + " is not a text");
            if (!store::detail::Add(requests, key, *value,
                                    name + ": settings." + store::detail::Shown(key)))
                return fail(requests.error);
        }
        if (requests.requests.empty()) return fail("holds no settings");
        std::optional<params::TUnitValues> raw;
        if (marked) {
            const val unit = parsed["unit"];
            const val rawObject = parsed["raw"];
            if (!IsObject(unit) || !IsObject(rawObject) || !Text(unit["firmware"]))
                return fail("a damaged backup (its unit, time or raw values are missing)");
            const auto serial = Text(unit["serial"]);
            const store::TUnitFacts facts = store::UnitFacts(c);
            if (serial && !facts.serial.empty() && *serial != facts.serial)
                return fail("a backup of the unit " + store::detail::Shown(*serial) +
                            ", not of this one (" + facts.serial + ")");
            std::map<std::string, std::string> values;
            for (const std::string& key : Keys(rawObject))
                if (const auto v = Text(rawObject[key])) values[key] = *v;
            const params::TIdentity backup = params::TIdentity::FromVersion(
                *Text(unit["firmware"]), Text(unit["model"]).value_or(""));
            store::TRestoreRaw checked = store::RestoreRawFor(backup, values, c.Identity());
            if (!checked) return fail(checked.error);
            raw = std::move(checked.values);
        }
        const store::TUnitSplit split = store::SplitForUnit(requests.requests, c.Identity());
        std::vector<std::string> skipped;
        for (const store::TSkipped& s : split.skipped)
            skipped.push_back(std::string(store::Info(s.request.setting).name) + "=" +
                              s.request.value + " (" + s.reason + ")");
        Guarded([&] {
            for (const store::TRequest& r : split.taken)
                store::Choose(c, r.setting, r.value);
            if (raw) c.ChooseUnitValues(*raw);
        });
        restoring_ = true;
        out.set("skipped", Strings(skipped));
        return out;
    }

    std::string RecordCsv(val entries) const {
        std::vector<store::TRecordEntry> list;
        const auto count = entries["length"].as<unsigned>();
        for (unsigned i = 0; i < count; ++i) {
            const val e = entries[i];
            store::TRecordEntry entry;
            for (auto [name, field] : {std::pair{"utc", &store::TRecordEntry::utc},
                                       {"local", &store::TRecordEntry::local},
                                       {"tool", &store::TRecordEntry::tool},
                                       {"run", &store::TRecordEntry::run},
                                       {"model", &store::TRecordEntry::model},
                                       {"firmware", &store::TRecordEntry::firmware},
                                       {"language", &store::TRecordEntry::language},
                                       {"result", &store::TRecordEntry::result}})
                entry.*field = Text(e[name]).value_or("");
            for (auto [name, field] : {std::pair{"serial", &store::TRecordEntry::serial},
                                       {"command", &store::TRecordEntry::command},
                                       {"reply", &store::TRecordEntry::reply},
                                       {"backup", &store::TRecordEntry::backup}})
                entry.*field = Text(e[name]);
            for (auto [name, field] : {std::pair{"before", &store::TRecordEntry::before},
                                       {"chosen", &store::TRecordEntry::chosen},
                                       {"written", &store::TRecordEntry::written}})
                if (IsObject(e[name]))
                    for (const std::string& key : Keys(e[name]))
                        (entry.*field)[key] = Text(e[name][key]).value_or("");
            entry.simulated = e["simulated"].isTrue();
            list.push_back(std::move(entry));
        }
        return store::RecordCsv(list);
    }

  private:
    struct TResult {
        bool ok;
        std::string text;
    };

    void Make() {
        hid_ = std::make_unique<TWebHidController>([this](std::uint32_t id,
                                                          const std::uint8_t* report,
                                                          std::uint32_t length) {
            const val bytes =
                val::global("Uint8Array").new_(val(emscripten::typed_memory_view(length, report)));
            // A copy: the view is gone when this returns.
            return hooks_.call<val>("output", id, bytes.call<val>("slice")).isTrue();
        });
        core::TBenchPorts ports{hid_.get(), this, this, this, this};
        core::TUnitOptions options;
        options.Journal = this;
        bench_ = std::make_unique<core::TUnitBench>(ports, version_, core::TBenchPolicy::OneUnit,
                                                    options);
        waitingReplug_ = false;
        restoring_ = false;
        result_.reset();
        keptBackup_.clear();
    }
    void Drop() {
        if (bench_) bench_->Shutdown();
        bench_.reset();
        hid_.reset();
    }

    bool SettingsShown() const {
        const core::TConversation& c = bench_->Unit();
        return c.Connected() && c.Supported() && c.CurrentReceivedCount() > 0;
    }
    bool Ready() const {
        const core::TConversation& c = bench_->Unit();
        return SettingsShown() && c.Phase() == core::TPhase::Ready && !c.WriteRunUnderWay();
    }
    std::string Serial() const {
        const std::string serial = store::UnitFacts(bench_->Unit()).serial;
        return serial.empty() ? std::string(store::kSerialNotRead) : serial;
    }

    // What Apply would change, as the command line's dry run prints it.
    std::vector<std::string> Preview() const {
        const core::TConversation& c = bench_->Unit();
        std::vector<std::string> lines;
        const auto changed = c.ChangesOnApply().changed;
        const auto raw = restoring_ ? store::RawChanges(c.WritesOnApply(), c.UnitValues())
                                    : std::vector<store::TRawChange>();
        for (params::TSetting setting : changed) {
            std::vector<std::string> values;
            for (const store::TRawChange& r : raw)
                if (r.setting == setting) values = r.values;
            lines.push_back(store::ChangeLine(setting, store::HeldValue(c, setting),
                                              store::ChosenValue(c, setting), values));
        }
        return lines;
    }

    std::string BackupText(const core::TTimePoint& now) const {
        const core::TConversation& c = bench_->Unit();
        store::TJson root = store::UnitDescription(c, true, store::TValueOf::Unit);
        auto& object = const_cast<store::TJson::TObject&>(*root.As<store::TJson::TObject>());
        store::TJson::TObject raw;
        for (const auto& [command, value] : c.UnitValues().All())
            raw[params::UnitValueKey(command)] = store::Escaped(core::Latin1ToUtf8(value));
        object["raw"] = std::move(raw);
        if (!now.utcMs) return store::IndentedText(root);
        object["backup"] = store::TJson::TObject{{"utc", store::UtcText(now)},
                                                 {"local", store::LocalText(now)},
                                                 {"tool", std::string(kTool)},
                                                 {"product", std::string(kProduct)}};
        return store::IndentedText(root);
    }

    // ---- the journal: nothing is written without a whole backup kept by the page ---------
    bool BeforeFirstWrite(core::TRunKind kind) override {
        // The kept backup must be of what the unit holds now, whatever its time stamp.
        const bool whole =
            !keptBackup_.empty() && Untimed(keptBackup_) == BackupText(core::TTimePoint{});
        if (!whole) {
            Tell({false, Serial() + ": no backup of the unit's settings was kept; nothing was "
                                    "written. Download or keep a backup, then try again."});
            return false;
        }
        start_ = store::RunStart(bench_->Unit(), kind);
        start_.backup = keptName_;
        runIsRestore_ = restoring_ && kind == core::TRunKind::Apply;
        pending_ = true;
        keptBackup_.clear();
        keptName_.reset();
        return true;
    }
    void RunEnded(core::TRunKind kind, core::TRunEnd end) override {
        pending_ = false;
        const core::TConversation& c = bench_->Unit();
        store::TRecordEntry e = store::MakeEntry(c, kind, end, start_, Now(), std::string(kTool));
        if (runIsRestore_) e.run = "restore";
        restoring_ = false;
        Tell(Outcome(kind, end, e));
        val entry = val::object();
        for (auto [name, field] : {std::pair{"utc", &e.utc},
                                   {"local", &e.local},
                                   {"tool", &e.tool},
                                   {"run", &e.run},
                                   {"model", &e.model},
                                   {"firmware", &e.firmware},
                                   {"language", &e.language},
                                   {"result", &e.result}})
            entry.set(name, *field);
        for (auto [name, field] : {std::pair{"serial", &e.serial},
                                   {"command", &e.command},
                                   {"reply", &e.reply},
                                   {"backup", &e.backup}})
            entry.set(name, *field ? val(**field) : val::null());
        entry.set("before", Named(e.before));
        entry.set("chosen", Named(e.chosen));
        entry.set("written", Named(e.written));
        hooks_.call<void>("record", entry);
    }

    // The run's end in plain words, as the command line says it.
    TResult Outcome(core::TRunKind kind, core::TRunEnd end, const store::TRecordEntry& e) const {
        const core::TConversation& c = bench_->Unit();
        const std::string serial = Serial() + ": ";
        std::string names;
        for (params::TSetting s : c.Changed())
            names += (names.empty() ? "" : ", ") + std::string(store::Info(s).name);
        switch (end) {
        case core::TRunEnd::Saved:
            return {true, kind == core::TRunKind::Default
                              ? serial + "factory settings restored and saved"
                              : serial + std::to_string(c.ChangeCount()) + " setting(s) changed (" +
                                    names + "); written and saved"};
        case core::TRunEnd::Refused:
            if (e.result == "save not confirmed")
                return {false, serial + "the settings were written but the unit did not confirm "
                                        "saving them. Unplug it, plug it in again and check its "
                                        "settings."};
            return {false, serial + "the unit refused " + e.command.value_or("a command") +
                               " (answer " + store::Quoted(e.reply.value_or("")) +
                               "); nothing was saved. Unplug the unit, plug it in again and "
                               "retry; restore the backup if its settings look wrong."};
        case core::TRunEnd::WriteFailed:
            return {false, serial + "a command could not be sent to the unit; nothing was saved. "
                                    "Unplug it, plug it in again and retry."};
        case core::TRunEnd::WentAway:
            return {false, serial + "the unit went away during the run; its settings may be "
                                    "partly written. Plug it in again, check its settings and "
                                    "restore the backup if needed."};
        case core::TRunEnd::Abandoned:
            break;
        }
        return {false, serial + "the run did not finish (" + e.result +
                           "). Plug the unit in again and check its settings."};
    }

    void Tell(TResult result) {
        result_ = std::move(result);
        ++results_;
    }

    static std::string Untimed(const std::string& text) {
        // The "backup" object holds only the time and the tool: drop it to compare.
        const auto at = text.find("    \"backup\": {");
        if (at == std::string::npos) return text;
        const auto end = text.find("    },\n", at);
        return end == std::string::npos ? text : text.substr(0, at) + text.substr(end + 7);
    }

    // ---- ports ---------------------------------------------------------------------------
    core::TTimePoint Now() const override {
        const val date = val::global("Date").new_();
        const auto utc = static_cast<std::int64_t>(date.call<double>("getTime"));
        const auto offsetMin = static_cast<std::int64_t>(date.call<double>("getTimezoneOffset"));
        return {utc, utc - offsetMin * 60000};
    }
    void WriteLog(std::string_view utf8, int direction) override { Append(utf8, false, direction); }
    void WriteLogBytes(std::string_view latin1, int direction) override {
        Append(latin1, true, direction);
    }
    void ShowErrorBox(std::string_view utf8) override {
        Append(utf8, false, core::kLogNote);
        hooks_.call<void>("message", std::string(utf8));
    }
    void ShowErrorMessage(std::string_view, std::string_view text) override {
        // The only such message: the unit was attached before the start ("Remove Sonavelle.").
        Append(text, false, core::kLogNote);
        hooks_.call<void>("message", std::string(text) +
                                         " A unit chosen or attached before the start is not "
                                         "taken: unplug it and plug it in again.");
    }
    void Refresh(bool) override {}
    void Close() override { closeAsked_ = true; }

    void Append(std::string_view text, bool latin1, int direction) {
        core::TLogHead head;
        core::FormatLogHead(Now().wallMs, direction, head);
        std::string line(head, core::kLogHeadLength);
        if (latin1)
            core::AppendLatin1AsUtf8(line, core::LogBody(text));
        else
            line.append(core::LogBody(text));
        hooks_.call<void>("log", line);
    }

    // Nothing thrown may reach JavaScript: it is told as the window's error box tells it.
    template <typename F> void Guarded(F&& f) {
        try {
            f();
            if (closeAsked_) {
                // The window would close; the page lets go of the unit and waits for it to be
                // plugged in again, as the command line does.
                closeAsked_ = false;
                waitingReplug_ = true;
                bench_->Unit().LetGo();
            }
            if (bench_->Unit().Connected()) waitingReplug_ = false;
        } catch (const std::exception& e) {
            ShowErrorBox(e.what());
        } catch (...) {
            ShowErrorBox("Unknown error.");
        }
        Changed();
    }
    void Changed() { hooks_.call<void>("changed"); }

    std::string version_;
    val hooks_;
    std::unique_ptr<TWebHidController> hid_;
    std::unique_ptr<core::TUnitBench> bench_;
    bool closeAsked_ = false;
    bool waitingReplug_ = false;
    bool restoring_ = false;
    bool runIsRestore_ = false;
    bool pending_ = false;
    std::optional<TResult> result_;
    int results_ = 0; // results told so far: a page tells a new one from the last
    std::string keptBackup_;
    std::optional<std::string> keptName_;
    store::TRunStart start_;
};

val TransceiverIds() {
    val out = val::array();
    for (const core::TTransceiverId& id : core::kTransceiverIds) {
        val filter = val::object();
        filter.set("vendorId", id.VendorID);
        filter.set("productId", id.ProductID);
        out.call<void>("push", filter);
    }
    return out;
}

// The project's version, as the start line and --version name it.
std::string Version() {
    return SV_VERSION;
}

std::string UdevRuleHint() {
    return std::string(core::kUdevRuleHint);
}

} // namespace

EMSCRIPTEN_BINDINGS(sonavelle_page) {
    emscripten::class_<TPage>("Page")
        .constructor<std::string, val>()
        .function("arrive", &TPage::Arrive)
        .function("start", &TPage::Start)
        .function("restart", &TPage::Restart)
        .function("input", &TPage::Input)
        .function("leave", &TPage::Leave)
        .function("tick", &TPage::Tick)
        .function("needsTicks", &TPage::NeedsTicks)
        .function("state", &TPage::State)
        .function("choose", &TPage::Choose)
        .function("backup", &TPage::Backup)
        .function("backupKept", &TPage::BackupKept)
        .function("keptAs", &TPage::KeptAs)
        .function("apply", &TPage::Apply)
        .function("pressDefault", &TPage::PressDefault)
        .function("restore", &TPage::Restore)
        .function("recordCsv", &TPage::RecordCsv);
    emscripten::function("transceiverIds", &TransceiverIds);
    emscripten::function("udevRuleHint", &UdevRuleHint);
    emscripten::function("version", &Version);
}

} // namespace web
