// The module's JavaScript API for the page: one bench of units on the web link, its log,
// and the unit's state as show --json prints it. WebHid.h lists the calls.
#include "link/Bench.h"
#include "link/LogLine.h"
#include "link/Text.h"
#include "params/Phase.h"
#include "store/Requests.h"
#include "store/UnitText.h"
#include "web/WebHid.h"

#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <exception>
#include <string>
#include <vector>

namespace web {

namespace {

using emscripten::val;

class TWebBench final : core::TLogSink, core::TDialogSink, core::TViewSink, core::TClock {
  public:
    explicit TWebBench(std::string version)
        : hid_([this](std::uint32_t id, const std::uint8_t* report, std::uint32_t length) {
              if (output_.isUndefined()) return false;
              const val bytes = val::global("Uint8Array")
                                    .new_(val(emscripten::typed_memory_view(length, report)));
              // A copy: the view is gone when this returns.
              return output_(id, bytes.call<val>("slice")).as<bool>();
          }),
          bench_(core::TBenchPorts{&hid_, this, this, this, this}, std::move(version)) {}
    ~TWebBench() override { bench_.Shutdown(); }

    void SetOutput(val fn) { output_ = std::move(fn); }
    void SetLog(val fn) { log_ = std::move(fn); }
    void SetChange(val fn) { change_ = std::move(fn); }

    void Start() {
        Guarded([&] {
            bench_.Start();
            hid_.Start();
        });
    }
    std::uint32_t Arrive(val d) {
        TWebDevice device;
        device.vendorId = d["vendorId"].as<std::uint16_t>();
        device.productId = d["productId"].as<std::uint16_t>();
        if (d["path"].isString()) device.path = d["path"].as<std::string>();
        if (d["product"].isString()) device.product = d["product"].as<std::string>();
        if (d["manufacturer"].isString()) device.manufacturer = d["manufacturer"].as<std::string>();
        if (d["inputLength"].isNumber()) device.inputLength = d["inputLength"].as<std::uint16_t>();
        if (d["outputLength"].isNumber())
            device.outputLength = d["outputLength"].as<std::uint16_t>();
        std::uint32_t id = 0;
        Guarded([&] { id = hid_.Arrive(device); });
        return id;
    }
    void Input(std::uint32_t id, std::uint8_t reportId, val bytes) {
        const std::vector<std::uint8_t> data =
            emscripten::convertJSArrayToNumberVector<std::uint8_t>(bytes);
        Guarded([&] { hid_.Input(id, reportId, data.data(), data.size()); });
    }
    void Leave(std::uint32_t id) {
        Guarded([&] { hid_.Leave(id); });
    }
    void Tick() {
        Guarded([&] { bench_.Tick(); });
    }
    bool NeedsTicks() const { return bench_.NeedsTicks(); }

    std::string UnitJson() {
        const core::TConversation& c = bench_.Unit();
        const bool shown = c.Connected() && c.Phase() == core::TPhase::Ready && c.Supported();
        return store::IndentedText(store::UnitDescription(c, shown));
    }
    // "" when chosen, else why not (as the command line says it).
    std::string Choose(std::string name, std::string value) {
        const store::TRequests parsed = store::ParseAssignments({name + "=" + value});
        if (!parsed) return parsed.error;
        core::TConversation& c = bench_.Unit();
        if (const auto problem = store::CheckForUnit(parsed.requests, c.Identity()))
            return *problem;
        std::string why;
        Guarded([&] {
            if (!store::Choose(c, parsed.requests.front().setting, parsed.requests.front().value))
                why = "not taken";
        });
        return why;
    }
    void Apply() {
        Guarded([&] { bench_.Unit().PressApply(); });
    }
    void PressDefault() {
        Guarded([&] { bench_.Unit().PressDefault(); });
    }
    void Reconnect() {
        Guarded([&] { bench_.Unit().PressReconnect(); });
    }
    // The step number of the unit's phase, as the log's "N status" lines print it.
    int Step() const { return params::StepNumber(bench_.Unit().Phase()); }
    int Progress() const { return bench_.Unit().Progress(); }

  private:
    // Nothing thrown may reach JavaScript: it is said as the window's error box says it.
    template <typename F> void Guarded(F&& f) {
        try {
            f();
        } catch (const std::exception& e) {
            ShowErrorBox(e.what());
        } catch (...) {
            ShowErrorBox("Unknown error.");
        }
        if (!change_.isUndefined()) change_();
    }

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
        Append("error: " + std::string(utf8), false, core::kLogNote);
    }
    void ShowErrorMessage(std::string_view, std::string_view text) override {
        Append(text, false, core::kLogNote);
    }
    void Refresh(bool) override {}
    void Close() override {}

    void Append(std::string_view text, bool latin1, int direction) {
        if (log_.isUndefined()) return;
        core::TLogHead head;
        core::FormatLogHead(Now().wallMs, direction, head);
        std::string line(head, core::kLogHeadLength);
        if (latin1)
            core::AppendLatin1AsUtf8(line, core::LogBody(text));
        else
            line.append(core::LogBody(text));
        log_(line);
    }

    TWebHidController hid_;
    core::TUnitBench bench_;
    val output_ = val::undefined();
    val log_ = val::undefined();
    val change_ = val::undefined();
};

} // namespace

EMSCRIPTEN_BINDINGS(sonavelle_web) {
    emscripten::class_<TWebBench>("WebBench")
        .constructor<std::string>()
        .function("setOutput", &TWebBench::SetOutput)
        .function("setLog", &TWebBench::SetLog)
        .function("setChange", &TWebBench::SetChange)
        .function("start", &TWebBench::Start)
        .function("arrive", &TWebBench::Arrive)
        .function("input", &TWebBench::Input)
        .function("leave", &TWebBench::Leave)
        .function("tick", &TWebBench::Tick)
        .function("needsTicks", &TWebBench::NeedsTicks)
        .function("unitJson", &TWebBench::UnitJson)
        .function("choose", &TWebBench::Choose)
        .function("apply", &TWebBench::Apply)
        .function("pressDefault", &TWebBench::PressDefault)
        .function("reconnect", &TWebBench::Reconnect)
        .function("step", &TWebBench::Step)
        .function("progress", &TWebBench::Progress);
}

} // namespace web
