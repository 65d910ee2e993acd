// The synthetic Low-Level Gain test signal: a 997 Hz tone whose LSBs carry
// type B packets stepping the gain target through 0.0, -4.0, -2.0 and 0.0 dB.
// Frames are produced block by block, front to back.
#pragma once

#include <cstdint>

constexpr uint32_t LLE_TEST_SAMPLE_RATE = 44100;
constexpr uint64_t LLE_TEST_FRAMES = 441000;

// Scrambled bits already sent per channel, the newest in bit 0.
struct LleTestSignal {
    uint64_t next_frame;
    uint32_t scrambled_left;
    uint32_t scrambled_right;
};

void lle_test_signal_init(LleTestSignal& signal);

// Fills `frames` interleaved stereo PCM16 frames (as int32) starting at the
// signal's next frame, and advances it. Blocks must follow one another.
void lle_test_signal_fill(LleTestSignal& signal, int32_t* samples, uint32_t frames);
