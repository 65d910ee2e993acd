// Stereo HDCD decoder: PCM16 in, 32-bit full scale out (the upper 24 bits are
// the PCM24 sample), with Peak Extend per channel and Low-Level Gain ramping
// both channels toward one shared target.
#pragma once

#include <cstdint>

#include "hdcd/hdcd_detector.h"
#include "hdcd/hdcd_summary.h"

struct HdcdDecoder {
    HdcdChannelState left;
    HdcdChannelState right;
    uint32_t sample_rate;
    int32_t gain_left;                 // current gain index, 1/256 dB steps, 0..1920
    int32_t gain_right;
    int32_t gain_target;               // gain code x 128
    uint64_t frames_processed;
    uint64_t peak_expanded_samples;    // samples that went through the Peak Extend curve
    uint64_t gain_adjusted_samples;    // samples scaled by a non-zero gain index
    uint64_t stereo_mismatch_samples;  // frames whose two gain codes differed
};

void hdcd_decoder_init(HdcdDecoder& decoder, uint32_t sample_rate);

// Decodes `frames` interleaved stereo frames in place. Blocks of any size may
// follow one another; the result is the same as for one block.
void hdcd_decoder_process(HdcdDecoder& decoder, int32_t* samples, uint64_t frames);

// Follows `frames` frames as hdcd_decoder_process would, leaving the decoder
// in the same state, without producing output: the samples are only read.
void hdcd_decoder_follow(HdcdDecoder& decoder, const int32_t* samples, uint64_t frames);

void hdcd_decoder_summary(const HdcdDecoder& decoder, HdcdSummary& summary);

// One PCM16 value through the Peak Extend curve (the control byte in force has
// the Peak Extend flag). Counts the values at or above the threshold. Values
// outside the PCM16 range are taken as the nearest PCM16 value.
int32_t hdcd_peak_extend_transfer(int32_t value, uint64_t& peak_expanded_samples);

// One PCM16 value without Peak Extend: value x 32768, outside values clamped.
int32_t hdcd_plain_transfer(int32_t value);

// Scales a 32-bit full-scale value by the Low-Level Gain of `gain_index` (not 0).
int32_t hdcd_apply_gain(int32_t value, int32_t gain_index);
