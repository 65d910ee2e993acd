// The benchmark's music-like HDCD signal: stereo PCM16 at 44.1 kHz, a chord
// that changes every two seconds with a decaying envelope and some noise, in
// passages of 40 seconds. Each passage is loud for 24 seconds (peaks well past
// the Peak Extend threshold, packets with Peak Extend on) and quiet for 16
// (Peak Extend off, the Low-Level Gain code stepping 2, 4, 6, 8 every four
// seconds). Every channel carries a packet every quarter second, type A and
// type B in turn, the right channel's a little later than the left's.
// Frames are produced block by block, front to back; any block size gives the
// same stream.
#pragma once

#include <cstdint>

constexpr uint32_t BENCH_SIGNAL_RATE = 44100;
constexpr uint32_t BENCH_SIGNAL_PACKET_INTERVAL = 11025;   // frames between packet starts
constexpr uint32_t BENCH_SIGNAL_RIGHT_DELAY = 97;          // frames the right channel's packets lag
constexpr uint32_t BENCH_SIGNAL_NOTE_FRAMES = 88200;       // one chord
constexpr uint32_t BENCH_SIGNAL_PASSAGE_FRAMES = 1764000;  // 40 s: loud, then quiet
constexpr uint32_t BENCH_SIGNAL_LOUD_FRAMES = 1058400;     // the first 24 s of a passage
constexpr uint32_t BENCH_SIGNAL_TONES = 3;

// The HDCD signal as described above, the same music with packets that never
// ask for Peak Extend or a gain change, or the same music without packets.
enum BenchSignalVariant { BENCH_SIGNAL_HDCD = 0, BENCH_SIGNAL_SIGNALLING_ONLY = 1, BENCH_SIGNAL_NO_PACKETS = 2 };

struct BenchSignal {
    uint32_t variant;        // BenchSignalVariant
    uint64_t next_frame;
    uint32_t scrambled[2];   // raw bits sent per channel, newest in bit 0
    uint64_t noise_state;    // xorshift state
    // Oscillators of the current chord (cosine, sine) and their per-frame
    // rotation, restarted exactly at every chord so that rounding cannot pile up.
    double osc_cos[2][BENCH_SIGNAL_TONES];
    double osc_sin[2][BENCH_SIGNAL_TONES];
    double step_cos[BENCH_SIGNAL_TONES];
    double step_sin[BENCH_SIGNAL_TONES];
    double envelope;         // of the current chord, decays every frame
};

void bench_signal_init(BenchSignal& signal, uint32_t variant = BENCH_SIGNAL_HDCD);

// Control byte of the packet that starts at the given frame (of either channel).
uint8_t bench_signal_control(uint64_t frame);

// True when the packet starting at the given frame is type A (else type B).
bool bench_signal_packet_is_type_a(uint64_t frame);

// Fills `frames` interleaved stereo PCM16 frames (as int32) from the signal's
// next frame on, and advances it.
void bench_signal_fill(BenchSignal& signal, int32_t* samples, uint32_t frames);
