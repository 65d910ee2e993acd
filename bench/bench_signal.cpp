#include "bench_signal.h"

#include <cmath>

#include "hdcd/hdcd_detector.h"

namespace {

constexpr double TWO_PI = 6.283185307179586;
constexpr uint32_t GAIN_STEP_FRAMES = 176400;  // the quiet passage's gain code moves every 4 s
constexpr double QUIET_LEVEL = 0.06;
constexpr double NOISE_AMPLITUDE = 3000.0;
// Per tone: its share of the chord, in PCM16 units at full level.
constexpr double TONE_AMPLITUDE[BENCH_SIGNAL_TONES] = {14500.0, 9500.0, 6500.0};
// Six chords, root, third and fifth, in Hz.
constexpr double CHORDS[6][BENCH_SIGNAL_TONES] = {
    {220.00, 277.18, 329.63}, {196.00, 246.94, 293.66}, {174.61, 220.00, 261.63},
    {246.94, 311.13, 369.99}, {164.81, 207.65, 246.94}, {261.63, 329.63, 392.00},
};

// The chord's envelope falls to 45 % over its two seconds.
const double ENVELOPE_DECAY = std::exp(std::log(0.45) / BENCH_SIGNAL_NOTE_FRAMES);

uint32_t packet_bit(uint64_t frame, uint32_t delay, uint32_t variant) {
    if (frame < delay || variant == BENCH_SIGNAL_NO_PACKETS) return 0;
    const uint64_t start = frame - delay;
    const uint32_t offset = static_cast<uint32_t>(start % BENCH_SIGNAL_PACKET_INTERVAL);
    const uint64_t packet_frame = start - offset;
    const uint8_t control = variant == BENCH_SIGNAL_SIGNALLING_ONLY ? 0 : bench_signal_control(packet_frame);
    if (bench_signal_packet_is_type_a(packet_frame)) {
        // Type A carries half the gain code in bits 0-2 and the two flags.
        const uint32_t payload = ((control & HDCD_CONTROL_GAIN_MASK) >> 1) | (control & 0x30u);
        if (offset < 32) return (HDCD_SYNC_WORD_A >> (31 - offset)) & 1u;
        if (offset < 40) return (payload >> (39 - offset)) & 1u;
        return 0;
    }
    if (offset < 32) return (HDCD_SYNC_WORD_B >> (31 - offset)) & 1u;
    if (offset < 40) return (control >> (39 - offset)) & 1u;
    if (offset < 48) return (~static_cast<uint32_t>(control) >> (47 - offset)) & 1u;
    return 0;
}

// r[n] = d[n] ^ r[n-5] ^ r[n-23]: what a detector descrambles back into d.
uint32_t scramble(uint32_t& history, uint32_t bit) {
    const uint32_t raw = bit ^ ((history >> 4) & 1u) ^ ((history >> 22) & 1u);
    history = (history << 1) | raw;
    return raw;
}

double noise(uint64_t& state) {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    const uint64_t value = state * 0x2545F4914F6CDD1Dull;
    return static_cast<double>(static_cast<int32_t>(value >> 32)) / 2147483648.0;
}

void start_chord(BenchSignal& signal, uint64_t frame) {
    const uint64_t note = frame / BENCH_SIGNAL_NOTE_FRAMES;
    const double* chord = CHORDS[note % 6];
    for (uint32_t t = 0; t < BENCH_SIGNAL_TONES; ++t) {
        const double step = TWO_PI * chord[t] / BENCH_SIGNAL_RATE;
        signal.step_cos[t] = std::cos(step);
        signal.step_sin[t] = std::sin(step);
        for (uint32_t c = 0; c < 2; ++c) {
            const double phase = 0.7 * (t + 1) * c + 0.3 * t;
            signal.osc_cos[c][t] = std::cos(phase);
            signal.osc_sin[c][t] = std::sin(phase);
        }
    }
    // Some chords swell a little louder than others.
    signal.envelope = 1.0 + 0.2 * std::sin(1.3 * static_cast<double>(note));
}

int32_t to_pcm16(double value, uint32_t raw_bit) {
    int32_t v = static_cast<int32_t>(value);
    v = v < -32768 ? -32768 : (v > 32767 ? 32767 : v);
    return static_cast<int32_t>((static_cast<uint32_t>(v) & ~1u) | raw_bit);
}

}  // namespace

void bench_signal_init(BenchSignal& signal, uint32_t variant) {
    signal = BenchSignal{};
    signal.variant = variant;
    signal.noise_state = 0x9E3779B97F4A7C15ull;
}

uint8_t bench_signal_control(uint64_t frame) {
    const uint32_t position = static_cast<uint32_t>(frame % BENCH_SIGNAL_PASSAGE_FRAMES);
    if (position < BENCH_SIGNAL_LOUD_FRAMES) return HDCD_CONTROL_PEAK_EXTEND;
    return static_cast<uint8_t>(2 + 2 * ((position - BENCH_SIGNAL_LOUD_FRAMES) / GAIN_STEP_FRAMES));
}

bool bench_signal_packet_is_type_a(uint64_t frame) {
    return (frame / BENCH_SIGNAL_PACKET_INTERVAL) % 2 == 0;
}

void bench_signal_fill(BenchSignal& signal, int32_t* samples, uint32_t frames) {
    for (uint32_t i = 0; i < frames; ++i) {
        const uint64_t frame = signal.next_frame + i;
        if (frame % BENCH_SIGNAL_NOTE_FRAMES == 0) start_chord(signal, frame);
        const bool loud = frame % BENCH_SIGNAL_PASSAGE_FRAMES < BENCH_SIGNAL_LOUD_FRAMES;
        const double level = (loud ? 1.0 : QUIET_LEVEL) * signal.envelope;
        for (uint32_t c = 0; c < 2; ++c) {
            double sum = NOISE_AMPLITUDE * noise(signal.noise_state);
            for (uint32_t t = 0; t < BENCH_SIGNAL_TONES; ++t) {
                sum += TONE_AMPLITUDE[t] * signal.osc_sin[c][t];
                const double cos_next = signal.osc_cos[c][t] * signal.step_cos[t] - signal.osc_sin[c][t] * signal.step_sin[t];
                signal.osc_sin[c][t] = signal.osc_sin[c][t] * signal.step_cos[t] + signal.osc_cos[c][t] * signal.step_sin[t];
                signal.osc_cos[c][t] = cos_next;
            }
            const uint32_t bit = packet_bit(frame, c == 0 ? 0 : BENCH_SIGNAL_RIGHT_DELAY, signal.variant);
            samples[2 * static_cast<size_t>(i) + c] = to_pcm16(level * sum, scramble(signal.scrambled[c], bit));
        }
        signal.envelope *= ENVELOPE_DECAY;
    }
    signal.next_frame += frames;
}
