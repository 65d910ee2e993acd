#include <gtest/gtest.h>

#include <string>

#include "hdcd/hdcd_summary.h"

namespace {

struct ChannelCounts {
    int32_t a, b, errors, peak, transient, expirations;
    uint8_t max_gain;
};

HdcdSummary summarize(const ChannelCounts& l, const ChannelCounts& r, uint64_t mismatch = 0) {
    HdcdChannelState left{};
    HdcdChannelState right{};
    for (auto pair : {std::make_pair(&left, &l), std::make_pair(&right, &r)}) {
        HdcdDetector& d = pair.first->detector;
        d.packets_a = pair.second->a;
        d.packets_b = pair.second->b;
        d.packet_errors = pair.second->errors;
        d.peak_extend_packets = pair.second->peak;
        d.transient_filter_packets = pair.second->transient;
        d.timer_expirations = pair.second->expirations;
        d.max_gain_code = pair.second->max_gain;
    }
    HdcdSummary summary;
    hdcd_summary_from_channels(left, right, mismatch, 0, summary);
    return summary;
}

std::string report(const HdcdSummary& summary) {
    testing::internal::CaptureStdout();
    hdcd_summary_print(summary);
    return testing::internal::GetCapturedStdout();
}

// The report line that starts with `prefix`, without its newline.
std::string line(const std::string& text, const std::string& prefix) {
    const size_t at = text.find("\n" + prefix);
    if (at == std::string::npos) return "<missing>";
    return text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

}  // namespace

TEST(HdcdSummary, ErrorsWithoutValidPacketsReportNoHdcd) {
    const HdcdSummary summary = summarize({0, 0, 5, 0, 0, 2, 0}, {0, 0, 3, 0, 0, 0, 0}, 77);
    EXPECT_EQ(summary.hdcd_found, 0u);
    EXPECT_EQ(summary.bit_position, -1);
    EXPECT_EQ(summary.packet_errors, 0u);
    EXPECT_EQ(summary.stereo_mismatch_samples, 0u);
    EXPECT_EQ(report(summary), "\nHDCD detected: No\n");
}

TEST(HdcdSummary, ClassificationAndReportLines) {
    struct Case {
        const char* name;
        ChannelCounts left, right;
        const char* type_line;
        const char* peak_line;
        const char* filter_line;
        const char* gain_line;
        const char* processing_line;
    };
    const Case cases[] = {
        {"left only, Peak Extend in every packet", {4, 0, 0, 4, 0, 0, 0}, {0, 0, 1, 0, 0, 0, 0},
         "Packet type: A", "Peak Extend: Permanent", "Transient Filter: Not detected",
         "Maximum target gain adjustment: 0.0 dB", "HDCD processing: Active"},
        {"Peak Extend in all but one", {0, 5, 0, 5, 0, 0, 1}, {0, 5, 0, 4, 0, 0, 0},
         "Packet type: B", "Peak Extend: Intermittent", "Transient Filter: Not detected",
         "Maximum target gain adjustment: -0.5 dB", "HDCD processing: Active"},
        {"A in one channel, B in the other", {1, 0, 0, 0, 0, 0, 15}, {0, 3, 0, 0, 0, 0, 2},
         "Packet type: Mixed A/B", "Peak Extend: Never", "Transient Filter: Not detected",
         "Maximum target gain adjustment: -7.5 dB", "HDCD processing: Active"},
        {"Transient Filter only", {0, 2, 0, 0, 2, 0, 0}, {0, 2, 0, 0, 0, 0, 0},
         "Packet type: B", "Peak Extend: Never", "Transient Filter: Detected (not decoded)",
         "Maximum target gain adjustment: 0.0 dB", "HDCD processing: Signalling only"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = report(summarize(c.left, c.right));
        EXPECT_EQ(line(text, "Packet type:"), c.type_line);
        EXPECT_EQ(line(text, "Peak Extend:"), c.peak_line);
        EXPECT_EQ(line(text, "Transient Filter:"), c.filter_line);
        EXPECT_EQ(line(text, "Maximum target gain adjustment:"), c.gain_line);
        EXPECT_EQ(line(text, "HDCD processing:"), c.processing_line);
    }
}

TEST(HdcdSummary, FullReportAndOutOfRangeNames) {
    HdcdSummary summary = summarize({2, 1, 4, 1, 1, 3, 6}, {0, 7, 1, 0, 0, 2, 9}, 12345678901ULL);
    EXPECT_EQ(summary.valid_packets, 10u);
    EXPECT_EQ(summary.left_packets, 3u);
    EXPECT_EQ(summary.max_gain_code, 9);
    EXPECT_EQ(report(summary),
              "\nHDCD detected: Yes\n"
              "Packet type: Mixed A/B\n"
              "Valid packets: 10\n"
              "  Left:  3\n"
              "  Right: 7\n"
              "Packet errors: 5\n"
              "Peak Extend: Intermittent\n"
              "Peak Extend packets: 1\n"
              "Transient Filter: Detected (not decoded)\n"
              "Maximum target gain adjustment: -4.5 dB\n"
              "Code-detect timer expirations: 5\n"
              "Stereo gain mismatch samples: 12345678901\n"
              "HDCD processing: Active\n");
    summary.packet_type = 9;
    summary.peak_extend_mode = 9;
    const std::string text = report(summary);
    EXPECT_EQ(line(text, "Packet type:"), "Packet type: None");
    EXPECT_EQ(line(text, "Peak Extend:"), "Peak Extend: Unknown");
}
