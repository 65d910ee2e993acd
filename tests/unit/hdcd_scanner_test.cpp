#include <gtest/gtest.h>

#include "hdcd_test_support.h"

using namespace hdcd_test;

// Found at bit 8 with the same report, the command-line scan tests show, and
// nothing set below it until one sample, the last, has bit 3; at 20 bits only
// bit 0 is watched, where there is nothing.
TEST(HdcdScanner, WidenedToTwentyBitsIsNotLookedFor) {
    std::vector<int32_t> widened = lle_frames();
    for (int32_t& v : widened) v *= 256;
    EXPECT_EQ(scan(widened, 44100, 24).bit_position, 8);
    EXPECT_EQ(scan(widened, 44100, 20).hdcd_found, 0u);
    HdcdScanner scanner;
    hdcd_scanner_init(scanner, 44100, 24);
    hdcd_scanner_process(scanner, widened.data(), widened.size() / 2 - 3);
    EXPECT_FALSE(hdcd_scanner_bits_below(scanner, 8));
    widened.back() |= 8;
    hdcd_scanner_process(scanner, widened.data() + widened.size() - 6, 3);
    EXPECT_TRUE(hdcd_scanner_bits_below(scanner, 8));
    EXPECT_FALSE(hdcd_scanner_bits_below(scanner, 3));
}

TEST(HdcdScanner, MostPacketsWinAndTiesGoToTheLowerBit) {
    const Bits two = scramble(packet_b(0x02) + packet_b(0x02));
    const Bits one = scramble(packet_b(0x02) + zeros(48));
    const struct { int low_bit; const Bits* low; int high_bit; const Bits* high; int32_t expected; } cases[] = {
        {3, &two, 6, &two, 3}, {2, &one, 7, &two, 7}, {1, &two, 5, &one, 1}};
    for (const auto& c : cases) {
        std::vector<int32_t> samples;
        for (size_t n = 0; n < two.size(); ++n) {
            const int32_t v = static_cast<int32_t>((*c.low)[n] << c.low_bit | (*c.high)[n] << c.high_bit);
            samples.insert(samples.end(), {v | -4096, v});  // negative values are read by their bits
        }
        EXPECT_EQ(scan(samples, 44100, 24).bit_position, c.expected) << "bits " << c.low_bit << " and " << c.high_bit;
    }
}

// Left: code 8, refreshed; right: one packet with code 0 that lapses after
// 2 x 100 frames. The scanner counts only frames with both codes in force; the
// decoder also counts those after the right one lapsed, and keeps its target.
TEST(HdcdScanner, MismatchCountsOnlyWhileBothTimersRun) {
    Bits left = packet_b(0x08);
    for (int i = 0; i < 4; ++i) left += zeros(100) + packet_b(0x08);
    const std::vector<int32_t> samples = make_frames(scramble(left), scramble(packet_b(0) + zeros(left.size() - 48)));
    EXPECT_EQ(scan(samples, 100, 16).stereo_mismatch_samples, 200u);
    std::vector<int32_t> decoded = samples;
    HdcdDecoder decoder;
    hdcd_decoder_init(decoder, 100);
    hdcd_decoder_process(decoder, decoded.data(), decoded.size() / 2);
    EXPECT_EQ(decoder.stereo_mismatch_samples, left.size() - 47);
    EXPECT_EQ(decoder.gain_left, 0);
}
