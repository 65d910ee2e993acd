#include <gtest/gtest.h>

#include "hdcd_test_support.h"
#include "tools/lle_test_signal.h"

using namespace hdcd_test;

namespace {

std::vector<int32_t> lle_frames(uint64_t frames) {
    std::vector<int32_t> samples(2 * frames);
    LleTestSignal signal;
    lle_test_signal_init(signal);
    lle_test_signal_fill(signal, samples.data(), static_cast<uint32_t>(frames));
    return samples;
}

HdcdSummary scan(const std::vector<int32_t>& samples, uint32_t bits, uint32_t rate = 44100) {
    HdcdScanner scanner;
    hdcd_scanner_init(scanner, rate, bits);
    hdcd_scanner_process(scanner, samples.data(), samples.size() / 2);
    HdcdSummary summary;
    hdcd_scanner_summary(scanner, summary);
    return summary;
}

}  // namespace

TEST(HdcdScanner, WatchedPositionsFollowTheBitDepth) {
    const struct { uint32_t bits; uint32_t positions; } cases[] = {{16, 1}, {20, 1}, {21, 9}, {24, 9}, {32, 9}};
    for (const auto& c : cases) {
        HdcdScanner scanner;
        hdcd_scanner_init(scanner, 48000, c.bits);
        EXPECT_EQ(scanner.position_count, c.positions) << c.bits << " bits";
        EXPECT_EQ(scanner.positions[c.positions - 1].bit_shift, c.positions - 1);
        EXPECT_EQ(scanner.positions[c.positions - 1].right.detector.timer_reload, 96000u);
    }
}

TEST(HdcdScanner, WidenedPcm16IsFoundAtBitEightWithTheSameCounts) {
    const std::vector<int32_t> pcm16 = lle_frames(LLE_TEST_FRAMES);
    std::vector<int32_t> widened = pcm16;
    for (int32_t& v : widened) v *= 256;

    const HdcdSummary at_bit_0 = scan(pcm16, 16);
    const HdcdSummary at_bit_8 = scan(widened, 24);
    EXPECT_EQ(at_bit_0.bit_position, 0);
    EXPECT_EQ(at_bit_8.bit_position, 8);
    EXPECT_EQ(at_bit_0.valid_packets, 882u);
    EXPECT_EQ(at_bit_0.left_packets, 441u);
    EXPECT_EQ(at_bit_0.packet_type, HDCD_PACKET_TYPE_B);
    EXPECT_EQ(at_bit_0.max_gain_code, 8);
    EXPECT_EQ(at_bit_0.timer_expirations, 0u);
    HdcdSummary moved = at_bit_8;
    moved.bit_position = 0;
    EXPECT_EQ(std::memcmp(&moved, &at_bit_0, sizeof moved), 0);

    // The same stream at 20 bits is only watched at bit 0, where it is not.
    EXPECT_EQ(scan(widened, 20).hdcd_found, 0u);
}

TEST(HdcdScanner, BestPositionAndTies) {
    Bits two;
    append_packet_b(two, 0x02);
    append_packet_b(two, 0x02);
    Bits one;
    append_packet_b(one, 0x02);
    append_zeros(one, 48);
    const Bits raw_two = scramble(two);
    const Bits raw_one = scramble(one);

    struct Case { const char* name; int low_bit; const Bits* low; int high_bit; const Bits* high; int32_t expected; };
    const Case cases[] = {
        {"tie goes to the lower bit", 3, &raw_two, 6, &raw_two, 3},
        {"more packets win", 2, &raw_one, 7, &raw_two, 7},
        {"more packets win at the lower bit too", 1, &raw_two, 5, &raw_one, 1},
    };
    for (const Case& c : cases) {
        std::vector<int32_t> samples(2 * two.size());
        for (size_t n = 0; n < two.size(); ++n) {
            const int32_t v = static_cast<int32_t>(((*c.low)[n] << c.low_bit) | ((*c.high)[n] << c.high_bit));
            samples[2 * n] = v | -4096;  // negative values are read through their two's complement bits
            samples[2 * n + 1] = v;
        }
        EXPECT_EQ(scan(samples, 24).bit_position, c.expected) << c.name;
    }
}

TEST(HdcdScanner, NoValidPacketMeansNothingFoundEvenWithErrors) {
    Bits plain;
    append_packet_b(plain, 0x08, 0x08);
    append_packet_a(plain, 0x80);
    const Bits raw = scramble(plain);
    const HdcdSummary summary = scan(make_frames(raw, raw), 24);
    EXPECT_EQ(summary.hdcd_found, 0u);
    EXPECT_EQ(summary.bit_position, -1);
    EXPECT_EQ(summary.packet_errors, 0u);

    // -1 has every bit set: no sync can form at any position.
    const std::vector<int32_t> minus_one(2 * 5000, -1);
    EXPECT_EQ(scan(minus_one, 24).bit_position, -1);
}

TEST(HdcdScanner, MismatchCountsOnlyWhileBothTimersRun) {
    // Left: code 8, refreshed; right: one packet with code 0 that lapses after
    // 2 x 100 frames. The scanner counts only the frames with both in force;
    // the decoder also counts those after the right one lapsed (code 0 vs 8).
    Bits left;
    Bits right;
    append_packet_b(left, 0x08);
    append_packet_b(right, 0x00);
    for (int i = 0; i < 4; ++i) {
        append_zeros(left, 100);
        append_packet_b(left, 0x08);
    }
    append_zeros(right, left.size() - right.size());
    const std::vector<int32_t> samples = make_frames(scramble(left), scramble(right));

    HdcdScanner scanner;
    hdcd_scanner_init(scanner, 100, 16);
    hdcd_scanner_process(scanner, samples.data(), samples.size() / 2);
    EXPECT_EQ(scanner.positions[0].stereo_mismatch_samples, 200u);

    std::vector<int32_t> decoded = samples;
    HdcdDecoder decoder;
    hdcd_decoder_init(decoder, 100);
    hdcd_decoder_process(decoder, decoded.data(), decoded.size() / 2);
    EXPECT_EQ(decoder.stereo_mismatch_samples, left.size() - 47);
}
