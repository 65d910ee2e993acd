#include "tools/lle_test_signal.h"

#include <cmath>

#include "hdcd/hdcd_detector.h"

namespace {

constexpr double TONE_RADIANS_PER_SECOND = 6264.335751258048;  // 2 pi x 997 Hz
constexpr uint32_t FIRST_PACKET_FRAME = 256;
constexpr uint32_t PACKET_INTERVAL = 1000;

int32_t tone_sample(double phase, double amplitude, uint32_t scrambled_bit) {
    int32_t value = static_cast<int32_t>(std::sin(phase) * amplitude);
    value = static_cast<int32_t>((static_cast<uint32_t>(value) & ~1u) | scrambled_bit);
    return value < -32768 ? -32768 : (value > 32767 ? 32767 : value);
}

// s(n) = a(n) ^ s(n - 5) ^ s(n - 23): the inverse of the detector's descrambler.
uint32_t scramble(uint32_t& history, uint32_t bit) {
    const uint32_t scrambled = bit ^ ((history >> 4) & 1u) ^ ((history >> 22) & 1u);
    history = (history << 1) | scrambled;
    return scrambled;
}

// Control byte carried by the packet that covers frame n.
uint8_t control_byte(uint64_t frame) {
    if (frame < 44100) return 0x00;
    if (frame < 176400) return 0x08;
    if (frame < 264600) return 0x04;
    return 0x00;
}

// Unscrambled packet bit of frame n.
uint32_t packet_bit(uint64_t frame) {
    if (frame < FIRST_PACKET_FRAME) return 0;
    const uint32_t offset = static_cast<uint32_t>((frame - FIRST_PACKET_FRAME) % PACKET_INTERVAL);
    const uint32_t control = control_byte(frame);
    if (offset < 32) return (HDCD_SYNC_WORD_B >> (31 - offset)) & 1u;
    if (offset < 40) return (control >> (39 - offset)) & 1u;
    if (offset < 48) return (~control >> (47 - offset)) & 1u;
    return 0;
}

}  // namespace

void lle_test_signal_init(LleTestSignal& signal) {
    signal.next_frame = 0;
    signal.scrambled_left = 0;
    signal.scrambled_right = 0;
}

void lle_test_signal_fill(LleTestSignal& signal, int32_t* samples, uint32_t frames) {
    for (uint32_t i = 0; i < frames; ++i) {
        const uint64_t frame = signal.next_frame + i;
        const double phase = static_cast<double>(frame) * TONE_RADIANS_PER_SECOND / LLE_TEST_SAMPLE_RATE;
        const uint32_t bit = packet_bit(frame);
        samples[2 * static_cast<size_t>(i)] = tone_sample(phase, 12000.0, scramble(signal.scrambled_left, bit));
        samples[2 * static_cast<size_t>(i) + 1] =
            tone_sample(phase + 0.31, 10500.0, scramble(signal.scrambled_right, bit));
    }
    signal.next_frame += frames;
}
