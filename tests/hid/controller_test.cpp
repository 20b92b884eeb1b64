// The controller, its devices and their readers, against in-memory devices.
#include "hid/HidControllerClass.h"
#include "hid/sim/ManualMainThread.h"
#include "hid/sim/SimHidServices.h"
#include "hid/sim/TransceiverModel.h"
#include "sim/Profile.h"
#include "support/ThreadWait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <optional>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <utility>
#include <string>
#include <vector>

using namespace hid;
using hid::sim::TQueueModel;
using hid::sim::TSimDeviceSpec;
using hid::sim::TSimServices;
using testing_support::kThreadWaitMs;
using testing_support::PollUntil;

namespace {

std::string Name(TCustomHidDevice* Dev) {
    return std::to_string(Dev->Attributes().ProductID);
}

struct TEvents {
    std::vector<std::string> Log;
    std::vector<bool> PluggedAtChange; // of the device the test watches
    TCustomHidDevice* Watched = nullptr;
    std::vector<int32_t> Visited;
    int EnumerateBudget = 100;
    struct TReport {
        TCustomHidDevice* Dev;
        uint8_t ReportID;
        std::vector<uint8_t> Data;
    };
    std::vector<TReport> Reports;
    std::vector<uint32_t> Errors;

    void Change(void*) {
        Log.push_back("change");
        if (Watched) PluggedAtChange.push_back(Watched->PluggedIn());
    }
    void Arrival(TCustomHidDevice* D) { Log.push_back("arrival " + Name(D)); }
    void Removal(TCustomHidDevice* D) { Log.push_back("removal " + Name(D)); }
    void Unplug(TCustomHidDevice* D) { Log.push_back("unplug " + Name(D)); }
    void OtherUnplug(TCustomHidDevice* D) { Log.push_back("other-unplug " + Name(D)); }
    bool Enumerate(TCustomHidDevice* D, int32_t Idx) {
        EXPECT_TRUE(static_cast<THidDevice*>(D)->InHandler());
        Visited.push_back(Idx);
        return --EnumerateBudget > 0;
    }
    void Data(TCustomHidDevice* D, uint8_t ReportID, const uint8_t* Bytes, uint16_t Size) {
        Reports.push_back({D, ReportID, std::vector<uint8_t>(Bytes, Bytes + Size)});
    }
    void OtherData(TCustomHidDevice*, uint8_t, const uint8_t*, uint16_t) {}
    void DataError(TCustomHidDevice*, uint32_t Code) { Errors.push_back(Code); }
    void OtherDataError(TCustomHidDevice*, uint32_t) {}
};

class ControllerTest : public ::testing::Test {
  protected:
    TSimServices services;
    TManualMainThread main;
    TEvents ev;
    std::unique_ptr<THidDeviceController> ctrl;

    uint32_t Plug(uint16_t Vid, uint16_t Pid,
                  std::shared_ptr<hid::sim::TDeviceModel> Model = nullptr, bool ReadWrite = true) {
        TSimDeviceSpec desc;
        desc.VendorID = Vid;
        desc.ProductID = Pid;
        desc.Model = std::move(Model);
        desc.ReadWriteAllowed = ReadWrite;
        return services.Plug(std::move(desc));
    }

    // The controller as the window makes it: handlers installed while loading, the
    // first pass when the main loop runs.
    void Start(bool WithData = true) {
        ctrl = std::make_unique<THidDeviceController>(services, main);
        ctrl->SetOnDeviceChange(TNotifyEvent::Bind<&TEvents::Change>(&ev));
        ctrl->SetOnArrival(THidPlugEvent::Bind<&TEvents::Arrival>(&ev));
        ctrl->SetOnRemoval(THidPlugEvent::Bind<&TEvents::Removal>(&ev));
        ctrl->SetOnDeviceUnplug(THidPlugEvent::Bind<&TEvents::Unplug>(&ev));
        ctrl->SetOnEnumerate(THidEnumerateEvent::Bind<&TEvents::Enumerate>(&ev));
        if (WithData) ctrl->SetOnDeviceData(THidDataEvent::Bind<&TEvents::Data>(&ev));
        main.RunPending();
    }

    THidDevice* CheckOut(int32_t Vid, int32_t Pid) {
        THidDevice* dev = nullptr;
        EXPECT_TRUE(ctrl->CheckOutByIdentifiers(dev, Vid, Pid));
        return dev;
    }

    std::vector<uint16_t> ListedProducts() {
        std::vector<uint16_t> ids;
        for (THidDevice* d : ctrl->Devices())
            ids.push_back(d->Attributes().ProductID);
        return ids;
    }

    void ExpectCounts(int32_t In, int32_t Out, int32_t Unplugged) {
        EXPECT_EQ(ctrl->CheckedInCount(), In);
        EXPECT_EQ(ctrl->CheckedOutCount(), Out);
        EXPECT_EQ(ctrl->UnpluggedCount(), Unplugged);
    }

