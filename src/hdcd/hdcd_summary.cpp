#include "hdcd/hdcd_summary.h"

#include <cstdio>
#include <cstring>

#include "console/console.h"

namespace {

uint32_t as_count(int32_t value) {
    return static_cast<uint32_t>(value);
}

const char* packet_type_text(uint32_t type) {
    switch (type) {
        case HDCD_PACKET_TYPE_A: return "A";
        case HDCD_PACKET_TYPE_B: return "B";
        case HDCD_PACKET_TYPE_MIXED: return "Mixed A/B";
        default: return "None";
    }
}

const char* peak_extend_text(uint32_t mode) {
    switch (mode) {
        case HDCD_PEAK_EXTEND_NEVER: return "Never";
        case HDCD_PEAK_EXTEND_INTERMITTENT: return "Intermittent";
        case HDCD_PEAK_EXTEND_PERMANENT: return "Permanent";
        default: return "Unknown";
    }
}

}  // namespace

void hdcd_summary_from_channels(const HdcdChannelState& left, const HdcdChannelState& right,
                                uint64_t stereo_mismatch_samples, int32_t bit_position, HdcdSummary& summary) {
    const HdcdDetector& l = left.detector;
    const HdcdDetector& r = right.detector;
    std::memset(&summary, 0, sizeof summary);
    summary.bit_position = bit_position;
    summary.left_packets = as_count(l.packets_a) + as_count(l.packets_b);
    summary.right_packets = as_count(r.packets_a) + as_count(r.packets_b);
    summary.valid_packets = summary.left_packets + summary.right_packets;
    if (summary.valid_packets == 0) {
        summary.bit_position = -1;
        return;
    }
    summary.hdcd_found = 1;
    summary.packet_errors = as_count(l.packet_errors) + as_count(r.packet_errors);
    summary.peak_extend_packets = as_count(l.peak_extend_packets) + as_count(r.peak_extend_packets);
    summary.transient_filter_packets = as_count(l.transient_filter_packets) + as_count(r.transient_filter_packets);
    summary.timer_expirations = as_count(l.timer_expirations) + as_count(r.timer_expirations);
    summary.max_gain_code = l.max_gain_code > r.max_gain_code ? l.max_gain_code : r.max_gain_code;
    summary.stereo_mismatch_samples = stereo_mismatch_samples;

    const uint32_t type_a = as_count(l.packets_a) + as_count(r.packets_a);
    const uint32_t type_b = as_count(l.packets_b) + as_count(r.packets_b);
    if (type_a != 0 && type_b != 0) {
        summary.packet_type = HDCD_PACKET_TYPE_MIXED;
    } else if (type_a != 0) {
        summary.packet_type = HDCD_PACKET_TYPE_A;
    } else {
        summary.packet_type = HDCD_PACKET_TYPE_B;
    }

    if (summary.peak_extend_packets == 0) {
        summary.peak_extend_mode = HDCD_PEAK_EXTEND_NEVER;
    } else if (summary.peak_extend_packets == summary.valid_packets) {
        summary.peak_extend_mode = HDCD_PEAK_EXTEND_PERMANENT;
    } else {
        summary.peak_extend_mode = HDCD_PEAK_EXTEND_INTERMITTENT;
    }
}

void hdcd_summary_print(const HdcdSummary& summary) {
    if (summary.hdcd_found == 0) {
        std::puts("\nHDCD detected: No");
        return;
    }
    std::puts("\nHDCD detected: Yes");
    print_to_stdout("Packet type: %s\n", packet_type_text(summary.packet_type));
    print_to_stdout("Valid packets: %u\n", summary.valid_packets);
    print_to_stdout("  Left:  %u\n", summary.left_packets);
    print_to_stdout("  Right: %u\n", summary.right_packets);
    print_to_stdout("Packet errors: %u\n", summary.packet_errors);
    print_to_stdout("Peak Extend: %s\n", peak_extend_text(summary.peak_extend_mode));
    print_to_stdout("Peak Extend packets: %u\n", summary.peak_extend_packets);
    print_to_stdout("Transient Filter: %s\n",
                    summary.transient_filter_packets != 0 ? "Detected (not decoded)" : "Not detected");
    // A code of 0 prints as 0.0, never as a negative zero.
    const double adjustment = summary.max_gain_code == 0 ? 0.0 : summary.max_gain_code * -0.5;
    print_to_stdout("Maximum target gain adjustment: %.1f dB\n", adjustment);
    print_to_stdout("Code-detect timer expirations: %u\n", summary.timer_expirations);
    print_to_stdout("Stereo gain mismatch samples: %llu\n",
                    static_cast<unsigned long long>(summary.stereo_mismatch_samples));
    if (summary.peak_extend_mode != HDCD_PEAK_EXTEND_NEVER || summary.max_gain_code != 0) {
        std::puts("HDCD processing: Active");
    } else {
        std::puts("HDCD processing: Signalling only");
    }
}
