#include <gtest/gtest.h>

#include "hdcd/hdcd_summary.h"
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

// Decoded frame by frame against the known gain trajectory, output and report;
// then cut into other blocks, which must change nothing.
TEST(HdcdDecoder, SyntheticLowLevelGainSignal) {
    const std::vector<int32_t> input = lle_frames();
    std::vector<int32_t> samples = input;
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
    EXPECT_EQ(samples[0], 0);
    EXPECT_EQ(samples[1], 104923136);
    EXPECT_EQ(samples[2 * 44303], -209260615);
    EXPECT_EQ(samples[2 * 44303 + 1], -263172490);
    EXPECT_EQ(decoder.peak_expanded_samples, 0u);
    EXPECT_EQ(decoder.gain_adjusted_samples, 442126u);
    EXPECT_EQ(decoder.stereo_mismatch_samples, 0u);

    HdcdSummary summary;
    hdcd_decoder_summary(decoder, summary);
    testing::internal::CaptureStdout();
    hdcd_summary_print(summary);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nHDCD detected: Yes\nPacket type: B\nValid packets: 882\n  Left:  441\n  Right: 441\n"
              "Packet errors: 0\nPeak Extend: Never\nPeak Extend packets: 0\nTransient Filter: Not detected\n"
              "Maximum target gain adjustment: -4.0 dB\nCode-detect timer expirations: 0\n"
              "Stereo gain mismatch samples: 0\nHDCD processing: Active\n");

    const std::vector<std::vector<uint64_t>> plans = {{LLE_TEST_FRAMES}, {7}, {16384}, {1000, 0, 3, 65, 12345}};
    for (const std::vector<uint64_t>& plan : plans) {
        std::vector<int32_t> split = input;
        HdcdDecoder other;
        hdcd_decoder_init(other, LLE_TEST_SAMPLE_RATE);
        for (uint64_t done = 0, i = 0; done < LLE_TEST_FRAMES; ++i) {
            const uint64_t size = std::min<uint64_t>(plan[i % plan.size()], LLE_TEST_FRAMES - done);
            hdcd_decoder_process(other, split.data() + 2 * done, size);
            done += size;
        }
        EXPECT_TRUE(same(other, decoder)) << "first block " << plan.front();
        EXPECT_TRUE(split == samples) << "first block " << plan.front();
    }
}