    void WaitReports(size_t N) {
        ASSERT_TRUE(main.RunUntil([&] { return ev.Reports.size() >= N; }, kThreadWaitMs));
    }
};

TEST_F(ControllerTest, FirstPassWithNoDeviceFiresOneChangeAndQuietPassesFireNothing) {
    Start();
    EXPECT_EQ(ev.Log, std::vector<std::string>{"change"});
    EXPECT_EQ(ctrl->LastNoticeParam(), -1);
    EXPECT_TRUE(ctrl->Devices().empty());
    ev.Log.clear();
    services.PostNotice({kDeviceChangeMessage, kDevNodesChanged, 0});
    main.RunPending();
    EXPECT_TRUE(ev.Log.empty());
    EXPECT_FALSE(ctrl->InChange());
}

TEST_F(ControllerTest, OnlyDevNodesChangedNoticesRunAPass) {
    Start();
    ev.Log.clear();
    Plug(0x1111, 1);
    main.RunPending();
    ASSERT_EQ(ev.Log.size(), 2u);
    ev.Log.clear();
    Plug(0x1111, 2);
    // Dropped: another event code, another message.
    ctrl->HandleNotice({kDeviceChangeMessage, 0x8000, 0});
    ctrl->HandleNotice({0x10, kDevNodesChanged, 0});
    EXPECT_TRUE(ev.Log.empty());
    main.RunPending();
    EXPECT_EQ(ev.Log, (std::vector<std::string>{"arrival 2", "change"}));
}

TEST_F(ControllerTest, OnDeviceChangeSetterRunsAPassOnceLoaded) {
    Plug(0x1111, 1);
    ctrl = std::make_unique<THidDeviceController>(services, main);
    ctrl->SetOnArrival(THidPlugEvent::Bind<&TEvents::Arrival>(&ev));
    ctrl->SetOnDeviceChange(TNotifyEvent::Bind<&TEvents::Change>(&ev));
    EXPECT_TRUE(ev.Log.empty()); // still loading
    ctrl->Loaded();
    ctrl->SetOnDeviceChange({});
    EXPECT_EQ(ev.Log, std::vector<std::string>{"arrival 1"});
    ctrl->SetOnDeviceChange(TNotifyEvent::Bind<&TEvents::Change>(&ev));
    EXPECT_EQ(ev.Log.size(), 1u); // nothing new, and the last notice was not the first
}

TEST_F(ControllerTest, PassReportsRemovalsInReverseListOrderThenArrivalsThenOneChange) {
    Plug(0x1111, 1);
    const uint32_t b = Plug(0x1111, 2);
    const uint32_t c = Plug(0x1111, 3);
    Start();
    EXPECT_EQ(ev.Log, (std::vector<std::string>{"arrival 1", "arrival 2", "arrival 3", "change"}));
    THidDevice* first = ctrl->Devices()[0];
    ev.Log.clear();
    services.Unplug(b);
    services.Unplug(c);
    Plug(0x1111, 4);
    Plug(0x1111, 5);
    main.RunPending();
    EXPECT_EQ(ev.Log, (std::vector<std::string>{"unplug 3", "removal 3", "unplug 2", "removal 2",
                                                "arrival 4", "arrival 5", "change"}));
    EXPECT_EQ(ListedProducts(), (std::vector<uint16_t>{1, 4, 5}));
    EXPECT_EQ(ctrl->Devices()[0], first); // a device present throughout keeps its object
    ExpectCounts(3, 0, 0);
}

TEST_F(ControllerTest, HeldDeviceThatGoesStaysListedUntilCheckedIn) {
    const uint32_t id = Plug(0x1111, 1);
    Plug(0x1111, 2);
    Start();
    THidDevice* held = CheckOut(0x1111, 1);
    ExpectCounts(1, 1, 0);
    ev.Watched = held;
    ev.Log.clear();
    services.Unplug(id);
    main.RunPending();
    EXPECT_EQ(ev.Log, (std::vector<std::string>{"unplug 1", "removal 1", "change"}));
    EXPECT_EQ(ev.PluggedAtChange, std::vector<bool>{false});
    EXPECT_EQ(ctrl->Devices().size(), 2u);
    ExpectCounts(1, 0, 1);

    // Every later pass reports the gone-held device again; its unplug handler is spent.
    ev.Log.clear();
    services.PostNotice({kDeviceChangeMessage, kDevNodesChanged, 0});
    main.RunPending();
    EXPECT_EQ(ev.Log, (std::vector<std::string>{"removal 1", "change"}));

    ctrl->CheckIn(held);
    EXPECT_EQ(held, nullptr);
    EXPECT_EQ(ListedProducts(), std::vector<uint16_t>{2});
    ExpectCounts(1, 0, 0);
}

TEST_F(ControllerTest, ReplugBeforeCheckInListsAFreshDeviceThatCheckOutTakes) {
    const uint32_t id = Plug(0x1111, 1);
    Start();
    THidDevice* held = CheckOut(0x1111, 1);
    services.Unplug(id);
    main.RunPending();
    Plug(0x1111, 1);
    main.RunPending();
    ASSERT_EQ(ctrl->Devices().size(), 2u);
    ExpectCounts(1, 0, 1);
    THidDevice* again = CheckOut(0x1111, 1);
    EXPECT_NE(again, held);
    EXPECT_TRUE(again->PluggedIn());
    EXPECT_EQ(again, ctrl->Devices()[1]);
    ctrl->CheckIn(held);
    ctrl->CheckIn(again);
    ExpectCounts(1, 0, 0);
}

TEST_F(ControllerTest, CheckOutTakesTheFirstFreeMatchingDevice) {
    Plug(0x2222, 7);
    Plug(0x1111, 1);
    Plug(0x1111, 2);
    Start();
    THidDevice* a = CheckOut(0x1111, -1);
    EXPECT_EQ(a, ctrl->Devices()[1]);
    THidDevice* b = CheckOut(0x1111, -1);
    EXPECT_EQ(b, ctrl->Devices()[2]);
    THidDevice* none = a;
    EXPECT_FALSE(ctrl->CheckOutByIdentifiers(none, 0x1111, -1));
    EXPECT_EQ(none, nullptr);
    EXPECT_FALSE(ctrl->CheckOutByIdentifiers(none, 0x2222, 8));
    ExpectCounts(1, 2, 0);

    // Through the contract, as the window does it.
    TCustomHidController& contract = *ctrl;
    TCustomHidDevice* dev = nullptr;
    EXPECT_TRUE(contract.CheckOutByIdentifiers(dev, 0x2222, 7));
    contract.CheckIn(dev);
    EXPECT_EQ(dev, nullptr);
    contract.CheckIn(dev); // null: nothing
    ctrl->CheckIn(a);
    ctrl->CheckIn(b);
    ExpectCounts(3, 0, 0);
}

TEST_F(ControllerTest, EnumerateVisitsPluggedInDevicesUntilTheHandlerSaysStop) {
    Plug(0x1111, 1);
    const uint32_t gone = Plug(0x1111, 2);
    Plug(0x1111, 3);
    Plug(0x1111, 4);
    Plug(0x1111, 5);
    Start();
    THidDevice* held = CheckOut(0x1111, 2);
    services.Unplug(gone);
    main.RunPending();

    ev.EnumerateBudget = 3;
    EXPECT_EQ(ctrl->Enumerate(), 3);
    // Positions count the gone-held entry that is skipped.
    EXPECT_EQ(ev.Visited, (std::vector<int32_t>{0, 2, 3}));

    ev.Visited.clear();
    ev.EnumerateBudget = 100;
    EXPECT_EQ(ctrl->Enumerate(), 4);

    ctrl->SetOnEnumerate({});
    EXPECT_EQ(ctrl->Enumerate(), 1);
    ctrl->CheckIn(held);
}

TEST_F(ControllerTest, EnumerateWithNoDeviceReturnsZero) {
    Start();
    EXPECT_EQ(ctrl->Enumerate(), 0);
    EXPECT_TRUE(ev.Visited.empty());
}

TEST_F(ControllerTest, SleepTimeTakesOnlyTenToTenThousand) {
    Plug(0x1111, 1);
    Start();
    THidDevice* dev = ctrl->Devices()[0];
    const struct {
        int32_t Value;
        int32_t Expected;
    } cases[] = {{9, 100}, {10, 10}, {10000, 10000}, {10001, 10000}, {-1, 10000}, {250, 250}};
    for (const auto& c : cases) {
        dev->SetSleepTime(c.Value);
        EXPECT_EQ(dev->SleepTime(), c.Expected) << c.Value;
    }
}

TEST_F(ControllerTest, DevThreadSleepTimeReachesDevicesStillAtTheOldValue) {
    Plug(0x1111, 1);
    Plug(0x1111, 2);
    Start();
    ctrl->Devices()[1]->SetSleepTime(300);
    ctrl->SetDevThreadSleepTime(50);
    EXPECT_EQ(ctrl->Devices()[0]->SleepTime(), 50);
    EXPECT_EQ(ctrl->Devices()[1]->SleepTime(), 300);
    // The controller keeps any value; a device refuses what is out of range.
    ctrl->SetDevThreadSleepTime(5);
    EXPECT_EQ(ctrl->DevThreadSleepTime(), 5);
    EXPECT_EQ(ctrl->Devices()[0]->SleepTime(), 50);
    Plug(0x1111, 3);
    main.RunPending();
    EXPECT_EQ(ctrl->Devices()[2]->SleepTime(), 100);
}

TEST_F(ControllerTest, HeldDeviceDeliversReportsOnTheMainThread) {
    auto model = std::make_shared<TQueueModel>(65, 65);
    Plug(0x1111, 1, model);
    Start();
    THidDevice* dev = CheckOut(0x1111, 1);
    ASSERT_TRUE(dev->ReaderRunning());
    EXPECT_EQ(dev->QueryCaps().InputReportByteLength, 65);

    std::vector<uint8_t> report(65, 0);
    report[1] = 'O';
    report[2] = 'K';
    model->Push(report);
    model->Push({0});    // a one-byte report: no data, Size 0
    model->Push({3, 9}); // a numbered short report
    WaitReports(3);
    EXPECT_EQ(ev.Reports[0].Dev, dev);
    EXPECT_EQ(ev.Reports[0].ReportID, 0);
    ASSERT_EQ(ev.Reports[0].Data.size(), 64u);
    EXPECT_EQ(ev.Reports[0].Data[0], 'O');
    EXPECT_EQ(ev.Reports[0].Data[1], 'K');
    EXPECT_EQ(ev.Reports[1].Data.size(), 0u);
    EXPECT_EQ(ev.Reports[2].ReportID, 3);
    EXPECT_EQ(ev.Reports[2].Data, std::vector<uint8_t>{9});

    std::vector<uint8_t> out(65, 0);
    out[1] = 'V';
    uint32_t written = 0;
    EXPECT_TRUE(dev->WriteReport(out.data(), 65, written));
    EXPECT_EQ(written, 65u);
    EXPECT_FALSE(dev->WriteReport(out.data(), 64, written)); // not a whole report
    EXPECT_EQ(dev->LastErrorCode(), hid::sim::kErrInvalidParameter);
    EXPECT_EQ(dev->ErrorKind(dev->LastErrorCode()), TErrorKind::Other);
    EXPECT_EQ(model->Written(), std::vector<std::vector<uint8_t>>{out});
    dev->CloseMain();
    ctrl->CheckIn(dev);
    EXPECT_EQ(services.OpenHandleCount(), 0u);
}

TEST_F(ControllerTest, ReaderThreadCarriesItsDebugName) {
    Plug(0x1111, 1);
    Start();
    THidDevice* dev = CheckOut(0x1111, 1);
    ASSERT_TRUE(dev->ReaderRunning());
    // The name is set by the reader itself as it starts; look until it shows.
    const auto named = [] {
        bool found = false;
        DIR* dir = opendir("/proc/self/task");
        if (!dir) return false;
        while (dirent* e = readdir(dir)) {
            std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
            std::string name;
            std::getline(comm, name);
            if (name == "THidDeviceReadT") found = true;
        }
        closedir(dir);
        return found;
    };
    EXPECT_TRUE(PollUntil(named));
    ctrl->CheckIn(dev);
}

TEST(CustomThreadTest, DebugNameIsTheClassNameOrTheThreadNameWithIt) {
    struct TNamed final : TCustomThread {
        std::string ClassName() const override { return "TNamed"; }
        void Execute() override {}
    };
    TNamed t;
    EXPECT_EQ(t.DebugName(), "TNamed");
    t.SetThreadName("reader");
    EXPECT_EQ(t.DebugName(), "reader {TNamed}");
}

TEST_F(ControllerTest, ClearingTheDataHandlerStopsTheReaderAndSettingItStartsOne) {
    auto model = std::make_shared<TQueueModel>(65, 65);
    Plug(0x1111, 1, model);
    Start();
    THidDevice* dev = CheckOut(0x1111, 1);
    ASSERT_TRUE(dev->ReaderRunning());
    ctrl->SetOnDeviceData({});
    EXPECT_FALSE(dev->ReaderRunning());
    EXPECT_FALSE(dev->DataHandler());
    model->Push({0, 1});
    ctrl->SetOnDeviceData(THidDataEvent::Bind<&TEvents::Data>(&ev));
    EXPECT_TRUE(dev->ReaderRunning());
    WaitReports(1);
    // A device given its own handler keeps it when the controller's changes.
    dev->SetDataHandler(THidDataEvent::Bind<&TEvents::OtherData>(&ev));
    ctrl->SetOnDeviceData({});
    EXPECT_TRUE(dev->ReaderRunning());
    ctrl->CheckIn(dev);
    EXPECT_FALSE(dev);
}

TEST_F(ControllerTest, DeviceOpenableOnlyWithoutRightsIsListedButNeverRead) {
    Plug(0x1111, 1, nullptr, false);
    Start();
    ASSERT_EQ(ctrl->Devices().size(), 1u);
    THidDevice* dev = CheckOut(0x1111, 1);
    EXPECT_FALSE(dev->ReadWriteAccess());
    EXPECT_FALSE(dev->ReaderRunning());
    uint8_t out[65] = {};
    uint32_t written = 7;
    EXPECT_FALSE(dev->WriteReport(out, 65, written));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(dev->LastErrorCode(), hid::sim::kErrAccessDenied);
    EXPECT_EQ(dev->ErrorKind(dev->LastErrorCode()), TErrorKind::AccessDenied);
    EXPECT_EQ(dev->QueryCaps().OutputReportByteLength, 65);
    ctrl->CheckIn(dev);
}

TEST_F(ControllerTest, DeviceThatCannotBeOpenedIsSkippedAndReportedOnceUntilItGoes) {
    Plug(0x1111, 1);
    Start();
    ev.Log.clear();
    TSimDeviceSpec bad;
    bad.Openable = false;
    const uint32_t badId = services.Plug(bad);
    Plug(0x1111, 2);
    EXPECT_THROW(main.RunPending(), EControllerError);
    EXPECT_EQ(ev.Log, (std::vector<std::string>{"arrival 2", "change"}));
    ASSERT_EQ(ctrl->Unopened().size(), 1u);
    EXPECT_EQ(ctrl->Unopened()[0].PnPInfo.DevicePath, TSimServices::PathOf(badId));
    EXPECT_EQ(ctrl->Unopened()[0].Code, hid::sim::kErrFileNotFound);

    Plug(0x1111, 3);
    EXPECT_NO_THROW(main.RunPending());
    EXPECT_EQ(ListedProducts(), (std::vector<uint16_t>{1, 2, 3}));
    services.Unplug(badId);
    main.RunPending();
    EXPECT_TRUE(ctrl->Unopened().empty());
    services.Plug(bad);
    EXPECT_THROW(main.RunPending(), EControllerError);
}

TEST_F(ControllerTest, NoticesDuringAPassRunOneMorePassAfterIt) {
    // The window's pass runs the event loop inside itself (a refresh, a modal box).
    struct TNested {
        TEvents& Ev;
        TManualMainThread& Main;
        std::function<void()> Plugs;
        void Change(void*) {
            Ev.Log.push_back("change");
            if (Plugs) std::exchange(Plugs, nullptr)();
            Main.RunPending();
        }
    } nested{ev, main, nullptr};
    Start();
    ctrl->SetOnDeviceChange(TNotifyEvent::Bind<&TNested::Change>(&nested));
    ev.Log.clear();
    nested.Plugs = [this] {
        Plug(0x1111, 11);
        Plug(0x1111, 12);
    };
    Plug(0x1111, 1);
    main.RunPending();
    EXPECT_EQ(ev.Log, (std::vector<std::string>{"arrival 1", "change", "arrival 11", "arrival 12",
                                                "change"}));
}

TEST_F(ControllerTest, DestroyingAPresentDeviceLeavesAFreshCheckedInOneInItsPlace) {
    Plug(0x1111, 1);
    Plug(0x1111, 2);
    Plug(0x1111, 3);
    Start();
    THidDevice* dev = CheckOut(0x1111, 2);
    dev->SetSleepTime(40);
    dev->SetUnplugHandler(THidPlugEvent::Bind<&TEvents::OtherUnplug>(&ev));
    const std::string path = dev->PnPInfo().DevicePath;
    ExpectCounts(2, 1, 0);
    delete dev;
    THidDevice* fresh = ctrl->Devices()[1];
    EXPECT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->PnPInfo().DevicePath, path);
    EXPECT_FALSE(fresh->CheckedOut());
    EXPECT_EQ(fresh->SleepTime(), 40);
    EXPECT_TRUE(fresh->DataHandler() == ctrl->OnDeviceData());
    EXPECT_TRUE(fresh->UnplugHandler() == THidPlugEvent::Bind<&TEvents::OtherUnplug>(&ev));
    EXPECT_EQ(ListedProducts(), (std::vector<uint16_t>{1, 2, 3}));
    ExpectCounts(3, 0, 0);
    EXPECT_EQ(services.OpenHandleCount(), 0u);
}

