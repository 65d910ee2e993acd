// The HDCD decoder must give the same samples and state however the stream is
// cut and as the frame-by-frame loop; the scanner's bit-0 detectors, and bit 8
// of a 24-bit scan of the stream widened by eight zero bits, must end in the
// decoder's channel states. Input: byte 0 picks the mode and sample rate, byte 1
// seeds the block cuts; then little-endian PCM16 frames (raw mode), or an audio
// level and two descrambled bit streams, left half then right, MSB first.
#include <vector>

#include "fuzz_support.h"
#include "hdcd_test_support.h"

using namespace hdcd_test;

namespace {

const uint32_t SAMPLE_RATES[4] = {44100, 48000, 7, 0};
const size_t MAX_FRAMES = 1 << 16;

std::vector<int32_t> input_frames(const uint8_t* data, size_t size) {
    if ((data[0] & 1) == 0) {
        std::vector<int32_t> samples(2 * std::min((size - 2) / 4, MAX_FRAMES));
        for (size_t i = 0; i < samples.size(); ++i) {
            samples[i] = static_cast<int16_t>(data[2 + 2 * i] | data[3 + 2 * i] << 8);
        }
        return samples;
    }
    const size_t half = std::min((size - 3) / 2, MAX_FRAMES / 8);
    Bits left, right;
    for (size_t i = 0; i < half; ++i) {
        left += word(data[3 + i], 8);
        right += word(data[3 + half + i], 8);
    }
    // A ramp that crosses the Peak Extend threshold when the level is high.
    return make_frames(scramble(left), scramble(right), [level = data[2] * 128](size_t n, int32_t& l, int32_t& r) {
        l = (static_cast<int32_t>(n % 64) - 32) * level / 32;
        r = -l;
    });
}

// Calls step(start, size) over `frames` in input-seeded blocks, some empty.
template <typename Step>
void in_blocks(uint64_t frames, uint32_t seed, Step step) {
    uint32_t state = seed * 2654435761u + 1;
    for (uint64_t at = 0; at < frames;) {
        state = state * 1103515245u + 12345u;
        const uint64_t size = (state & 0x300) == 0 ? (state >> 8) % 20000 : (state >> 16) % 97;
        step(at, std::min(size, frames - at));
        at += std::min(size, frames - at);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint32_t rate = SAMPLE_RATES[(data[0] >> 1) & 3];
    const std::vector<int32_t> input = input_frames(data, size);
    const uint64_t frames = input.size() / 2;

    std::vector<int32_t> whole = input, cut = input, reference = input;
    HdcdDecoder decoder, decoder_cut, decoder_reference;
    for (HdcdDecoder* d : {&decoder, &decoder_cut, &decoder_reference}) hdcd_decoder_init(*d, rate);
    hdcd_decoder_process(decoder, whole.data(), frames);
    in_blocks(frames, data[1], [&](uint64_t at, uint64_t n) { hdcd_decoder_process(decoder_cut, &cut[2 * at], n); });
    reference_decode(decoder_reference, reference.data(), frames);
    fuzz::check(cut == whole && same(decoder_cut, decoder), "decoding depends on where the blocks are cut");
    fuzz::check(reference == whole && same(decoder_reference, decoder), "decoding differs from the per-frame loop");

    for (uint32_t wide = 0; wide < 2; ++wide) {  // bit 0 of a 16-bit scan, bit 8 of a widened 24-bit one
        std::vector<int32_t> samples = input;
        for (int32_t& v : samples) v = static_cast<int32_t>(static_cast<uint32_t>(v) << (8 * wide));
        HdcdScanner scanner;
        hdcd_scanner_init(scanner, rate, 16 + 8 * wide);
        in_blocks(frames, data[1] + 1 + wide, [&](uint64_t at, uint64_t n) {
            hdcd_scanner_process(scanner, &samples[2 * at], n);
        });
        const HdcdScanPosition& p = scanner.positions[8 * wide];
        fuzz::check(same(p.left, decoder.left) && same(p.right, decoder.right), "scanner and decoder disagree");
        HdcdSummary summary;
        hdcd_scanner_summary(scanner, summary);
        fuzz::check(summary.bit_position == (summary.hdcd_found ? 8 * int32_t(wide) : -1), "scan found the wrong bit");
    }
    return 0;
}
