// Report lengths from real report descriptors, against the lengths Windows computes.
#include "hid/ReportDescriptor.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace hid;

namespace {

struct TRecorded {
    unsigned Vendor, Product, UsagePage, Usage, Input, Output, Feature;
    std::vector<uint8_t> Descriptor;
};

std::vector<uint8_t> FromHex(const std::string& Hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < Hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoul(Hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::vector<TRecorded> LoadRecorded() {
    std::vector<TRecorded> all;
    std::ifstream in(SV_HID_TESTDATA);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        TRecorded r{};
        std::string hex;
        fields >> std::hex >> r.Vendor >> r.Product >> r.UsagePage >> r.Usage >> std::dec >>
            r.Input >> r.Output >> r.Feature >> hex;
        r.Descriptor = FromHex(hex);
        all.push_back(std::move(r));
    }
    return all;
}

TEST(ReportDescriptorTest, LengthsOfEveryRecordedCollectionMatchWindows) {
    const std::vector<TRecorded> recorded = LoadRecorded();
    ASSERT_GE(recorded.size(), 25u);
    for (const TRecorded& r : recorded) {
        const TReportDescriptorInfo info =
            ParseReportDescriptor(r.Descriptor.data(), r.Descriptor.size());
        EXPECT_TRUE(info.Complete);
        const TCollectionCaps* match = nullptr;
        for (const TCollectionCaps& c : info.Collections) {
            if (c.UsagePage == r.UsagePage && c.Usage == r.Usage) match = &c;
        }
        // One recording starts with a byte that hides its usage page; with a single
        // collection there is no doubt which one is meant.
        if (!match && info.Collections.size() == 1) match = &info.Collections[0];
        ASSERT_NE(match, nullptr) << std::hex << r.Vendor << ":" << r.Product << " collection "
                                  << r.UsagePage << "/" << r.Usage;
        EXPECT_EQ(match->InputLength, r.Input) << std::hex << r.Vendor << ":" << r.Product;
        EXPECT_EQ(match->OutputLength, r.Output) << std::hex << r.Vendor << ":" << r.Product;
        EXPECT_EQ(match->FeatureLength, r.Feature) << std::hex << r.Vendor << ":" << r.Product;
    }
}

// A vendor-defined unit with 64-byte reports and no report IDs, as the transceiver has.
const std::vector<uint8_t> kVendor64 = FromHex("0600ff0901a101150026ff0075089540"
                                               "0901810295400901910295400901b102c0");

TEST(ReportDescriptorTest, UnnumberedReportsStillCountTheReportIdByte) {
    const TReportDescriptorInfo info = ParseReportDescriptor(kVendor64.data(), kVendor64.size());
    EXPECT_FALSE(info.NumberedReports);
    const THidCaps caps = NodeCaps(info);
    EXPECT_EQ(caps.UsagePage, 0xFF00);
    EXPECT_EQ(caps.Usage, 0x01);
    EXPECT_EQ(caps.InputReportByteLength, 65);
    EXPECT_EQ(caps.OutputReportByteLength, 65);
    EXPECT_EQ(caps.FeatureReportByteLength, 65);
}

TEST(ReportDescriptorTest, NodeCapsTakeTheLongestReportOfAllCollections) {
    // Mouse (input 7 with ID) and a vendor collection (input 20, output 20).
    for (const TRecorded& r : LoadRecorded()) {
        if (r.Vendor != 0x046D || r.Product != 0xB010) continue;
        const TReportDescriptorInfo info =
            ParseReportDescriptor(r.Descriptor.data(), r.Descriptor.size());
        EXPECT_TRUE(info.NumberedReports);
        EXPECT_EQ(NodeCaps(info).InputReportByteLength, 20);
        EXPECT_EQ(NodeCaps(info).OutputReportByteLength, 20);
        return;
    }
    FAIL() << "recorded descriptor missing";
}

TEST(ReportDescriptorTest, CutOrMalformedDescriptorsNeverReadPastTheEnd) {
    // Every prefix of a real descriptor, each in a buffer of exactly its size.
    for (size_t n = 7; n < kVendor64.size(); ++n) { // from inside the collection on
        std::vector<uint8_t> cut(kVendor64.begin(), kVendor64.begin() + static_cast<long>(n));
        const TReportDescriptorInfo info = ParseReportDescriptor(cut.data(), cut.size());
        EXPECT_FALSE(info.Complete) << n;
        EXPECT_LE(NodeCaps(info).InputReportByteLength, 65) << n;
    }
    const struct {
        const char* Hex;
        uint16_t Input;
    } cases[] = {
        {"c0c0", 0},                                // end without a collection
        {"fe", 0},                                  // long item cut short
        {"a101fe0500aabbccdd7508950181028 0c0", 0}, // garbage after a long item
        {"a101750895ff26ff008102c0", 256},          // 255 bytes
        {"a10177ffffffff97ffffffff8102c0", 0xFFFF}, // absurd sizes clamp
    };
    for (const auto& c : cases) {
        std::string hex;
        for (const char* p = c.Hex; *p; ++p)
            if (*p != ' ') hex += *p;
        const std::vector<uint8_t> bytes = FromHex(hex);
        const TReportDescriptorInfo info = ParseReportDescriptor(bytes.data(), bytes.size());
        EXPECT_EQ(NodeCaps(info).InputReportByteLength, c.Input) << c.Hex;
    }
}

} // namespace