TEST_F(ControllerTest, UnplugWhileTheReaderWaitsClosesNothingUnderItAndReportsErrors) {
    auto model = std::make_shared<TQueueModel>(65, 65);
    const uint32_t id = Plug(0x1111, 1, model);
    Start();
    ctrl->SetOnDeviceDataError(THidDataErrorEvent::Bind<&TEvents::DataError>(&ev));
    THidDevice* dev = CheckOut(0x1111, 1);
    EXPECT_TRUE(dev->DataErrorHandler()); // listed before the controller's handler was set
    dev->SetSleepTime(10);
    model->Push({0, 1});
    WaitReports(1); // the reader is now waiting on its read handle
    services.Unplug(id);
    main.RunPending();
    EXPECT_FALSE(dev->PluggedIn());
    // The reader tries again every SleepTime and reports that the device is not there.
    ASSERT_TRUE(main.RunUntil([&] { return ev.Errors.size() >= 2; }, kThreadWaitMs));
    EXPECT_EQ(ev.Errors[0], hid::sim::kErrNotConnected);
    EXPECT_EQ(dev->ErrorKind(ev.Errors[0]), TErrorKind::NotConnected);
    uint8_t out[65] = {};
    uint32_t written = 0;
    EXPECT_FALSE(dev->WriteReport(out, 65, written));
    EXPECT_EQ(dev->ErrorKind(dev->LastErrorCode()), TErrorKind::NotConnected);
    ctrl->CheckIn(dev);
    EXPECT_TRUE(ctrl->Devices().empty());
    EXPECT_EQ(services.OpenHandleCount(), 0u);
}

