#include "support/CoreRig.h"

#include <algorithm>

namespace testing_support {

TCoreRig::TCoreRig(bool started)
    : bench(core::TBenchPorts{&hid, &log, &dialogs, &view, &clock}, "9.9.9",
            core::TBenchPolicy::OneUnit, core::TUnitOptions{&journal, &painter}),
      conversation(bench.Unit()) {
    painter.Show(conversation);
    if (started) Start();
}

TCoreRig::~TCoreRig() {
    bench.Shutdown();
    hid.SetOnDeviceChange({});
}

void TCoreRig::Start() {
    bench.Start();
    hid.NotifyChange(); // the controller's own first notice
}

sim::Transceiver& TCoreRig::PlugUnit(std::string_view model, std::string_view firmware) {
    return PlugUnit(sim::MakeProfile(model, firmware));
}

sim::Transceiver& TCoreRig::PlugUnit(const sim::Profile& profile) {
    sim = std::make_unique<sim::Transceiver>(profile);
    mark_ = 0;
    ReplugUnit();
    return *sim;
}

void TCoreRig::ReplugUnit() {
    unit = hid.Plug(sim->GetProfile().vendorId, sim->GetProfile().productId, false);
    unit->Caps.InputReportByteLength = sim->InputReportLength();
    unit->Caps.OutputReportByteLength = sim->OutputReportLength();
    unit->ProductText = u"Sonavelle Transceiver";
    unit->OnWrite = [this](const std::string& report) {
        sim->Write(reinterpret_cast<const std::uint8_t*>(report.data()), report.size(), nowUs);
    };
    hid.NotifyChange();
}

void TCoreRig::UnplugUnit() {
    if (!unit) return;
    unit->OnWrite = nullptr;
    TFakeHidDevice* gone = unit;
    unit = nullptr;
    hid.Unplug(gone);
    if (sim) sim->Replug();
}

TFakeHidDevice* TCoreRig::PlugBare(std::uint16_t productId) {
    unit = hid.Plug(core::TransceiverVendorID, productId);
    return unit;
}

void TCoreRig::Step(bool allDue) {
    nowUs += 1000;
    clock.Advance(1);
    if (unit && sim && sim->Vanished()) {
        UnplugUnit();
    } else if (unit && sim) {
        while (auto report = sim->Read(nowUs)) {
            if (hid.Deliver(unit, std::string(report->begin(), report->end()))) ++delivered;
            if (!allDue || !unit) break;
        }
    }
    if (Panel()[core::TControl::Timer1].enabled) bench.Tick();
}

bool TCoreRig::RunUntil(const std::function<bool()>& done, int maxTicks, bool allDue) {
    for (int i = 0; i < maxTicks; ++i) {
        if (done()) return true;
        Step(allDue);
    }
    return done();
}

bool TCoreRig::Resting() const {
    const auto phase = conversation.Phase();
    return (phase == core::TPhase::Ready || phase == core::TPhase::Closing) &&
           (!sim || sim->PendingReports() == 0);
}

bool TCoreRig::RunToRest(int maxTicks, bool allDue) {
    return RunUntil([this] { return Resting(); }, maxTicks, allDue);
}

bool TCoreRig::Deliver(const std::string& report) {
    return unit && hid.Deliver(unit, report);
}

void TCoreRig::Answer(std::string_view text) {
    Deliver(LineReport(text, unit ? unit->Caps.InputReportByteLength : 65));
    Step();
}

void TCoreRig::Mark() {
    mark_ = sim ? sim->Received().size() : 0;
}

std::vector<std::string> TCoreRig::SentSinceMark() const {
    if (!sim) return {};
    const auto& all = sim->Received();
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(mark_, all.size())), all.end()};
}

std::vector<std::string> TCoreRig::LogTexts() const {
    std::vector<std::string> texts;
    texts.reserve(log.lines.size());
    for (const auto& line : log.lines)
        texts.push_back(line.text);
    return texts;
}

bool TCoreRig::LogHas(std::string_view text) const {
    return std::any_of(log.lines.begin(), log.lines.end(),
                       [&](const TLogLine& line) { return line.text == text; });
}

int TCoreRig::LogCount(std::string_view prefix) const {
    return static_cast<int>(
        std::count_if(log.lines.begin(), log.lines.end(),
                      [&](const TLogLine& line) { return line.text.starts_with(prefix); }));
}

} // namespace testing_support
