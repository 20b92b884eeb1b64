#include "support/SimLink.h"
#include "support/WindowWidgets.h"

namespace testing_support {

sim::Transceiver& SimWindowTest::PlugUnit(std::string_view model, std::string_view firmware) {
    return PlugUnit(sim::MakeProfile(model, firmware));
}

sim::Transceiver& SimWindowTest::PlugUnit(const sim::Profile& profile) {
    sim = std::make_unique<sim::Transceiver>(profile);
    ReplugUnit();
    return *sim;
}

void SimWindowTest::ReplugUnit() {
    unit = hid->Plug(TransceiverVendorID, sim->GetProfile().productId, false);
    unit->Caps.InputReportByteLength = sim->InputReportLength();
    unit->Caps.OutputReportByteLength = sim->OutputReportLength();
    unit->OnWrite = [this](const std::string& report) {
        sim->Write(reinterpret_cast<const uint8_t*>(report.data()), report.size(), nowUs);
    };
    hid->NotifyChange();
}

void SimWindowTest::UnplugUnit() {
    if (!unit) return;
    unit->OnWrite = nullptr;
    auto* gone = unit;
    unit = nullptr;
    hid->Unplug(gone);
    sim->Replug();
}

void SimWindowTest::Step() {
    nowUs += 1000;
    clock->Advance(1);
    if (unit && sim->Vanished()) {
        UnplugUnit();
    } else if (unit) {
        if (auto report = sim->Read(nowUs))
            hid->Deliver(unit, std::string(report->begin(), report->end()));
    }
    form->Timer1Timer();
}

bool SimWindowTest::RunUntil(const std::function<bool()>& done, int maxTicks) {
    for (int i = 0; i < maxTicks; ++i) {
        if (done()) return true;
        Step();
    }
    return done();
}

bool SimWindowTest::RunToRest(int maxTicks) {
    return RunUntil(
        [this] {
            return form->Conversation().Phase() == core::TPhase::Ready ||
                   form->Conversation().Phase() == core::TPhase::Closing;
        },
        maxTicks);
}

} // namespace testing_support