TEST_F(ControllerTest, DataErrorHandlerReachesOnlyDevicesThatExistWhenItIsSet) {
    Plug(0x1111, 1);
    Start();
    ctrl->SetOnDeviceDataError(THidDataErrorEvent::Bind<&TEvents::DataError>(&ev));
    EXPECT_TRUE(ctrl->Devices()[0]->DataErrorHandler());
    Plug(0x1111, 2);
    main.RunPending();
    EXPECT_FALSE(ctrl->Devices()[1]->DataErrorHandler());
    ctrl->Devices()[1]->SetDataErrorHandler(
        THidDataErrorEvent::Bind<&TEvents::OtherDataError>(&ev));
    ctrl->SetOnDeviceDataError({});
    EXPECT_FALSE(ctrl->Devices()[0]->DataErrorHandler());
    EXPECT_TRUE(ctrl->Devices()[1]->DataErrorHandler());
}

TEST_F(ControllerTest, UnplugHandlerFiresOnce) {
    Plug(0x1111, 1);
    Start();
    THidDevice* dev = CheckOut(0x1111, 1);
    ev.Log.clear();
    dev->HandleUnplug();
    dev->HandleUnplug();
    EXPECT_EQ(ev.Log, std::vector<std::string>{"unplug 1"});
    ctrl->CheckIn(dev);
    EXPECT_TRUE(ctrl->Devices().empty());
}

