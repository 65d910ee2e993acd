#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "hdcd_test_support.h"
#include "tools/lle_test_signal.h"

using namespace hdcd_test;

namespace {

// The synthetic Low-Level Gain test signal, all 441000 frames.
std::vector<int32_t> lle_frames() {
    std::vector<int32_t> samples(2 * LLE_TEST_FRAMES);
    LleTestSignal signal;
    lle_test_signal_init(signal);
    for (uint64_t done = 0; done < LLE_TEST_FRAMES;) {
        const uint32_t block = static_cast<uint32_t>(std::min<uint64_t>(16384, LLE_TEST_FRAMES - done));
        lle_test_signal_fill(signal, samples.data() + 2 * done, block);
        done += block;
    }
    return samples;
}

// A stereo stream with the same packet in both channels, ending in frame
// `lead` + 48 - 1, followed by `tail` frames of the given audio value.
std::vector<int32_t> stream_with_control(uint8_t control, size_t lead, size_t tail, int32_t value) {
    Bits plain;
    append_zeros(plain, lead);
    append_packet_b(plain, control);
    append_zeros(plain, tail);
    const Bits raw = scramble(plain);
    return make_frames(raw, raw, [&](size_t, int32_t& l, int32_t& r) { l = r = value; });
}

}  // namespace

TEST(HdcdDecoder, WithoutSignallingEveryValueIsScaledOnly) {
    std::vector<int32_t> samples;
    for (int32_t v : {0, 1, -1, 22912, 22913, 32767, -32768, -12345}) {
        samples.push_back(v);
        samples.push_back(-v / 2);
    }
    const std::vector<int32_t> input = samples;
    HdcdDecoder decoder;
    hdcd_decoder_init(decoder, 44100);
    hdcd_decoder_process(decoder, samples.data(), input.size() / 2);
    for (size_t i = 0; i < input.size(); ++i) EXPECT_EQ(samples[i], input[i] * 32768);
    EXPECT_EQ(decoder.peak_expanded_samples + decoder.gain_adjusted_samples + decoder.stereo_mismatch_samples, 0u);
    HdcdSummary summary;
    hdcd_decoder_summary(decoder, summary);
    EXPECT_EQ(summary.hdcd_found, 0u);
    EXPECT_EQ(summary.bit_position, -1);
}

TEST(HdcdDecoder, PeakExtendMapping) {
    const struct { int32_t in; int32_t out; bool counted; } cases[] = {
        {22912, 750780416, false},
        {-22912, -750780416, false},
        {22913, 0x2CC08300, true},
        {-22913, -0x2CC08300, true},
        {32767, 0x7FF38000, true},
        {-32767, -0x7FF38000, true},
        {-32768, INT32_MIN, true},
        {0, 0, false},
        // Out of the PCM16 range: taken as the nearest PCM16 value rather than
        // wrapping or reading the -32768 entry for a positive input.
        {40000, 0x7FF38000, true},
        {-40000, INT32_MIN, true},
    };
    for (const auto& c : cases) {
        uint64_t counted = 0;
        EXPECT_EQ(hdcd_peak_extend_transfer(c.in, counted), c.out) << "input " << c.in;
        EXPECT_EQ(counted, c.counted ? 1u : 0u) << "input " << c.in;
    }
    EXPECT_EQ(hdcd_plain_transfer(40000), 32767 * 32768);
    EXPECT_EQ(hdcd_plain_transfer(-40000), -32768 * 32768);
    EXPECT_EQ(hdcd_apply_gain(0x40000000, 1920), 452793088);
    EXPECT_EQ(hdcd_apply_gain(-1, 1), -1);  // rounds toward minus infinity

    // Through the decoder: the frame that completes the packet is already
    // decoded with Peak Extend.
    std::vector<int32_t> samples = stream_with_control(0x10, 5, 3, 32766);
    const std::vector<int32_t> input = samples;  // bit 0 carries the signalling
    HdcdDecoder decoder;
    hdcd_decoder_init(decoder, 44100);
    hdcd_decoder_process(decoder, samples.data(), samples.size() / 2);
    const size_t completed = 5 + 47;
    uint64_t unused = 0;
    EXPECT_EQ(samples[2 * (completed - 1)], input[2 * (completed - 1)] * 32768);
    EXPECT_EQ(samples[2 * completed], hdcd_peak_extend_transfer(input[2 * completed], unused));
    EXPECT_EQ(samples[2 * completed + 1], hdcd_peak_extend_transfer(input[2 * completed + 1], unused));
    EXPECT_GT(samples[2 * completed], 0x7FE00000);
    EXPECT_EQ(decoder.peak_expanded_samples, 2u * 4);
}

