// Looks for HDCD signalling without decoding: bit 0 of every sample for input
// of up to 20 bits, bits 0 to 8 at once for deeper input (bit 8 is where a
// PCM16 LSB lands after widening by eight zero bits).
#pragma once

#include <cstdint>

#include "hdcd/hdcd_detector.h"
#include "hdcd/hdcd_summary.h"

constexpr uint32_t HDCD_SCAN_MAX_POSITIONS = 9;

// Where a decoder's PCM24 output carries the PCM16 LSB: the PCM16 value
// scaled by 2^15 in 32 bits, of which the upper 24 are written.
constexpr int32_t HDCD_DECODED_SIGNALLING_BIT = 7;

struct HdcdScanPosition {
    uint32_t bit_shift;                // the bit of the sample this position watches
    HdcdChannelState left;
    HdcdChannelState right;
    uint64_t stereo_mismatch_samples;  // frames with both timers running and different gain codes
};

struct HdcdScanner {
    uint32_t sample_rate;
    uint32_t bits_per_sample;
    uint32_t position_count;           // 9 when bits_per_sample > 20, else 1
    uint32_t bits_seen;                // bit p set once any sample had bit p set (bits 0 to 8, nine positions only)
    HdcdScanPosition positions[HDCD_SCAN_MAX_POSITIONS];
};

void hdcd_scanner_init(HdcdScanner& scanner, uint32_t sample_rate, uint32_t bits_per_sample);

// Feeds `frames` interleaved stereo frames (read only). State carries across calls.
void hdcd_scanner_process(HdcdScanner& scanner, const int32_t* samples, uint64_t frames);

// True when some sample had a bit set below bit_position: never the case for
// PCM16 widened by zero bits, whose LSB is the lowest bit it sets. False for
// input watched at bit 0 only.
bool hdcd_scanner_bits_below(const HdcdScanner& scanner, int32_t bit_position);

// Summary of the position with the most valid packets (ties go to the lower
// bit). Changes nothing; may be called after any block.
void hdcd_scanner_summary(const HdcdScanner& scanner, HdcdSummary& summary);