TEST_F(ControllerTest, CheckInWhileTheReaderWaitsInAHandOverRunsItAndEnds) {
    auto model = std::make_shared<TQueueModel>(65, 65);
    Plug(0x1111, 1, model);
    Start();
    THidDevice* dev = CheckOut(0x1111, 1);
    model->Push({0, 42});
    // Do not pump: let the reader block in its hand-over, then stop it from here.
    ASSERT_TRUE(PollUntil([&] { return main.PendingSends() > 0; }));
    ASSERT_EQ(main.PendingSends(), 1u);
    ctrl->CheckIn(dev);
    ASSERT_EQ(ev.Reports.size(), 1u);
    EXPECT_EQ(ev.Reports[0].Data, std::vector<uint8_t>{42});
}

TEST_F(ControllerTest, DestroyingTheControllerLeavesAHeldDeviceWithItsHolder) {
    Plug(0x1111, 1);
    Plug(0x1111, 2);
    Start();
    THidDevice* held = CheckOut(0x1111, 2);
    ev.Log.clear();
    ctrl.reset();
    EXPECT_EQ(ev.Log, std::vector<std::string>{"unplug 2"});
    EXPECT_FALSE(held->PluggedIn());
    EXPECT_EQ(held->Controller(), nullptr);
    delete held;
    EXPECT_EQ(services.OpenHandleCount(), 0u);
}

