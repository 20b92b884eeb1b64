#pragma once
// Drives a simulated unit the way the tool's channel does: one command per output report,
// input reports cut by the tool's reply-kind rule.
#include "sim/Transceiver.h"
#include "support/ParamSetPrinter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace simtest {

inline std::vector<uint8_t> OutputReport(std::string_view command, size_t length) {
    std::vector<uint8_t> r(length, 0);
    std::copy_n(command.begin(), std::min(command.size(), length - 1), r.begin() + 1);
    return r;
}

inline std::string Bytes(const std::vector<uint8_t>& report) {
    return report.empty() ? std::string() : std::string(report.begin() + 1, report.end());
}

// The reply text the tool takes from an input report: search the whole payload for
// "OK", "NG" (cut after CR LF), "filecmd", "act_finfo", "--boot" (cut after LF); raw else.
inline std::string ToolReplyText(const std::vector<uint8_t>& report) {
    const std::string r = Bytes(report);
    auto has = [&](std::string_view m) { return r.find(m) != std::string::npos; };
    size_t n = r.size();
    size_t term = 0;
    if (has("OK") || has("NG")) {
        term = 2;
        if (auto p = r.find("\r\n"); p != std::string::npos) n = p + 2;
    } else if (has("filecmd") || has("act_finfo") || has("--boot")) {
        term = 1;
        if (auto p = r.find('\n'); p != std::string::npos) n = p + 1;
    }
    return r.substr(0, n >= term ? n - term : 0);
}

inline bool HasMarker(std::string_view bytes) {
    for (std::string_view m : {"OK", "NG", "filecmd", "act_finfo", "--boot"})
        if (bytes.find(m) != std::string_view::npos) return true;
    return false;
}

inline std::string Le32(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return s;
}

inline uint32_t GetLe32(std::string_view s, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= uint32_t(static_cast<uint8_t>(s[at + i])) << (8 * i);
    return v;
}

inline std::string ResultPacket(uint32_t code, uint32_t status) {
    return "UPLR" + Le32(code) + Le32(status);
}

// A unit on a bench: a clock the test moves, commands sent as full output reports.
struct Bench {
    explicit Bench(sim::Profile p) : unit(std::move(p)) {}

    bool Send(std::string_view command) {
        auto r = OutputReport(command, unit.OutputReportLength());
        return unit.Write(r.data(), r.size(), now);
    }
    // Every report still to come, the clock moved to each one's due time.
    std::vector<std::vector<uint8_t>> Drain() {
        std::vector<std::vector<uint8_t>> out;
        while (unit.NextDueUs() != sim::Transceiver::kNever) {
            now = std::max(now, unit.NextDueUs());
            auto r = unit.Read(now);
            if (!r) break;
            out.push_back(std::move(*r));
        }
        return out;
    }
    std::vector<std::string> Replies() {
        std::vector<std::string> out;
        for (const auto& r : Drain())
            out.push_back(ToolReplyText(r));
        return out;
    }
    std::string Ask(std::string_view command) {
        Send(command);
        auto r = Replies();
        return r.size() == 1 ? r[0] : "<" + std::to_string(r.size()) + " replies>";
    }
    std::vector<uint8_t> Next() {
        auto all = Drain();
        EXPECT_EQ(all.size(), 1u);
        return all.empty() ? std::vector<uint8_t>{} : all[0];
    }

    // Plays the tool's side of an upload, accepting every packet; returns the reports.
    std::vector<std::vector<uint8_t>> Upload() {
        std::vector<std::vector<uint8_t>> all;
        Send("UPLS DWINFO.INI");
        for (auto in = Drain(); in.size() == 1; in = Drain()) {
            all.push_back(in[0]);
            const std::string tag = Bytes(in[0]).substr(0, 4);
            if (tag == "UPLI") break;
            Send(ResultPacket(tag == "UPLS" ? 0x1001 : tag == "UPLD" ? 0x1002 : 0x1003, 0));
        }
        return all;
    }

    sim::Transceiver unit;
    int64_t now = 1'000'000;
};

// The tool's counting rule for a parameter reply, first match deciding.
inline bool ToolCounts(std::string_view reply) {
    auto has = [&](std::string_view k) { return reply.find(k) != std::string_view::npos; };
    for (std::string_view k :
         {"RxLevel", "RxOutLevel", "TxSquelchSw", "VOXSw", "CsgVoxNzccTh", "RecordSw"})
        if (has(k)) return true;
    if (has("Channel") && !has("ChannelChangeSw")) return true;
    if (has("Led") || has("BaseFreq") || has("DiveConWarningSw")) return true;
    if (has("TxModeSw")) return false;
    if (has("PhoneOutVol") && !has("PhoneOutVolTrx")) return true;
    return has("VoiceGuideSwitch") || has("DivingTimeSignalSw");
}

} // namespace simtest
