// The bits the packet detectors watch, gathered from interleaved stereo frames
// into one word per channel and bit position: up to 64 frames, the first frame
// in the highest used bit.
#pragma once

#include <cstdint>

#include "hdcd/hdcd_scanner.h"

// Bit 0 of each sample.
void hdcd_gather_bit_zero(const int32_t* samples, uint32_t count, uint64_t& left, uint64_t& right);

// Bits 0 to 8 of each sample, one word per position.
void hdcd_gather_nine_bits(const int32_t* samples, uint32_t count, uint64_t (&left)[HDCD_SCAN_MAX_POSITIONS],
                           uint64_t (&right)[HDCD_SCAN_MAX_POSITIONS]);