TEST_F(ControllerTest, ProductTextAndVersionProperty) {
    TSimDeviceSpec desc;
    desc.VendorID = 0x1111;
    desc.ProductID = 1;
    desc.Product = u"Sonavelle Transceiver";
    services.Plug(desc);
    Plug(0x1111, 2);
    Start();
    THidDevice* named = CheckOut(0x1111, 1);
    THidDevice* unnamed = CheckOut(0x1111, 2);
    EXPECT_EQ(named->QueryProductText(), u"Sonavelle Transceiver");
    EXPECT_EQ(unnamed->QueryProductText(), u"");
    ctrl->SetVersion("2.0");
    EXPECT_EQ(ctrl->Version(), "1.0.35");
    ctrl->CheckIn(named);
    ctrl->CheckIn(unnamed);
    // A free device outside a handler is not opened, so it cannot be asked.
    EXPECT_EQ(ctrl->Devices()[1]->QueryProductText(), u"");
    EXPECT_EQ(ctrl->Devices()[0]->QueryProductText(), u"Sonavelle Transceiver"); // cached
}

// A unit whose reads can end as gone and come back, as one does on a fast re-plug that
// keeps its device id.
class TFlakyModel final : public hid::sim::TDeviceModel {
  public:
    void Push(std::vector<uint8_t> Report) {
        queue_.Push(std::move(Report));
        NotifyInput();
    }
    void SetGone(bool Gone) {
        gone_ = Gone;
        NotifyInput();
    }
    bool WriteReport(const uint8_t* Report, size_t Length, uint64_t NowUs) override {
        return queue_.WriteReport(Report, Length, NowUs);
    }
    std::optional<std::vector<uint8_t>> NextReport(uint64_t NowUs) override {
        return queue_.NextReport(NowUs);
    }
    std::optional<uint64_t> NextDueUs() override { return queue_.NextDueUs(); }
    uint16_t InputReportLength() const override { return queue_.InputReportLength(); }
    uint16_t OutputReportLength() const override { return queue_.OutputReportLength(); }
    bool Gone() override { return gone_; }

  private:
    TQueueModel queue_{65, 65};
    std::atomic<bool> gone_{false};
};

TEST_F(ControllerTest, ReadThatEndedAsGoneDoesNotOutliveACheckIn) {
    auto model = std::make_shared<TFlakyModel>();
    Plug(0x1111, 1, model);
    Start();
    ctrl->SetOnDeviceDataError(THidDataErrorEvent::Bind<&TEvents::DataError>(&ev));
    THidDevice* dev = CheckOut(0x1111, 1);
    dev->SetSleepTime(10);
    model->SetGone(true);
    ASSERT_TRUE(main.RunUntil([&] { return !ev.Errors.empty(); }));
    model->SetGone(false);
    ctrl->CheckIn(dev);
    dev = CheckOut(0x1111, 1);
    ASSERT_TRUE(dev->ReaderRunning());
    model->Push({0, 7});
    EXPECT_TRUE(main.RunUntil([&] { return !ev.Reports.empty(); }));
    ctrl->CheckIn(dev);
    ASSERT_EQ(ev.Reports.size(), 1u);
    EXPECT_EQ(ev.Reports[0].Data, std::vector<uint8_t>{7});
}

