// The decoder and scanner work on 64-bit words of signalling bits and advance
// the timers over whole spans; these tests hold them against the frame-by-frame
// loop built on hdcd_detector_push_bit and hdcd_channel_tick, on long varied
// streams cut into blocks of many sizes.
#include <gtest/gtest.h>

#include <random>

#include "hdcd_test_support.h"

using namespace hdcd_test;

namespace {

// Descrambled signalling with everything a stream can throw at a detector:
// noise, silence long enough for the timer to run out, valid and invalid
// packets of both types, packets back to back and sync words inside payloads.
Bits random_plain_stream(std::mt19937& rng, size_t length, uint32_t silence_max) {
    Bits bits;
    while (bits.size() < length) {
        const uint32_t kind = rng() % 9;
        const uint8_t byte = static_cast<uint8_t>(rng());
        switch (kind) {
            case 0: {
                const uint32_t count = 1 + rng() % 200;
                for (uint32_t i = 0; i < count; ++i) bits.push_back(rng() & 1u);
                break;
            }
            case 1: append_zeros(bits, 1 + rng() % silence_max); break;
            case 2: append_packet_a(bits, static_cast<uint8_t>(byte & ~0xC8u)); break;
            case 3: append_packet_a(bits, byte); break;
            case 4: append_packet_b(bits, byte); break;
            case 5: append_packet_b(bits, byte, static_cast<uint8_t>(rng())); break;
            case 6:
                // A sync word right after another: its bits are payload, not a sync.
                append_bits(bits, HDCD_SYNC_WORD_B, 32);
                append_packet_a(bits, static_cast<uint8_t>(byte & 0x37u));
                break;
            case 7:
                for (int i = 0; i < 4; ++i) append_packet_b(bits, static_cast<uint8_t>(byte + i * 17));
                break;
            default: append_zeros(bits, rng() % 40); break;
        }
    }
    bits.resize(length);
    return bits;
}

enum class Pairing { Independent, Identical, Delayed };

struct StreamCase {
    const char* name;
    Pairing pairing;
    uint32_t sample_rate;   // the timer runs for 2 x sample_rate frames
    uint32_t silence_max;
};

const StreamCase STREAM_CASES[] = {
    {"independent channels, short timer", Pairing::Independent, 300, 2500},
    {"identical channels, short timer", Pairing::Identical, 300, 2500},
    {"right delayed, short timer", Pairing::Delayed, 700, 3000},
    {"identical channels, 44.1 kHz timer", Pairing::Identical, 44100, 5000},
    {"timer of one frame", Pairing::Independent, 1, 50},  // 2 frames: expiries everywhere
    {"timer never loaded", Pairing::Identical, 0, 100},   // reload 0: the control byte never lapses
};

std::vector<int32_t> make_case_frames(const StreamCase& c, uint32_t seed, size_t frames) {
    std::mt19937 rng(seed);
    const Bits left = random_plain_stream(rng, frames, c.silence_max);
    Bits right;
    switch (c.pairing) {
        case Pairing::Independent: right = random_plain_stream(rng, frames, c.silence_max); break;
        case Pairing::Identical: right = left; break;
        case Pairing::Delayed:
            right.assign(37, 0u);
            right.insert(right.end(), left.begin(), left.end() - 37);
            break;
    }
    // Audio across the whole PCM16 range, with a good share of values beyond
    // the Peak Extend threshold and the two extremes.
    std::mt19937 audio_rng(seed * 7 + 1);
    return make_frames(scramble(left), scramble(right), [&](size_t, int32_t& l, int32_t& r) {
        for (int32_t* v : {&l, &r}) {
            switch (audio_rng() % 6) {
                case 0: *v = -32768; break;
                case 1: *v = 32767; break;
                case 2: *v = static_cast<int32_t>(audio_rng() % 65536) - 32768; break;
                default: *v = static_cast<int32_t>(audio_rng() % 4001) - 2000; break;
            }
        }
    });
}

// Block sizes to cut a stream into: one, tiny, around the word size, large,
// and an uneven mix.
std::vector<std::vector<uint64_t>> block_plans(uint32_t seed) {
    std::vector<std::vector<uint64_t>> plans = {{1}, {7}, {63, 64, 65}, {16384}, {}};
    std::mt19937 rng(seed);
    for (int i = 0; i < 40; ++i) plans.back().push_back(1 + rng() % 5000);
    return plans;
}

}  // namespace

