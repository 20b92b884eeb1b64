#include "BenchRig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace bench {

bool RunEventsUntil(const std::function<bool()>& Done, int TimeoutMs) {
    QElapsedTimer timer;
    timer.start();
    // Wakes the loop now and then, so that a condition that no event follows is seen.
    QTimer nudge;
    nudge.start(5);
    while (!Done()) {
        if (timer.elapsed() >= TimeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void RunEventsFor(int Ms) {
    QEventLoop loop;
    QTimer::singleShot(Ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

namespace {

// Always the tool's unit, whatever the profile says.
sim::Profile ToolUnit(sim::Profile Profile) {
    Profile.vendorId = TransceiverVendorID;
    Profile.access = sim::Access::Full;
    return Profile;
}

} // namespace

TBenchRig::TBenchRig(const sim::Profile& Profile)
    : unit_(std::make_shared<hid::sim::TTransceiverModel>(ToolUnit(Profile))),
      timed_(std::make_shared<TTimedModel>(unit_)) {
    auto controller = std::make_unique<hid::THidDeviceController>(services_, main_);
    auto* loading = controller.get();
    form_ = std::make_unique<TForm1>(
        TFormServices{std::move(controller), nullptr, std::make_unique<TSilentDialogs>()});
    loading->Loaded();
}

TBenchRig::~TBenchRig() {
    form_.reset();
}

void TBenchRig::Plug() {
    cable_.Plug(unit_, timed_);
}

void TBenchRig::Unplug() {
    cable_.Unplug();
}

} // namespace bench