// The sim services, passed through; a test overrides what it changes or watches.
class TForwardServices : public TPlatformServices {
  public:
    explicit TForwardServices(TSimServices& Sim) : sim_(Sim) {}
    bool Available() const override { return sim_.Available(); }
    THidGuid HidGuid() override { return sim_.HidGuid(); }
    std::vector<THidPnPInfo> CollectInterfaces(const THidGuid& Guid) override {
        return sim_.CollectInterfaces(Guid);
    }
    THandle Open(const std::string& Path, TOpenMode Mode) override { return sim_.Open(Path, Mode); }
    void Close(THandle Handle) override { sim_.Close(Handle); }
    bool GetAttributes(THandle Handle, THidAttributes& A) override {
        return sim_.GetAttributes(Handle, A);
    }
    bool GetPreparsedData(THandle Handle, TPreparsed& Data) override {
        return sim_.GetPreparsedData(Handle, Data);
    }
    void FreePreparsedData(TPreparsed Data) override { sim_.FreePreparsedData(Data); }
    bool GetCaps(TPreparsed Data, THidCaps& Caps) override { return sim_.GetCaps(Data, Caps); }
    bool GetProductString(THandle Handle, char16_t* Buffer, uint32_t Bytes) override {
        return sim_.GetProductString(Handle, Buffer, Bytes);
    }
    bool Write(THandle Handle, const uint8_t* Buffer, uint32_t Length, uint32_t& Written) override {
        return sim_.Write(Handle, Buffer, Length, Written);
    }
    std::unique_ptr<TReadWaiter> NewReadWaiter() override { return sim_.NewReadWaiter(); }
    bool OpenNotices(TMainThread& Main, std::function<void(TDeviceNotice)> Notice) override {
        return sim_.OpenNotices(Main, std::move(Notice));
    }
    void PostNotice(TDeviceNotice Notice) override { sim_.PostNotice(Notice); }
    void CloseNotices() override { sim_.CloseNotices(); }
    uint32_t LastError() const override { return sim_.LastError(); }
    void SetLastError(uint32_t Code) override { sim_.SetLastError(Code); }
    std::string ErrorMessage(uint32_t Code) const override { return sim_.ErrorMessage(Code); }
    TErrorKind ErrorKind(uint32_t Code) const override { return sim_.ErrorKind(Code); }
    uint32_t NotConnectedError() const override { return sim_.NotConnectedError(); }
    void AnnounceThreadName(const std::string& Name) override { sim_.AnnounceThreadName(Name); }

  protected:
    TSimServices& sim_;
};

// The sim services, except that change notices cannot be had, as when a udev monitor
// cannot be made while udev itself works.
class TNoNoticeServices final : public TForwardServices {
  public:
    using TForwardServices::TForwardServices;
    bool OpenNotices(TMainThread&, std::function<void(TDeviceNotice)>) override { return false; }
    void PostNotice(TDeviceNotice) override {} // nowhere to post without a notice source
    void CloseNotices() override {}
};

TEST_F(ControllerTest, FirstChangeComesEvenWithoutHotPlugNotices) {
    Plug(0x1111, 1);
    TNoNoticeServices noNotices(services);
    auto blind = std::make_unique<THidDeviceController>(noNotices, main);
    blind->SetOnDeviceChange(TNotifyEvent::Bind<&TEvents::Change>(&ev));
    blind->SetOnArrival(THidPlugEvent::Bind<&TEvents::Arrival>(&ev));
    EXPECT_FALSE(blind->NoticesOpen());
    main.RunPending();
    EXPECT_EQ(ev.Log, (std::vector<std::string>{"arrival 1", "change"}));
    EXPECT_EQ(blind->LastNoticeParam(), -1);

    // A controller gone before its first notice ran leaves nothing behind to run.
    ev.Log.clear();
    blind = std::make_unique<THidDeviceController>(noNotices, main);
    blind->SetOnDeviceChange(TNotifyEvent::Bind<&TEvents::Change>(&ev));
    blind.reset();
    main.RunPending();
    EXPECT_TRUE(ev.Log.empty());
}

// Watches the reader of one device: its read starts, its read-handle opens, and whether
// the device already read as unplugged when the reader was woken.
class TReaderWatch final : public TForwardServices {
  public:
    using TForwardServices::TForwardServices;
    std::atomic<int> Begins{0};
    std::atomic<int> ReadOpens{0};
    std::atomic<THidDevice*> Watched{nullptr};
    std::vector<bool> PluggedAtWake; // Wake is called from the main thread here

