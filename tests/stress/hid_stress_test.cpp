// The controller, devices and reader threads through thousands of check-out, check-in,
// unplug and re-plug cycles, with reports in flight at every moment a cycle can cut them.
#include "hid/HidControllerClass.h"
#include "hid/sim/ManualMainThread.h"
#include "hid/sim/SimHidServices.h"
#include "support/ThreadWait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <future>
#include <mutex>
#include <random>
#include <thread>

using namespace hid;
using hid::sim::TQueueModel;
using hid::sim::TSimDeviceSpec;
using hid::sim::TSimServices;
using testing_support::kThreadWaitMs;

namespace {

constexpr uint16_t kVid = 0x3A5C;
constexpr uint16_t kUnitPid = 0x7802;
constexpr uint16_t kNeighbourPid = 0x0001;

size_t ThreadCount() {
    size_t n = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (const dirent* e = readdir(dir))
            if (e->d_name[0] != '.') ++n;
        closedir(dir);
    }
    return n;
}

// Ends the process with a message if a cycle makes no progress for Limit: a deadlock
// shows as a failure, not as a run that never ends. The whole run may take as long as a
// slow machine needs.
class TWatchdog {
  public:
    explicit TWatchdog(std::chrono::seconds Limit)
        : thread_([this, Limit] {
              std::unique_lock lock(lock_);
              for (;;) {
                  const uint64_t seen = progress_;
                  if (cv_.wait_for(lock, Limit, [&] { return done_ || progress_ != seen; })) {
                      if (done_) return;
                      continue;
                  }
                  std::fprintf(stderr, "stress: no progress for %lld s: deadlock\n",
                               static_cast<long long>(Limit.count()));
                  std::abort();
              }
          }) {}
    void Progress() {
        {
            std::lock_guard lock(lock_);
            ++progress_;
        }
        cv_.notify_all();
    }
    ~TWatchdog() {
        {
            std::lock_guard lock(lock_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

  private:
    std::mutex lock_;
    std::condition_variable cv_;
    bool done_ = false;
    uint64_t progress_ = 0;
    std::thread thread_;
};

struct TSink {
    int Reports = 0;
    int Unplugs = 0;
    int BadReports = 0;
    void Data(TCustomHidDevice*, uint8_t ReportID, const uint8_t* Bytes, uint16_t Size) {
        ++Reports;
        // Every report the stress pushes is 64 bytes of one repeated value.
        if (ReportID != 0 || Size != 64 || Bytes[0] != Bytes[63]) ++BadReports;
    }
    void Unplug(TCustomHidDevice*) { ++Unplugs; }
    void Change(void*) {}
};

std::vector<uint8_t> Report(uint8_t Fill) {
    std::vector<uint8_t> r(65, Fill);
    r[0] = 0;
    return r;
}

class HidStress : public ::testing::Test {
  protected:
    TSimServices services;
    TManualMainThread main;
    TSink sink;
    std::unique_ptr<THidDeviceController> ctrl;

    void SetUp() override {
        ctrl = std::make_unique<THidDeviceController>(services, main);
        ctrl->SetOnDeviceChange(TNotifyEvent::Bind<&TSink::Change>(&sink));
        ctrl->SetOnDeviceData(THidDataEvent::Bind<&TSink::Data>(&sink));
        ctrl->SetOnDeviceUnplug(THidPlugEvent::Bind<&TSink::Unplug>(&sink));
        ctrl->Loaded();
        main.RunPending();
    }

    uint32_t Plug(uint16_t Pid, std::shared_ptr<TQueueModel> Model) {
        TSimDeviceSpec desc;
        desc.VendorID = kVid;
        desc.ProductID = Pid;
        desc.Model = std::move(Model);
        const uint32_t id = services.Plug(std::move(desc));
        main.RunPending();
        return id;
    }
};

TEST_F(HidStress, TenThousandPlugCyclesWithLiveReadersLeaveNothingBehind) {
    TWatchdog watchdog(std::chrono::seconds(120));
    const size_t threadsBefore = ThreadCount();

    // A second device stays checked out throughout; its reader keeps handing reports over
    // while the unit's readers start and stop beside it.
    auto neighbourModel = std::make_shared<TQueueModel>(65, 65);
    Plug(kNeighbourPid, neighbourModel);
    THidDevice* neighbour = nullptr;
    ASSERT_TRUE(ctrl->CheckOutByIdentifiers(neighbour, kVid, kNeighbourPid));
    // Its reader is known to hand over before the cycles begin, however they interleave.
    neighbourModel->Push(Report(0xA5));
    ASSERT_TRUE(main.RunUntil([&] { return sink.Reports == 1; }, kThreadWaitMs));

    std::mt19937 random(20240517);
    int cycles = 0;
    int pushed = 0;
    for (; cycles < 10000; ++cycles) {
        watchdog.Progress();
        auto model = std::make_shared<TQueueModel>(65, 65);
        const uint32_t id = Plug(kUnitPid, model);
        THidDevice* dev = nullptr;
        ASSERT_TRUE(ctrl->CheckOutByIdentifiers(dev, kVid, kUnitPid)) << "cycle " << cycles;
        ASSERT_TRUE(dev->ReaderRunning());

        // Reports queued before the cut: the reader is reading or blocked handing one over.
        const int reports = static_cast<int>(random() % 3);
        for (int i = 0; i < reports; ++i)
            model->Push(Report(static_cast<uint8_t>(cycles)));
        pushed += reports;
        neighbourModel->Push(Report(0xA5));
        if (random() % 2) std::this_thread::yield();

        switch (random() % 4) {
        case 0: // check in while it is there, then pull it
            ctrl->CheckIn(dev);
            services.Unplug(id);
            main.RunPending();
            break;
        case 1: // pulled while checked out: the holder is told, then checks it in
            services.Unplug(id);
            main.RunPending();
            ASSERT_FALSE(dev->PluggedIn()) << "cycle " << cycles;
            ctrl->CheckIn(dev);
            break;
        case 2: // the unit stops answering for good, then goes
            model->Vanish();
            main.RunPending();
            ctrl->CheckIn(dev);
            services.Unplug(id);
            main.RunPending();
            break;
        case 3: // check in and out again while it stays, then pull it while out
            ctrl->CheckIn(dev);
            ASSERT_TRUE(ctrl->CheckOutByIdentifiers(dev, kVid, kUnitPid)) << "cycle " << cycles;
            services.Unplug(id);
            main.RunPending();
            ctrl->CheckIn(dev);
            break;
        }
        ASSERT_EQ(dev, nullptr);
        ASSERT_EQ(ctrl->CheckedOutCount(), 1) << "cycle " << cycles; // the neighbour
        ASSERT_EQ(ctrl->Devices().size(), 1u) << "cycle " << cycles;
        // Nothing holds on to a unit that has gone.
        const std::weak_ptr<TQueueModel> gone = model;
        model.reset();
        ASSERT_TRUE(gone.expired()) << "cycle " << cycles;
    }

    ctrl->CheckIn(neighbour);
    main.RunPending();
    EXPECT_EQ(sink.BadReports, 0);
    EXPECT_LE(sink.Reports, pushed + cycles + 1);
    EXPECT_EQ(ctrl->CheckedOutCount(), 0);
    EXPECT_EQ(ctrl->UnpluggedCount(), 0);
    ctrl.reset();
    EXPECT_EQ(services.OpenHandleCount(), 0u);
    EXPECT_EQ(ThreadCount(), threadsBefore); // every reader has ended and been joined
}

// A reader that ends just after the main thread has looked and just before it waits: its
// wake must not be lost, or a check-in waits for ever. Done() plays that reader's end.
TEST(MainThreadWake, AWakeBetweenTheTestAndTheWaitEndsTheWait) {
    TManualMainThread main;
    std::atomic<bool> ended{false};
    bool first = true;
    const auto done = [&] {
        if (first) {
            first = false;
            std::thread([&] {
                ended = true;
                main.Wake();
            }).join();
            return false; // it had not ended yet when it was looked at
        }
        return ended.load();
    };
    auto serving = std::async(std::launch::async, [&] { main.ServeUntil(done); });
    const bool returned =
        serving.wait_for(std::chrono::milliseconds(kThreadWaitMs)) == std::future_status::ready;
    if (!returned) main.Wake(); // release it so that the test can end
    EXPECT_TRUE(returned) << "the wake was lost: ServeUntil still waits";
}

} // namespace
