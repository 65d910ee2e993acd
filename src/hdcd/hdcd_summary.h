// What a scan or a decode found in a file's HDCD signalling, and its report.
#pragma once

#include <cstdint>

#include "hdcd/hdcd_detector.h"

constexpr uint32_t HDCD_PACKET_TYPE_NONE = 0;
constexpr uint32_t HDCD_PACKET_TYPE_A = 1;
constexpr uint32_t HDCD_PACKET_TYPE_B = 2;
constexpr uint32_t HDCD_PACKET_TYPE_MIXED = 3;

constexpr uint32_t HDCD_PEAK_EXTEND_NEVER = 0;
constexpr uint32_t HDCD_PEAK_EXTEND_INTERMITTENT = 1;
constexpr uint32_t HDCD_PEAK_EXTEND_PERMANENT = 2;

// All zero with bit_position -1 means that no HDCD was found.
struct HdcdSummary {
    uint32_t hdcd_found;
    int32_t bit_position;
    uint32_t packet_type;
    uint32_t peak_extend_mode;
    uint32_t valid_packets;
    uint32_t packet_errors;
    uint32_t peak_extend_packets;
    uint32_t transient_filter_packets;
    uint8_t max_gain_code;
    uint32_t left_packets;
    uint32_t right_packets;
    uint32_t timer_expirations;
    uint64_t stereo_mismatch_samples;
};

void hdcd_summary_from_channels(const HdcdChannelState& left, const HdcdChannelState& right,
                                uint64_t stereo_mismatch_samples, int32_t bit_position, HdcdSummary& summary);

// Writes the HDCD report to standard output.
void hdcd_summary_print(const HdcdSummary& summary);