    THandle Open(const std::string& Path, TOpenMode Mode) override {
        if (Mode == TOpenMode::ReadAsync) ++ReadOpens;
        return sim_.Open(Path, Mode);
    }
    std::unique_ptr<TReadWaiter> NewReadWaiter() override {
        struct TWaiter final : TReadWaiter {
            TReaderWatch& W;
            std::unique_ptr<TReadWaiter> Sim;
            TWaiter(TReaderWatch& Watch, std::unique_ptr<TReadWaiter> S)
                : W(Watch), Sim(std::move(S)) {}
            bool Begin(THandle H, uint8_t* Buffer, uint32_t Length) override {
                ++W.Begins;
                return Sim->Begin(H, Buffer, Length);
            }
            TWaitResult Wait(int32_t Ms) override { return Sim->Wait(Ms); }
            TReadEnd Result() override { return Sim->Result(); }
            bool Cancel() override { return Sim->Cancel(); }
            void Wake() override {
                if (THidDevice* dev = W.Watched.load()) W.PluggedAtWake.push_back(dev->PluggedIn());
                Sim->Wake();
            }
        };
        return std::make_unique<TWaiter>(*this, sim_.NewReadWaiter());
    }
};

// The pass that removes a device may come before the platform fails its read. The reader,
// woken with its handle taken away, tries again at once: it must find the device unplugged
// and say so, not open the path again (on Windows a not-found, which means another fault).
TEST_F(ControllerTest, ReaderWokenByAnUnplugFindsTheDeviceNotConnected) {
    auto model = std::make_shared<TQueueModel>(65, 65);
    Plug(0x1111, 1, model);
    TReaderWatch watch(services);
    ctrl = std::make_unique<THidDeviceController>(watch, main);
    ctrl->SetOnDeviceData(THidDataEvent::Bind<&TEvents::Data>(&ev));
    main.RunPending();
    THidDevice* dev = CheckOut(0x1111, 1);
    dev->SetDataErrorHandler(THidDataErrorEvent::Bind<&TEvents::DataError>(&ev));
    dev->SetSleepTime(10);
    model->Push({0, 1});
    WaitReports(1);
    EXPECT_TRUE(PollUntil([&] { return watch.Begins >= 2; })); // its next read is outstanding
    watch.Watched = dev;
    dev->HandleUnplug();
    EXPECT_TRUE(main.RunUntil([&] { return !ev.Errors.empty(); }, kThreadWaitMs));
    for (const uint32_t code : ev.Errors)
        EXPECT_EQ(code, hid::sim::kErrNotConnected);
    EXPECT_EQ(watch.PluggedAtWake, std::vector<bool>{false});
    watch.Watched = nullptr;
    ctrl->CheckIn(dev);
    ctrl.reset(); // before the services it was made with
    EXPECT_EQ(watch.ReadOpens, 1);
    EXPECT_EQ(services.OpenHandleCount(), 0u);
}

TEST_F(ControllerTest, SimulatedTransceiverAnswersThroughTheReader) {
    auto profile = ::sim::MakeProfile("DW730", "201036");
    profile.replyIntervalUs = 0;
    auto unit = std::make_shared<hid::sim::TTransceiverModel>(profile);
    TSimDeviceSpec desc;
    desc.VendorID = 0x1111;
    desc.ProductID = 0x7802;
    desc.Model = unit;
    services.Plug(desc);
    Start();
    THidDevice* dev = CheckOut(0x1111, 0x7802);
    const uint16_t outLength = dev->QueryCaps().OutputReportByteLength;
    std::vector<uint8_t> out(outLength, 0);
    std::memcpy(out.data() + 1, "VER", 3);
    uint32_t written = 0;
    ASSERT_TRUE(dev->WriteReport(out.data(), outLength, written));
    WaitReports(1);
    const std::string reply(ev.Reports[0].Data.begin(), ev.Reports[0].Data.end());
    EXPECT_EQ(reply.substr(0, reply.find('\n') + 1), "OK 201036\r\n");
    EXPECT_EQ(unit->Inspect([](::sim::Transceiver& t) { return t.Received(); }),
              std::vector<std::string>{"VER"});
    ctrl->CheckIn(dev);
}

// The unit's vanish fault: the write it vanishes on fails as a failing device does on
// Windows, every later one as a device that is not there; both mean it has gone.
TEST_F(ControllerTest, WritesToAVanishedTransceiverFailAsNotConnected) {
    auto profile = ::sim::MakeProfile("DW730", "201036");
    profile.faults.vanishAfter = 0;
    TSimDeviceSpec desc;
    desc.VendorID = 0x1111;
    desc.ProductID = 0x7802;
    desc.Model = std::make_shared<hid::sim::TTransceiverModel>(profile);
    services.Plug(desc);
    Start(false);
    THidDevice* dev = CheckOut(0x1111, 0x7802);
    const uint16_t outLength = dev->QueryCaps().OutputReportByteLength;
    std::vector<uint8_t> out(outLength, 0);
    std::memcpy(out.data() + 1, "VER", 3);
    uint32_t written = 0;
    for (const uint32_t code : {hid::sim::kErrGenFailure, hid::sim::kErrNotConnected}) {
        EXPECT_FALSE(dev->WriteReport(out.data(), outLength, written));
        EXPECT_EQ(dev->LastErrorCode(), code);
        EXPECT_EQ(dev->ErrorKind(code), TErrorKind::NotConnected) << code;
    }
    ctrl->CheckIn(dev);
}

} // namespace
