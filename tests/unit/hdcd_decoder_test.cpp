#include <gtest/gtest.h>

#include "hdcd_test_support.h"

using namespace hdcd_test;

TEST(HdcdDecoder, PeakExtendMapping) {
    // Beyond PCM16 (40000): the nearest PCM16 value, not a wrap or the -32768 entry.
    const struct { int32_t in, out; bool counted; } cases[] = {
        {22912, 22912 * 32768, false}, {-22912, -22912 * 32768, false}, {22913, 0x2CC08300, true},
        {-22913, -0x2CC08300, true},   {32767, 0x7FF38000, true},       {-32767, -0x7FF38000, true},
        {-32768, INT32_MIN, true},     {40000, 0x7FF38000, true},       {-40000, INT32_MIN, true},
    };
    for (const auto& c : cases) {
        uint64_t counted = 0;
        EXPECT_EQ(hdcd_peak_extend_transfer(c.in, counted), c.out) << "input " << c.in;
        EXPECT_EQ(counted, c.counted ? 1u : 0u) << "input " << c.in;
    }
}

// Decoded frame by frame against the known gain trajectory. Other block sizes
// are the equivalence tests' concern; the report and totals, the command line's.
TEST(HdcdDecoder, SyntheticLowLevelGainSignal) {
    std::vector<int32_t> samples = lle_frames();
    const struct Stretch { uint64_t first, last; int32_t index; } trajectory[] = {
        {0, 44302, 0}, {44303, 44303, 1}, {45326, 177302, 1024}, {177303, 177303, 1016},
        {177366, 265302, 512}, {265303, 265303, 504}, {265366, LLE_TEST_FRAMES - 1, 0}};
    HdcdDecoder decoder;
    hdcd_decoder_init(decoder, LLE_TEST_SAMPLE_RATE);
    const Stretch* stretch = trajectory;
    for (uint64_t n = 0; n < LLE_TEST_FRAMES; ++n) {
        hdcd_decoder_process(decoder, samples.data() + 2 * n, 1);
        if (n > stretch->last) ++stretch;
        if (n >= stretch->first) {
            ASSERT_EQ(decoder.gain_left, stretch->index) << "frame " << n;
            ASSERT_EQ(decoder.gain_right, stretch->index) << "frame " << n;
        }
    }
    EXPECT_EQ(samples[1], 104923136);
    EXPECT_EQ(samples[2 * 44303], -209260615);
}
