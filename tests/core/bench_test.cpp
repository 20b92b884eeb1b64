// A bench of several units: two simulated transceivers and a foreign device on the real
// controller over the simulated services, on virtual time.
#include "support/CoreRig.h"
#include "support/VirtualHid.h"

#include "hid/sim/TransceiverModel.h"
#include "link/Text.h"
#include "params/Settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using core::TConversation;
using core::TPhase;
using testing_support::TRecordingDialogs;
using testing_support::TRecordingView;

class EveryUnitBench : public ::testing::Test,
                       protected testing_support::TVirtualHid,
                       core::TBenchFront,
                       core::TLogSink {
  protected:
    static constexpr std::int64_t kReplyTimeoutMs = 500;
    struct TPlugged {
        std::shared_ptr<hid::sim::TTransceiverModel> model;
        std::uint32_t id = 0;
    };

    void SetUp() override {
        services.UseVirtualClock(main);
        bench.Start();
        controller->Loaded();
        Passes(10); // the first look at the devices finds none
    }
    void TearDown() override {
        bench.Shutdown();
        controller.reset();
    }

    void Pass() { TVirtualHid::Pass(bench); }
    void Passes(int n) {
        for (int i = 0; i < n; ++i)
            Pass();
    }
    bool PassUntil(const std::function<bool()>& done, int limit = 20000) {
        for (int i = 0; i < limit && !done(); ++i)
            Pass();
        return done();
    }
    TPlugged PlugUnit(const std::string& serial, std::set<std::string> silent = {},
                      const char* firmware = "201036") {
        sim::Profile p = sim::MakeProfile("DW730 TONAL", firmware);
        p.serial = serial;
        p.faults.silent = std::move(silent);
        TPlugged unit{std::make_shared<hid::sim::TTransceiverModel>(p)};
        unit.id = services.Plug(hid::sim::DeviceSpecOf(p, unit.model));
        return unit;
    }
    std::uint32_t PlugMouse() {
        hid::sim::TSimDeviceSpec mouse;
        mouse.VendorID = 0x046D;
        mouse.ProductID = 0xC077;
        return services.Plug(std::move(mouse));
    }
    static std::vector<std::string> Received(const TPlugged& unit) {
        return unit.model->Inspect([](sim::Transceiver& u) { return u.Received(); });
    }
    TConversation* UnitWithSerial(const std::string& serial) const {
        for (TConversation* unit : bench.Units())
            if (unit->Serial() == serial) return unit;
        return nullptr;
    }
    // the front end
    void UnitArrived(TConversation& unit) override { events.push_back("arrived " + Name(unit)); }
    void UnitIdentified(TConversation& unit) override {
        events.push_back("identified " + Name(unit));
    }
    void UnitRests(TConversation& unit) override {
        rests.push_back(&unit);
        events.push_back("rests " + Name(unit));
    }
    void RunEnded(TConversation& unit, core::TRunKind, core::TRunEnd end) override {
        ends.push_back({Name(unit), end});
    }
    void UnitGone(TConversation& unit) override { events.push_back("gone " + Name(unit)); }
    std::string Name(const TConversation& unit) const {
        return unit.Serial() ? *unit.Serial() : bench.NameOf(unit);
    }
    // the log: each line under the unit it belongs to
    void WriteLog(std::string_view utf8, int) override { lines[""].emplace_back(utf8); }
    void WriteUnitLog(std::string_view unit, std::string_view utf8, int) override {
        lines[std::string(unit)].emplace_back(utf8);
    }
    void WriteUnitLogBytes(std::string_view unit, std::string_view latin1, int d) override {
        WriteUnitLog(unit, core::Latin1ToUtf8(latin1), d);
    }
    bool Logged(const std::string& unit, const std::string& text) const {
        const auto it = lines.find(unit);
        return it != lines.end() &&
               std::any_of(it->second.begin(), it->second.end(),
                           [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }

    TRecordingDialogs dialogs;
    TRecordingView view;
    core::TUnitBench bench{core::TBenchPorts{controller.get(), this, &dialogs, &view, &clock, this},
                           "9.9.9", core::TBenchPolicy::EveryUnit,
                           core::TUnitOptions{nullptr, nullptr, kReplyTimeoutMs}};
    std::map<std::string, std::vector<std::string>> lines;
    std::vector<std::string> events;
    std::vector<TConversation*> rests;
    std::vector<std::pair<std::string, core::TRunEnd>> ends;
};

TEST_F(EveryUnitBench, EachUnitIsServedApartAndAnApplyOutlivesTheOthersComingAndGoing) {
    const TPlugged first = PlugUnit("SV0000000011");
    PlugMouse();
    const TPlugged second = PlugUnit("SV0000000022");
    ASSERT_TRUE(PassUntil([&] { return rests.size() == 2; }));

    // Both identified with their own serial numbers, each from its own device's replies.
    TConversation* a = UnitWithSerial("SV0000000011");
    TConversation* b = UnitWithSerial("SV0000000022");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(bench.Units().size(), 2u); // the mouse is no unit
    for (TConversation* unit : {a, b}) {
        EXPECT_EQ(unit->Phase(), TPhase::Ready);
        EXPECT_TRUE(unit->Supported());
        EXPECT_EQ(unit->CurrentReceivedCount(), 13);
    }
    EXPECT_NE(bench.NameOf(*a), bench.NameOf(*b));
    EXPECT_TRUE(Logged(bench.NameOf(*a), "SV0000000011"));
    EXPECT_FALSE(Logged(bench.NameOf(*a), "SV0000000022"));
    EXPECT_TRUE(Logged(bench.NameOf(*b), "SV0000000022"));
    EXPECT_FALSE(Logged(bench.NameOf(*b), "SV0000000011"));
    // Each unit was asked once for each thing: no command went to the wrong device.
    for (const TPlugged* unit : {&first, &second}) {
        const std::vector<std::string> got = Received(*unit);
        EXPECT_EQ(std::count(got.begin(), got.end(), "GSER"), 1);
        EXPECT_EQ(std::count(got.begin(), got.end(), "GPAR"), 1);
    }
    for (const std::string serial : {"SV0000000011", "SV0000000022"}) {
        EXPECT_EQ(std::count(events.begin(), events.end(), "identified " + serial), 1);
        EXPECT_EQ(std::count(events.begin(), events.end(), "rests " + serial), 1);
    }

    // An Apply on the first; meanwhile the second is unplugged and a mouse plugged in.
    const int volume = a->Setting(params::TSetting::Volume).current.value_or(0);
    a->Choose(params::TSetting::Volume, volume == 0 ? 1 : 0);
    a->PressApply();
    ASSERT_TRUE(PassUntil([&] { return a->WriteRunUnderWay(); }, 50));
    const std::size_t sentToSecond = Received(second).size();
    services.Unplug(second.id);
    PlugMouse();
    ASSERT_TRUE(PassUntil([&] { return !ends.empty(); }));
    Passes(5);

    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends.front(), std::make_pair(std::string("SV0000000011"), core::TRunEnd::Saved));
    EXPECT_TRUE(a->LastRun().saved);
    EXPECT_EQ(a->LastRun().written.front(), params::TSetting::Volume);
    EXPECT_EQ(Received(first).back(), "SAVE");
    EXPECT_EQ(Received(second).size(), sentToSecond); // nothing of the Apply reached it
    EXPECT_EQ(std::count(events.begin(), events.end(), "gone SV0000000022"), 1);
    ASSERT_EQ(bench.Units().size(), 1u);
    EXPECT_EQ(bench.Units().front(), a);
    EXPECT_EQ(a->Phase(), TPhase::Ready);
    EXPECT_TRUE(dialogs.errors.empty());
}

TEST_F(EveryUnitBench, AUnitThatFallsSilentEndsAloneAtItsReplyTimeOut) {
    const TPlugged mute = PlugUnit("SV0000000011", {"SAVE"});
    PlugUnit("SV0000000022");
    ASSERT_TRUE(PassUntil([&] { return rests.size() == 2; }));
    TConversation* a = UnitWithSerial("SV0000000011");
    TConversation* b = UnitWithSerial("SV0000000022");
    ASSERT_TRUE(a && b);
    for (TConversation* unit : {a, b}) {
        const int volume = unit->Setting(params::TSetting::Volume).current.value_or(0);
        unit->Choose(params::TSetting::Volume, volume == 0 ? 1 : 0);
        unit->PressApply();
    }
    ASSERT_TRUE(PassUntil([&] { return Received(mute).back() == "SAVE"; }));
    const std::int64_t saveSentMs = clock.Now().utcMs;
    EXPECT_FALSE(a->AnswerOverdue());
    Passes(static_cast<int>(kReplyTimeoutMs) - 10);
    EXPECT_FALSE(a->AnswerOverdue()) << "not before its time";
    Passes(20);

    EXPECT_TRUE(a->AnswerOverdue());
    EXPECT_FALSE(a->NeedsTicks());
    EXPECT_FALSE(a->LastRun().saved);
    EXPECT_EQ(Received(mute).back(), "SAVE");
    EXPECT_TRUE(Logged(bench.NameOf(*a), "Error : No answer to SAVE within 500 ms"));
    EXPECT_GE(clock.Now().utcMs - saveSentMs, kReplyTimeoutMs);
    // The other unit saved and is not touched by the first one's silence.
    EXPECT_TRUE(b->LastRun().saved);
    EXPECT_FALSE(b->AnswerOverdue());
    EXPECT_EQ(std::count(ends.begin(), ends.end(),
                         std::make_pair(std::string("SV0000000011"), core::TRunEnd::Abandoned)),
              1);
    EXPECT_EQ(std::count(ends.begin(), ends.end(),
                         std::make_pair(std::string("SV0000000022"), core::TRunEnd::Saved)),
              1);
}

TEST_F(EveryUnitBench, AUnitItClosedStaysClosedWhileOtherDevicesComeAndGo) {
    const TPlugged old = PlugUnit("SV0000000011", {}, "202000"); // a firmware not supported
    ASSERT_TRUE(PassUntil([&] { return rests.size() == 1; }));
    TConversation* unit = UnitWithSerial("SV0000000011");
    ASSERT_TRUE(unit);
    EXPECT_FALSE(unit->Supported());
    const std::size_t asked = Received(old).size();

    const std::uint32_t mouse = PlugMouse();
    Passes(50);
    services.Unplug(mouse);
    Passes(50);
    EXPECT_EQ(Received(old).size(), asked); // not identified again
    ASSERT_EQ(bench.Units().size(), 1u);
    EXPECT_EQ(bench.Units().front(), unit);

    services.Unplug(old.id);
    Passes(10);
    EXPECT_TRUE(bench.Units().empty());
    EXPECT_EQ(std::count(events.begin(), events.end(), "gone SV0000000011"), 1);
}

} // namespace
