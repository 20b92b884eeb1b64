// Google Benchmark cases for the paths that run once per report or per tick.
#include "app/Main.h"
#include "support/ConversationPeer.h"
#include "hid/HidControllerClass.h"
#include "hid/ReportDescriptor.h"
#include "hid/sim/ManualMainThread.h"
#include "hid/sim/SimHidServices.h"
#include "link/Framing.h"
#include "params/ReadBack.h"
#include "sim/Transceiver.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

constexpr size_t kInputLength = 1024; // bytes after the report ID of a 1025-byte report

std::vector<uint8_t> Report(const std::string& text) {
    std::vector<uint8_t> r(kInputLength, 0);
    std::copy(text.begin(), text.end(), r.begin());
    return r;
}

// The reply texts a unit gives to a command, as the window's channel cuts them.
std::vector<std::string> RepliesTo(const std::string& command) {
    sim::Transceiver unit(sim::MakeProfile("DW730 TONAL", "201036"));
    std::vector<uint8_t> out(unit.OutputReportLength(), 0);
    std::copy(command.begin(), command.end(), out.begin() + 1);
    unit.Write(out.data(), out.size(), 0);
    std::vector<std::string> texts;
    while (auto r = unit.Read(sim::Transceiver::kNever - 1))
        texts.push_back(channel::ParseReply(r->data() + 1, r->size() - 1).Text);
    return texts;
}

void BM_ParseReply_VersionLine(benchmark::State& state) {
    const auto r = Report("OK 201036\r\n");
    for (auto _ : state)
        benchmark::DoNotOptimize(channel::ParseReply(r.data(), r.size()));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseReply_VersionLine);

// No marker anywhere: every search runs the whole report and the text keeps every byte.
void BM_ParseReply_RawZeros(benchmark::State& state) {
    const std::vector<uint8_t> r(kInputLength, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(channel::ParseReply(r.data(), r.size()));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseReply_RawZeros);

// An upload data packet: binary file bytes, no line marker.
void BM_ParseReply_UploadData(benchmark::State& state) {
    std::vector<uint8_t> r(kInputLength, 0);
    const std::string head = "filecmd";
    std::copy(head.begin(), head.end(), r.begin());
    for (size_t i = 12; i < r.size(); ++i)
        r[i] = static_cast<uint8_t>('A' + i % 26);
    for (auto _ : state)
        benchmark::DoNotOptimize(channel::ParseReply(r.data(), r.size()));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseReply_UploadData);

void BM_ReplyLogText_Line(benchmark::State& state) {
    const auto r = Report("OK RxOutLevel 12744\r\n");
    const auto reply = channel::ParseReply(r.data(), r.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(channel::ReplyLogText(reply));
}
BENCHMARK(BM_ReplyLogText_Line);

// One whole "GPAR" read-back of a current unit, reply by reply.
void BM_ReadCurrentReply_WholeSet(benchmark::State& state) {
    const auto replies = RepliesTo("GPAR");
    const auto identity = params::TIdentity::FromVersion("201036", "DW730 TONAL");
    params::TCurParams cur;
    for (auto _ : state) {
        for (const auto& text : replies)
            benchmark::DoNotOptimize(params::ReadCurrentReply(text, identity, cur));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(replies.size()));
}
BENCHMARK(BM_ReadCurrentReply_WholeSet);

void BM_StoreInitialReply_WholeSet(benchmark::State& state) {
    const auto replies = RepliesTo("GETTMPPARAM");
    params::TParamSet set;
    for (auto _ : state) {
        for (const auto& text : replies)
            benchmark::DoNotOptimize(params::StoreInitialReply(text, set));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(replies.size()));
}
BENCHMARK(BM_StoreInitialReply_WholeSet);

// A vendor-defined collection with 1024-byte input and output reports, as the unit has.
void BM_ParseReportDescriptor_Unit(benchmark::State& state) {
    const std::vector<uint8_t> d = {
        0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,             // usage page FF00, usage 1
        0x09, 0x02, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, // logical 0..255, 8 bits
        0x96, 0x00, 0x04, 0x81, 0x02,                         // 1024 x input
        0x09, 0x03, 0x96, 0x00, 0x04, 0x91, 0x02,             // 1024 x output
        0xC0};
    for (auto _ : state)
        benchmark::DoNotOptimize(hid::ParseReportDescriptor(d.data(), d.size()));
}
BENCHMARK(BM_ParseReportDescriptor_Unit);

// The log pane: one received line as an upload data packet gives it (about 3 KB of hex),
// and one as a parameter reply gives it.
void WriteLogLine(benchmark::State& state, const std::string& text) {
    hid::sim::TSimServices services;
    hid::TManualMainThread main;
    TForm1 form(TFormServices{std::make_unique<hid::THidDeviceController>(services, main), nullptr,
                              nullptr});
    main.RunPending();
    for (auto _ : state)
        form.WriteLog(text, kLogReceived);
    state.counters["lines"] = static_cast<double>(state.iterations());
}

void BM_WriteLog_UploadPacketLine(benchmark::State& state) {
    std::vector<uint8_t> r(kInputLength, 0);
    for (size_t i = 0; i < r.size(); ++i)
        r[i] = static_cast<uint8_t>('A' + i % 26);
    WriteLogLine(state, channel::ReplyLogText(channel::ParseReply(r.data(), r.size())));
}
BENCHMARK(BM_WriteLog_UploadPacketLine)->Iterations(1000);

void BM_WriteLog_ParameterLine(benchmark::State& state) {
    const auto r = Report("OK RxOutLevel 12744\r\n");
    WriteLogLine(state, channel::ReplyLogText(channel::ParseReply(r.data(), r.size())));
}
BENCHMARK(BM_WriteLog_ParameterLine)->Iterations(1000);

// A tick with nothing to do: connected, idle at step 1.
void BM_Timer1Timer_Idle(benchmark::State& state) {
    hid::sim::TSimServices services;
    hid::TManualMainThread main;
    auto controller = std::make_unique<hid::THidDeviceController>(services, main);
    TForm1 form(TFormServices{std::move(controller), nullptr, nullptr});
    main.RunPending();
    testing_support::Peer(form.Conversation()).SetPhase(core::TPhase::Ready);
    testing_support::Peer(form.Conversation()).SetRunning(true);
    form.Timer().SetEnabled(true); // so the tick stops and restarts the timer, as it runs
    for (auto _ : state)
        form.Timer1Timer();
    form.Timer().SetEnabled(false);
    testing_support::Peer(form.Conversation()).SetRunning(false);
}
BENCHMARK(BM_Timer1Timer_Idle);

} // namespace
