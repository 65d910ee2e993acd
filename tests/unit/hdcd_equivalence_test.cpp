// The word-wise decoder (decoding, or only following) and scanner must match
// the frame-by-frame loops on long varied streams cut into blocks of many sizes.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "hdcd_test_support.h"

using namespace hdcd_test;

namespace {

// Noise, silence long enough for the timer to run out, valid and invalid
// packets of both types, packets back to back and sync words inside payloads.
Bits random_plain_stream(std::mt19937& rng, size_t length, uint32_t silence_max) {
    Bits bits;
    while (bits.size() < length) {
        const uint8_t byte = static_cast<uint8_t>(rng()), kind = rng() % 9;
        bits += kind == 0   ? word(rng(), 1 + rng() % 32)
                : kind == 1 ? zeros(1 + rng() % silence_max)
                : kind == 2 ? packet_a(byte & ~0xC8u)
                : kind == 3 ? packet_a(byte)
                : kind == 4 ? packet_b(byte)
                : kind == 5 ? packet_b(byte, static_cast<uint8_t>(rng()))
                : kind == 6 ? word(SYNC_B, 32) + packet_a(byte & 0x37u)
                : kind == 7 ? packet_b(byte) + packet_b(byte + 17) + packet_b(byte + 34) + packet_b(byte + 51)
                            : zeros(rng() % 40);
    }
    bits.resize(length);
    return bits;
}

enum Pairing { INDEPENDENT, IDENTICAL, DELAYED };

// The timer runs for 2 x sample_rate frames.
const struct StreamCase { const char* name; Pairing pairing; uint32_t sample_rate, silence_max; } STREAM_CASES[] = {
    {"independent channels, short timer", INDEPENDENT, 300, 2500},
    {"identical channels, short timer", IDENTICAL, 300, 2500},
    {"right delayed, short timer", DELAYED, 700, 3000},
    {"identical channels, 44.1 kHz timer", IDENTICAL, 44100, 5000},
    {"timer of two frames", INDEPENDENT, 1, 50},
    {"timer never loaded", IDENTICAL, 0, 100},
};

// Signalling over audio across the PCM16 range, much of it beyond the Peak
// Extend threshold.
std::vector<int32_t> make_case_frames(const StreamCase& c, uint32_t seed, size_t frames) {
    std::mt19937 rng(seed);
    const Bits left = random_plain_stream(rng, frames, c.silence_max);
    Bits right = c.pairing == INDEPENDENT ? random_plain_stream(rng, frames, c.silence_max) : left;
    if (c.pairing == DELAYED) right = zeros(37) + Bits(left.begin(), left.end() - 37);
    return make_frames(scramble(left), scramble(right), [&rng](size_t, int32_t& l, int32_t& r) {
        for (int32_t* v : {&l, &r}) {
            const uint32_t kind = rng() % 6;
            *v = kind == 0 ? -32768 : kind == 1 ? 32767 : static_cast<int32_t>(rng() % 65536) - 32768;
            if (kind > 2) *v /= 16;
        }
    });
}

// Calls step(start, size) over `frames` cut as each plan says, one frame, tiny,
// around the word size, large, and an uneven mix, until a fatal failure.
template <typename Start, typename Step>
void for_each_plan(uint64_t frames, uint32_t seed, Start start, Step step) {
    std::vector<std::vector<uint64_t>> plans = {{1}, {7}, {63, 64, 65}, {16384}, std::vector<uint64_t>(40)};
    std::mt19937 rng(seed);
    for (uint64_t& size : plans.back()) size = 1 + rng() % 5000;
    for (const std::vector<uint64_t>& plan : plans) {
        SCOPED_TRACE("first block " + std::to_string(plan.front()));
        start();
        for (uint64_t done = 0, i = 0; done < frames && !testing::Test::HasFatalFailure(); ++i) {
            const uint64_t size = std::min<uint64_t>(plan[i % plan.size()], frames - done);
            step(done, size);
            done += size;
        }
    }
}

}  // namespace

TEST(HdcdWordwiseEquivalence, DecoderMatchesFrameByFrameLoop) {
    const size_t frames = 60000;
    uint32_t seed = 11;
    for (const StreamCase& c : STREAM_CASES) {
        SCOPED_TRACE(c.name);
        const std::vector<int32_t> input = make_case_frames(c, ++seed, frames);
        std::vector<int32_t> expected, actual;
        HdcdDecoder reference, decoder, follower;
        const auto start = [&] {
            hdcd_decoder_init(decoder, c.sample_rate);
            hdcd_decoder_init(reference, c.sample_rate);
            hdcd_decoder_init(follower, c.sample_rate);
            expected = actual = input;
        };
        for_each_plan(frames, seed, start, [&](uint64_t at, uint64_t size) {
            reference_decode(reference, expected.data() + 2 * at, size);
            hdcd_decoder_process(decoder, actual.data() + 2 * at, size);
            hdcd_decoder_follow(follower, input.data() + 2 * at, size);
            ASSERT_TRUE(same(decoder, reference)) << "after frame " << at + size;
            ASSERT_TRUE(same(follower, reference)) << "followed, after frame " << at + size;
            const int32_t* x = actual.data() + 2 * at;
            ASSERT_TRUE(std::equal(x, x + 2 * size, expected.data() + 2 * at)) << "samples from frame " << at;
        });
        // The streams must really exercise the paths being compared.
        const HdcdDetector& d = reference.left.detector;
        EXPECT_TRUE(d.packets_a + d.packets_b > 50 && d.packet_errors > 10);
        EXPECT_TRUE(c.sample_rate < 2 || c.sample_rate > 1000 || d.timer_expirations > 3);
        EXPECT_TRUE(c.pairing != IDENTICAL || reference.gain_adjusted_samples > 1000);
        EXPECT_GT(reference.peak_expanded_samples, 100u);
    }
}

TEST(HdcdWordwiseEquivalence, ScannerMatchesFrameByFrameLoopAtEveryPosition) {
    const size_t frames = 40000;
    uint32_t seed = 101;
    for (const uint32_t bits_per_sample : {16u, 24u}) {
        for (const StreamCase& c : STREAM_CASES) {
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(bits_per_sample) + " bits");
            // Each watched bit carries its own stream, under random high bits.
            const uint32_t positions = bits_per_sample > 20 ? 9 : 1;
            std::vector<int32_t> samples(2 * frames, 0);
            for (uint32_t k = 0; k < positions; ++k) {
                const std::vector<int32_t> layer = make_case_frames(c, ++seed * 1000, frames);
                for (size_t i = 0; i < samples.size(); ++i) samples[i] |= (layer[i] & 1) << k;
            }
            std::mt19937 rng(seed);
            for (int32_t& v : samples) v |= (static_cast<int32_t>(rng() % 16384) - 8192) * (1 << positions);
            HdcdScanner reference, scanner;
            const auto start = [&] {
                hdcd_scanner_init(reference, c.sample_rate, bits_per_sample);
                hdcd_scanner_init(scanner, c.sample_rate, bits_per_sample);
            };
            for_each_plan(frames, seed, start, [&](uint64_t at, uint64_t size) {
                reference_scan(reference, samples.data() + 2 * at, size);
                hdcd_scanner_process(scanner, samples.data() + 2 * at, size);
                ASSERT_TRUE(same(scanner, reference)) << "after frame " << at + size;
            });
        }
    }
}
