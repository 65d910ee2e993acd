// Feeds arbitrary sample streams to the HDCD decoder and the scanner, cut into
// blocks at input-chosen places, and cross-checks them:
// - the decoder gives the same samples and state however the stream is cut,
//   and the same as the frame-by-frame reference loop;
// - the scanner's bit-0 detectors end in exactly the decoder's channel states
//   (packet counts, errors, timers), and a 24-bit scan of the same stream
//   widened by eight zero bits finds the same at bit 8.
//
// Input: byte 0 picks the mode and the sample rate, byte 1 seeds the block
// cuts. In raw mode the rest is little-endian PCM16 frames. In signalling mode
// the rest is two descrambled bit streams (first half left, second half
// right, most significant bit first), scrambled here onto quiet audio, so that
// sync words and packets in the input become packets on the wire.
#include <vector>

#include "fuzz_support.h"
#include "hdcd/hdcd_decoder.h"
#include "hdcd/hdcd_scanner.h"
#include "hdcd_test_support.h"

namespace {

const uint32_t SAMPLE_RATES[4] = {44100, 48000, 7, 0};
const size_t MAX_FRAMES = 1 << 16;

std::vector<int32_t> raw_frames(const uint8_t* data, size_t size) {
    const size_t frames = std::min(size / 4, MAX_FRAMES);
    std::vector<int32_t> samples(2 * frames);
    for (size_t i = 0; i < 2 * frames; ++i) {
        samples[i] = static_cast<int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    return samples;
}

std::vector<int32_t> signalling_frames(const uint8_t* data, size_t size, uint8_t level) {
    const size_t half = std::min(size / 2, MAX_FRAMES / 8);
    hdcd_test::Bits left;
    hdcd_test::Bits right;
    for (size_t i = 0; i < half; ++i) {
        hdcd_test::append_bits(left, data[i], 8);
        hdcd_test::append_bits(right, data[half + i], 8);
    }
    // Audio that swings across the Peak Extend threshold when the level is high.
    const int32_t amplitude = static_cast<int32_t>(level) * 128;
    return hdcd_test::make_frames(hdcd_test::scramble(left), hdcd_test::scramble(right),
                                  [amplitude](size_t n, int32_t& l, int32_t& r) {
                                      const int32_t phase = static_cast<int32_t>(n % 64) - 32;
                                      l = phase * amplitude / 32;
                                      r = -l;
                                      if (l > 32767) l = 32767;
                                      if (r > 32767) r = 32767;
                                  });
}

// Splits `frames` into blocks whose sizes come from a small generator seeded by
// the input, including empty blocks.
std::vector<uint64_t> block_sizes(uint64_t frames, uint32_t seed) {
    std::vector<uint64_t> sizes;
    uint32_t state = seed * 2654435761u + 1;
    while (frames > 0) {
        state = state * 1103515245u + 12345u;
        uint64_t size = (state >> 16) % 97;
        if ((state & 0x300) == 0) size = (state >> 8) % 20000;
        if (size > frames) size = frames;
        sizes.push_back(size);
        frames -= size;
    }
    return sizes;
}

void check_summaries_agree(const HdcdSummary& a, const HdcdSummary& b, const char* what) {
    const bool same = a.hdcd_found == b.hdcd_found && a.packet_type == b.packet_type &&
                      a.peak_extend_mode == b.peak_extend_mode && a.valid_packets == b.valid_packets &&
                      a.packet_errors == b.packet_errors && a.peak_extend_packets == b.peak_extend_packets &&
                      a.transient_filter_packets == b.transient_filter_packets &&
                      a.max_gain_code == b.max_gain_code && a.left_packets == b.left_packets &&
                      a.right_packets == b.right_packets && a.timer_expirations == b.timer_expirations;
    fuzz::check(same, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t mode = data[0];
    const uint32_t sample_rate = SAMPLE_RATES[(mode >> 1) & 3];
    const uint32_t seed = data[1];
    const std::vector<int32_t> input = (mode & 1) != 0 ? signalling_frames(data + 3, size - 3, data[2])
                                                         : raw_frames(data + 2, size - 2);
    const uint64_t frames = input.size() / 2;

    // The decoder in one block, in cut blocks, and the reference loop.
    std::vector<int32_t> whole = input;
    HdcdDecoder decoder_whole;
    hdcd_decoder_init(decoder_whole, sample_rate);
    hdcd_decoder_process(decoder_whole, whole.data(), frames);

    std::vector<int32_t> cut = input;
    HdcdDecoder decoder_cut;
    hdcd_decoder_init(decoder_cut, sample_rate);
    uint64_t at = 0;
    for (uint64_t block : block_sizes(frames, seed)) {
        hdcd_decoder_process(decoder_cut, cut.data() + 2 * at, block);
        at += block;
    }
    fuzz::check(cut == whole, "decoded samples depend on where the blocks are cut");
    fuzz::check(hdcd_test::decoder_difference(decoder_whole, decoder_cut).empty(),
                "decoder state depends on where the blocks are cut");

    std::vector<int32_t> reference = input;
    HdcdDecoder decoder_reference;
    hdcd_decoder_init(decoder_reference, sample_rate);
    hdcd_test::reference_decode(decoder_reference, reference.data(), frames);
    fuzz::check(reference == whole, "decoded samples differ from the frame-by-frame loop");
    fuzz::check(hdcd_test::decoder_difference(decoder_whole, decoder_reference).empty(),
                "decoder state differs from the frame-by-frame loop");

    // The 16-bit scanner watches bit 0 exactly as the decoder does.
    HdcdScanner scanner16;
    hdcd_scanner_init(scanner16, sample_rate, 16);
    at = 0;
    for (uint64_t block : block_sizes(frames, seed + 1)) {
        hdcd_scanner_process(scanner16, input.data() + 2 * at, block);
        at += block;
    }
    fuzz::check(hdcd_test::channel_difference(scanner16.positions[0].left, decoder_whole.left).empty(),
                "scanner and decoder disagree on the left channel");
    fuzz::check(hdcd_test::channel_difference(scanner16.positions[0].right, decoder_whole.right).empty(),
                "scanner and decoder disagree on the right channel");
    HdcdScanner scanner_reference;
    hdcd_scanner_init(scanner_reference, sample_rate, 16);
    hdcd_test::reference_scan(scanner_reference, input.data(), frames);
    fuzz::check(hdcd_test::scanner_difference(scanner16, scanner_reference).empty(),
                "scanner differs from the frame-by-frame loop");

    HdcdSummary from_scanner;
    HdcdSummary from_decoder;
    hdcd_scanner_summary(scanner16, from_scanner);
    hdcd_decoder_summary(decoder_whole, from_decoder);
    check_summaries_agree(from_scanner, from_decoder, "scanner and decoder summaries disagree");
    fuzz::check(from_scanner.hdcd_found ? from_scanner.bit_position == 0 : from_scanner.bit_position == -1,
                "16-bit scan reports the wrong bit position");

    // The same stream widened to 24 bits is found at bit 8 with the same counts.
    std::vector<int32_t> widened(input.size());
    for (size_t i = 0; i < input.size(); ++i) widened[i] = static_cast<int32_t>(static_cast<uint32_t>(input[i]) << 8);
    HdcdScanner scanner24;
    hdcd_scanner_init(scanner24, sample_rate, 24);
    at = 0;
    for (uint64_t block : block_sizes(frames, seed + 2)) {
        hdcd_scanner_process(scanner24, widened.data() + 2 * at, block);
        at += block;
    }
    fuzz::check(hdcd_test::channel_difference(scanner24.positions[8].left, scanner16.positions[0].left).empty() &&
                    hdcd_test::channel_difference(scanner24.positions[8].right, scanner16.positions[0].right).empty(),
                "24-bit scan at bit 8 differs from the 16-bit scan");
    for (uint32_t k = 0; k < 8; ++k) {
        fuzz::check(scanner24.positions[k].left.detector.packets_a + scanner24.positions[k].left.detector.packets_b +
                            scanner24.positions[k].right.detector.packets_a +
                            scanner24.positions[k].right.detector.packets_b ==
                        0,
                    "packets found in bits that are always zero");
    }
    HdcdSummary from_wide;
    hdcd_scanner_summary(scanner24, from_wide);
    check_summaries_agree(from_wide, from_scanner, "24-bit and 16-bit scan summaries disagree");
    fuzz::check(from_wide.hdcd_found ? from_wide.bit_position == 8 : from_wide.bit_position == -1,
                "24-bit scan reports the wrong bit position");
    return 0;
}