TEST(HdcdDecoder, GainRampTimings) {
    struct Case {
        const char* name;
        uint8_t first;
        uint8_t second;
        int32_t start_index;  // after the first control byte has settled
        int32_t end_index;
        uint32_t frames;      // from the frame completing the second packet to the end index
    };
    const Case cases[] = {
        {"0 dB to code 8", 0x00, 0x08, 0, 1024, 1024},
        {"code 8 back to 0 dB", 0x08, 0x00, 1024, 0, 128},
        {"0 dB to code 15", 0x00, 0x0F, 0, 1920, 1920},
        {"code 15 back to 0 dB", 0x0F, 0x00, 1920, 0, 240},
        {"code 8 to code 15", 0x08, 0x0F, 1024, 1920, 896},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bits plain;
        append_packet_b(plain, c.first);
        append_zeros(plain, 3000);
        append_packet_b(plain, c.second);
        const size_t second_done = plain.size() - 1;
        append_zeros(plain, 3000);
        const Bits raw = scramble(plain);
        std::vector<int32_t> samples = make_frames(raw, raw);
        HdcdDecoder decoder;
        hdcd_decoder_init(decoder, 44100);
        hdcd_decoder_process(decoder, samples.data(), second_done);
        EXPECT_EQ(decoder.gain_left, c.start_index);
        hdcd_decoder_process(decoder, samples.data() + 2 * second_done, c.frames - 1);
        EXPECT_NE(decoder.gain_left, c.end_index);
        hdcd_decoder_process(decoder, samples.data() + 2 * (second_done + c.frames - 1), 1);
        EXPECT_EQ(decoder.gain_left, c.end_index);
        EXPECT_EQ(decoder.gain_right, c.end_index);
    }

    // From index 5 toward 0 the gain goes straight to 0, not below.
    HdcdDecoder decoder;
    hdcd_decoder_init(decoder, 44100);
    decoder.gain_left = decoder.gain_right = 5;
    int32_t frame[2] = {1000, 1000};
    hdcd_decoder_process(decoder, frame, 1);
    EXPECT_EQ(decoder.gain_left, 0);
    EXPECT_EQ(frame[0], 1000 * 32768);
    EXPECT_EQ(decoder.gain_adjusted_samples, 0u);
}

TEST(HdcdDecoder, DifferingGainCodesHoldTheTargetAndCountMismatches) {
    Bits both;
    append_packet_b(both, 0x04);
    append_zeros(both, 1000);
    Bits left = both;
    Bits right = both;
    append_packet_b(left, 0x08);  // right keeps code 4 in force
    append_zeros(right, 48);
    const size_t changed = left.size() - 1;
    append_zeros(left, 500);
    append_zeros(right, 500);
    std::vector<int32_t> samples = make_frames(scramble(left), scramble(right));
    HdcdDecoder decoder;
    hdcd_decoder_init(decoder, 44100);
    hdcd_decoder_process(decoder, samples.data(), samples.size() / 2);
    EXPECT_EQ(decoder.stereo_mismatch_samples, left.size() - changed);
    EXPECT_EQ(decoder.gain_target, 4 * 128);
    EXPECT_EQ(decoder.gain_left, 512);
    // Non-zero gain indexes count two samples per frame, at the target too.
    EXPECT_EQ(decoder.gain_adjusted_samples, 2u * (left.size() - 47));
}

