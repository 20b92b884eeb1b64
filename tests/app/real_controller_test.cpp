// The window on the real controller over in-memory devices, with the main thread pumped by
// the test: what reaches the user from a device pass, and what closing the window does.
#include "app/DeviceErrors.h"
#include "hid/HidControllerClass.h"
#include "hid/sim/ManualMainThread.h"
#include "hid/sim/SimHidServices.h"
#include "support/WindowFixture.h"

using namespace testing_support;

namespace {

QString U(const char* s) {
    return QString::fromUtf8(s);
}

class RealController : public ::testing::Test {
  public:
    void Arrived(hid::TCustomHidDevice* dev) { arrivals.push_back(dev->Attributes().ProductID); }

  protected:
    void SetUp() override {
        auto owned = std::make_unique<hid::THidDeviceController>(services, main);
        auto testDialogs = std::make_unique<TRecordingDialogs>();
        controller = owned.get();
        dialogs = testDialogs.get();
        form = std::make_unique<TForm1>(TFormServices{
            std::move(owned), std::make_unique<TManualClock>(), std::move(testDialogs)});
        controller->Loaded();
        main.RunPending(); // the controller's own first notice
    }

    uint32_t PlugDevice(uint16_t productId, bool openable = true) {
        hid::sim::TSimDeviceSpec desc;
        desc.VendorID = 0x1111;
        desc.ProductID = productId;
        desc.Openable = openable;
        return services.Plug(desc);
    }

    hid::sim::TSimServices services;
    hid::TManualMainThread main;
    hid::THidDeviceController* controller = nullptr;
    TRecordingDialogs* dialogs = nullptr;
    std::vector<uint16_t> arrivals;
    std::unique_ptr<TForm1> form; // goes first, as the window does before the loop's parts
};

TEST_F(RealController, ClosingTheWindowRunsNoDevicePass) {
    PlugDevice(1);
    main.RunPending();
    controller->SetOnArrival(hid::THidPlugEvent::Bind<&RealController::Arrived>(this));
    PlugDevice(2); // its notice is still queued when the window goes
    form.reset();
    EXPECT_TRUE(arrivals.empty());
    EXPECT_EQ(services.OpenHandleCount(), 0u);
}

TEST_F(RealController, ClosingTheWindowWhileADeviceCannotBeOpenedEndsNormally) {
    PlugDevice(1, false);
    form.reset(); // a pass here would throw out of the destructor and end the program
    EXPECT_EQ(services.OpenHandleCount(), 0u);
}

TEST_F(RealController, DevicePassErrorIsShownByTheErrorBoxAndTheToolGoesOn) {
    ShowDeviceErrorsInErrorBox(main, form->Dialogs());
    const uint32_t bad = PlugDevice(9, false);
    main.RunPending();
    EXPECT_EQ(dialogs->errors, std::vector<std::string>{"Device cannot be opened"});

    services.Unplug(bad);
    main.RunPending();
    hid::sim::TSimDeviceSpec unnamed;
    unnamed.Identifiable = false;
    const uint32_t unknown = services.Plug(unnamed);
    main.RunPending();
    EXPECT_EQ(dialogs->errors.size(), 2);
    EXPECT_EQ(dialogs->errors.back(), std::string("Device cannot be identified"));

    // Later notices still rebuild the list and reach the window.
    services.Unplug(unknown);
    const qsizetype before = form->LogLines().size();
    PlugDevice(1);
    main.RunPending();
    EXPECT_EQ(dialogs->errors.size(), 2);
    EXPECT_TRUE(form->LogLines().mid(before).join(QLatin1Char('\n')).contains(U("device change.")));
}

TEST_F(RealController, DeviceThatCannotBeOpenedIsShownOnceAndAUnitPluggedLaterIsTaken) {
    ShowDeviceErrorsInErrorBox(main, form->Dialogs());
    PlugDevice(9, false);
    main.RunPending();
    hid::sim::TSimDeviceSpec unit;
    unit.VendorID = core::TransceiverVendorID;
    unit.ProductID = 0x7802;
    services.Plug(unit);
    main.RunPending();
    EXPECT_TRUE(form->Conversation().Connected());
    PlugDevice(1);
    main.RunPending();
    EXPECT_EQ(dialogs->errors, std::vector<std::string>{"Device cannot be opened"});
}

// Without the access rule the unit opens for queries only: it is listed and checked out, and
// the window says at once what to do instead of waiting with a blank form.
TEST_F(RealController, AUnitThatOpensOnlyForQueriesIsToldOfWithTheRuleToInstall) {
    hid::sim::TSimDeviceSpec unit;
    unit.VendorID = core::TransceiverVendorID;
    unit.ProductID = 0x7802;
    unit.ReadWriteAllowed = false;
    services.Plug(unit);
    main.RunPending();
    ASSERT_TRUE(form->Conversation().Connected());
    for (int i = 0; i < 50; ++i)
        form->Timer1Timer();
    ASSERT_EQ(dialogs->failures.size(), 1u);
    EXPECT_EQ(dialogs->failures[0], std::string(core::kUdevRuleHint));
    EXPECT_TRUE(dialogs->errors.empty());
}

} // namespace
