#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hdcd/hdcd_summary.h"

namespace {

// Per channel: packets A, B, errors, Peak Extend, Transient Filter, timer
// expirations, maximum gain code.
std::string report(const std::vector<int32_t>& l, const std::vector<int32_t>& r, uint64_t mismatch) {
    HdcdChannelState channels[2] = {};
    for (int c = 0; c < 2; ++c) {
        const std::vector<int32_t>& n = c == 0 ? l : r;
        HdcdDetector& d = channels[c].detector;
        d.packets_a = n[0], d.packets_b = n[1], d.packet_errors = n[2], d.peak_extend_packets = n[3];
        d.transient_filter_packets = n[4], d.timer_expirations = n[5], d.max_gain_code = static_cast<uint8_t>(n[6]);
    }
    HdcdSummary summary;
    hdcd_summary_from_channels(channels[0], channels[1], mismatch, 0, summary);
    testing::internal::CaptureStdout();
    hdcd_summary_print(summary);
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(HdcdSummary, ReportVariants) {
    EXPECT_EQ(report({0, 0, 5, 0, 0, 2, 0}, {0, 0, 3, 0, 0, 0, 0}, 77), "\nHDCD detected: No\n");
    const struct { std::vector<int32_t> left, right; std::vector<const char*> lines; } cases[] = {
        {{4, 0, 0, 4, 0, 0, 0}, {0, 0, 1, 0, 0, 0, 0},
         {"Packet type: A", "Peak Extend: Permanent", "Transient Filter: Not detected",
          "Maximum target gain adjustment: 0.0 dB", "HDCD processing: Active", "Packet errors: 1"}},
        {{0, 5, 0, 5, 0, 3, 1}, {0, 5, 0, 4, 0, 2, 0},
         {"Packet type: B", "Peak Extend: Intermittent", "Peak Extend packets: 9",
          "Maximum target gain adjustment: -0.5 dB", "Code-detect timer expirations: 5"}},
        {{1, 0, 0, 0, 0, 0, 15}, {0, 3, 0, 0, 0, 0, 2},
         {"Packet type: Mixed A/B", "Peak Extend: Never", "Maximum target gain adjustment: -7.5 dB",
          "Valid packets: 4", "  Left:  1", "  Right: 3"}},
        {{0, 2, 0, 0, 2, 0, 0}, {0, 2, 0, 0, 0, 0, 0},
         {"Transient Filter: Detected (not decoded)", "HDCD processing: Signalling only"}},
    };
    for (const auto& c : cases) {
        const std::string text = report(c.left, c.right, 12345678901ULL);
        EXPECT_NE(text.find("\nStereo gain mismatch samples: 12345678901\n"), std::string::npos);
        for (const char* line : c.lines) {
            EXPECT_NE(text.find("\n" + std::string(line) + "\n"), std::string::npos) << line << " in" << text;
        }
    }
}