TEST(HdcdDecoder, SyntheticLowLevelGainSignal) {
    std::vector<int32_t> samples = lle_frames();
    EXPECT_EQ(samples[0], 0);
    EXPECT_EQ(samples[1], 3202);
    EXPECT_EQ(samples[2], 1698);
    EXPECT_EQ(samples[5], 5876);
    EXPECT_EQ(samples[2 * 44303], -6389);
    EXPECT_EQ(samples[2 * 44303 + 1], -8035);

    // Frame by frame, following the gain index of both channels.
    struct Stretch { uint64_t first; uint64_t last; int32_t index; };
    const Stretch trajectory[] = {
        {0, 44302, 0}, {44303, 44303, 1}, {45326, 177302, 1024}, {177303, 177303, 1016},
        {177366, 265302, 512}, {265303, 265303, 504}, {265366, LLE_TEST_FRAMES - 1, 0},
    };
    HdcdDecoder decoder;
    hdcd_decoder_init(decoder, LLE_TEST_SAMPLE_RATE);
    size_t stretch = 0;
    for (uint64_t n = 0; n < LLE_TEST_FRAMES; ++n) {
        hdcd_decoder_process(decoder, samples.data() + 2 * n, 1);
        while (stretch < std::size(trajectory) && n > trajectory[stretch].last) ++stretch;
        if (stretch < std::size(trajectory) && n >= trajectory[stretch].first) {
            ASSERT_EQ(decoder.gain_left, trajectory[stretch].index) << "frame " << n;
            ASSERT_EQ(decoder.gain_right, trajectory[stretch].index) << "frame " << n;
        }
    }
    EXPECT_EQ(samples[0], 0);
    EXPECT_EQ(samples[1], 104923136);
    EXPECT_EQ(samples[2 * 44303], -209260615);
    EXPECT_EQ(samples[2 * 44303 + 1], -263172490);
    EXPECT_EQ(samples[2 * 44303] >> 8, -817425);
    EXPECT_EQ(decoder.peak_expanded_samples, 0u);
    EXPECT_EQ(decoder.gain_adjusted_samples, 442126u);
    EXPECT_EQ(decoder.stereo_mismatch_samples, 0u);
    EXPECT_EQ(decoder.frames_processed, LLE_TEST_FRAMES);

    HdcdSummary summary;
    hdcd_decoder_summary(decoder, summary);
    testing::internal::CaptureStdout();
    hdcd_summary_print(summary);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nHDCD detected: Yes\n"
              "Packet type: B\n"
              "Valid packets: 882\n"
              "  Left:  441\n"
              "  Right: 441\n"
              "Packet errors: 0\n"
              "Peak Extend: Never\n"
              "Peak Extend packets: 0\n"
              "Transient Filter: Not detected\n"
              "Maximum target gain adjustment: -4.0 dB\n"
              "Code-detect timer expirations: 0\n"
              "Stereo gain mismatch samples: 0\n"
              "HDCD processing: Active\n");
}

TEST(HdcdDecoder, BlockSizesDoNotChangeTheResult) {
    const std::vector<int32_t> input = lle_frames();
    std::vector<int32_t> whole = input;
    HdcdDecoder one_block;
    hdcd_decoder_init(one_block, LLE_TEST_SAMPLE_RATE);
    hdcd_decoder_process(one_block, whole.data(), LLE_TEST_FRAMES);
    hdcd_decoder_process(one_block, whole.data(), 0);  // an empty block changes nothing

    const std::vector<std::vector<uint64_t>> plans = {{1}, {7}, {16384}, {1000, 3, 64, 65, 12345, 1}};
    for (const auto& plan : plans) {
        std::vector<int32_t> split = input;
        HdcdDecoder decoder;
        hdcd_decoder_init(decoder, LLE_TEST_SAMPLE_RATE);
        uint64_t done = 0;
        for (size_t i = 0; done < LLE_TEST_FRAMES; ++i) {
            const uint64_t size = std::min<uint64_t>(plan[i % plan.size()], LLE_TEST_FRAMES - done);
            hdcd_decoder_process(decoder, split.data() + 2 * done, size);
            done += size;
        }
        EXPECT_EQ(decoder_difference(decoder, one_block), "") << "first block " << plan.front();
        EXPECT_TRUE(split == whole) << "first block " << plan.front();
    }
}
