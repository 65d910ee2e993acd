// The benchmark audio must exercise what the decoder does on real HDCD
// releases; if it stopped carrying valid packets, Peak Extend or gain changes,
// the benchmark would time a different, cheaper path without anyone noticing.
#include <gtest/gtest.h>

#include <vector>

#include "bench_signal.h"
#include "hdcd/hdcd_decoder.h"
#include "hdcd/hdcd_scanner.h"

namespace {

// One loud and one quiet passage, and a little of the next.
constexpr uint64_t FRAMES = BENCH_SIGNAL_PASSAGE_FRAMES + 5 * BENCH_SIGNAL_PACKET_INTERVAL;

std::vector<int32_t> generate(uint64_t frames, uint32_t block) {
    std::vector<int32_t> samples(2 * frames);
    BenchSignal signal;
    bench_signal_init(signal);
    for (uint64_t done = 0; done < frames;) {
        const uint32_t count = frames - done < block ? static_cast<uint32_t>(frames - done) : block;
        bench_signal_fill(signal, samples.data() + 2 * done, count);
        done += count;
    }
    return samples;
}

const std::vector<int32_t>& pcm16() {
    static const std::vector<int32_t> samples = generate(FRAMES, 16384);
    return samples;
}

HdcdSummary scan(const std::vector<int32_t>& samples, uint32_t bits) {
    HdcdScanner scanner;
    hdcd_scanner_init(scanner, BENCH_SIGNAL_RATE, bits);
    hdcd_scanner_process(scanner, samples.data(), samples.size() / 2);
    HdcdSummary summary;
    hdcd_scanner_summary(scanner, summary);
    return summary;
}

}  // namespace

TEST(BenchSignal, BlockSizeDoesNotChangeTheStream) {
    // Chord restarts, scrambler history and noise must carry across blocks.
    for (uint32_t block : {1u, 997u, 88200u, 1u << 20}) {
        EXPECT_TRUE(generate(FRAMES, block) == pcm16()) << "block of " << block << " frames";
    }
}

TEST(BenchSignal, CarriesEveryPacketValidInBothTypes) {
    const HdcdSummary summary = scan(pcm16(), 16);
    // Packets start at frame 0 (left) and frame 97 (right), one per interval.
    const uint32_t per_channel = static_cast<uint32_t>((FRAMES - BENCH_SIGNAL_RIGHT_DELAY - 48) /
                                                       BENCH_SIGNAL_PACKET_INTERVAL) + 1;
    EXPECT_EQ(summary.hdcd_found, 1u);
    EXPECT_EQ(summary.left_packets, per_channel);
    EXPECT_EQ(summary.right_packets, per_channel);
    EXPECT_EQ(summary.packet_errors, 0u);
    EXPECT_EQ(summary.packet_type, HDCD_PACKET_TYPE_MIXED);
    EXPECT_EQ(summary.peak_extend_mode, HDCD_PEAK_EXTEND_INTERMITTENT);
    EXPECT_EQ(summary.max_gain_code, 8);
    EXPECT_EQ(summary.timer_expirations, 0u);
}

TEST(BenchSignal, DecodingUsesPeakExtendAndLowLevelGain) {
    std::vector<int32_t> samples = pcm16();
    HdcdDecoder decoder;
    hdcd_decoder_init(decoder, BENCH_SIGNAL_RATE);
    hdcd_decoder_process(decoder, samples.data(), FRAMES);
    // Peaks of the loud passages reach into the Peak Extend range.
    EXPECT_GT(decoder.peak_expanded_samples, FRAMES / 100);
    // The whole quiet passage is attenuated in both channels.
    EXPECT_GT(decoder.gain_adjusted_samples, 2ull * (BENCH_SIGNAL_PASSAGE_FRAMES - BENCH_SIGNAL_LOUD_FRAMES) - 4000);
    // The right channel's packets lag, so gain changes disagree briefly.
    EXPECT_GT(decoder.stereo_mismatch_samples, 0u);
    EXPECT_LT(decoder.stereo_mismatch_samples, 20ull * BENCH_SIGNAL_RIGHT_DELAY);
}

TEST(BenchSignal, WidenedCopyIsFoundAtBitEight) {
    std::vector<int32_t> wide = pcm16();
    for (int32_t& v : wide) v = static_cast<int32_t>(static_cast<uint32_t>(v) << 8);
    const HdcdSummary narrow = scan(pcm16(), 16);
    const HdcdSummary widened = scan(wide, 24);
    EXPECT_EQ(widened.bit_position, 8);
    EXPECT_EQ(widened.valid_packets, narrow.valid_packets);
}