TEST(HdcdWordwiseEquivalence, DecoderMatchesFrameByFrameLoop) {
    const size_t frames = 60000;
    uint32_t seed = 11;
    for (const StreamCase& c : STREAM_CASES) {
        const std::vector<int32_t> input = make_case_frames(c, seed, frames);
        std::vector<int32_t> expected = input;
        HdcdDecoder reference;
        hdcd_decoder_init(reference, c.sample_rate);

        for (const std::vector<uint64_t>& plan : block_plans(seed)) {
            SCOPED_TRACE(std::string(c.name) + ", first block " + std::to_string(plan.front()));
            hdcd_decoder_init(reference, c.sample_rate);
            expected = input;
            std::vector<int32_t> actual = input;
            HdcdDecoder decoder;
            hdcd_decoder_init(decoder, c.sample_rate);
            size_t done = 0;
            for (size_t block = 0; done < frames; ++block) {
                const uint64_t size = std::min<uint64_t>(plan[block % plan.size()], frames - done);
                reference_decode(reference, expected.data() + 2 * done, size);
                hdcd_decoder_process(decoder, actual.data() + 2 * done, size);
                done += size;
                ASSERT_EQ(decoder_difference(decoder, reference), "") << "after frame " << done;
            }
            ASSERT_EQ(actual, expected);
        }
        // The streams must really exercise the paths being compared.
        EXPECT_GT(reference.left.detector.packets_a + reference.left.detector.packets_b, 50) << c.name;
        EXPECT_GT(reference.left.detector.packet_errors, 10) << c.name;
        if (c.sample_rate > 1 && c.sample_rate < 1000) {
            EXPECT_GT(reference.left.detector.timer_expirations, 3) << c.name;
        }
        if (c.pairing == Pairing::Identical) {
            EXPECT_GT(reference.gain_adjusted_samples, 1000u) << c.name;
        }
        EXPECT_GT(reference.peak_expanded_samples, 100u) << c.name;
        seed += 1;
    }
}

TEST(HdcdWordwiseEquivalence, ScannerMatchesFrameByFrameLoopAtEveryPosition) {
    const size_t frames = 40000;
    uint32_t seed = 101;
    for (const uint32_t bits_per_sample : {16u, 24u}) {
        for (const StreamCase& c : STREAM_CASES) {
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(bits_per_sample) + " bits");
            // Each of the nine low bits of a 24-bit sample carries its own stream.
            std::vector<int32_t> samples(2 * frames, 0);
            const uint32_t positions = bits_per_sample > 20 ? 9 : 1;
            for (uint32_t k = 0; k < positions; ++k) {
                const std::vector<int32_t> layer = make_case_frames(c, seed + k * 1000, frames);
                for (size_t i = 0; i < samples.size(); ++i) {
                    samples[i] |= static_cast<int32_t>((static_cast<uint32_t>(layer[i]) & 1u) << k);
                }
            }
            std::mt19937 rng(seed);
            for (int32_t& v : samples) {  // sign-extended 24-bit values above the watched bits
                const int32_t high = static_cast<int32_t>(rng() % 16384) - 8192;
                v = (bits_per_sample > 20 ? high * 512 : high * 2) | v;
            }
            for (const std::vector<uint64_t>& plan : block_plans(seed)) {
                HdcdScanner reference;
                HdcdScanner scanner;
                hdcd_scanner_init(reference, c.sample_rate, bits_per_sample);
                hdcd_scanner_init(scanner, c.sample_rate, bits_per_sample);
                size_t done = 0;
                for (size_t block = 0; done < frames; ++block) {
                    const uint64_t size = std::min<uint64_t>(plan[block % plan.size()], frames - done);
                    reference_scan(reference, samples.data() + 2 * done, size);
                    hdcd_scanner_process(scanner, samples.data() + 2 * done, size);
                    done += size;
                    ASSERT_EQ(scanner_difference(scanner, reference), "") << "after frame " << done;
                }
            }
            seed += 1;
        }
    }
}
