#include "hdcd/hdcd_scanner.h"

#include <cstring>

#include "hdcd/hdcd_bit_gather.h"
#include "hdcd/hdcd_detector_words.h"

namespace {

void scan_position(HdcdScanPosition& position, uint64_t bits_left, uint64_t bits_right, uint32_t count) {
    HdcdPacketEvents events_left;
    HdcdPacketEvents events_right;
    hdcd_detector_push_word(position.left.detector, bits_left, count, events_left);
    hdcd_detector_push_word(position.right.detector, bits_right, count, events_right);
    hdcd_channels_advance(position.left, position.right, events_left, events_right, count,
                          [&](uint32_t first, uint32_t end, uint8_t control_left, uint8_t control_right,
                              bool running_left, bool running_right) {
                              if (running_left && running_right &&
                                  ((control_left ^ control_right) & HDCD_CONTROL_GAIN_MASK) != 0) {
                                  position.stereo_mismatch_samples += end - first;
                              }
                          });
}

template <uint32_t Positions>
void scan_words(HdcdScanner& scanner, const int32_t* samples, uint64_t frames) {
    // A position's words hold that bit of every sample of the run: their OR
    // tells whether any sample had it set.
    uint64_t seen[Positions] = {};
    while (frames > 0) {
        const uint32_t count = frames < 64 ? static_cast<uint32_t>(frames) : 64u;
        uint64_t left[Positions];
        uint64_t right[Positions];
        if constexpr (Positions == HDCD_SCAN_MAX_POSITIONS) {
            hdcd_gather_nine_bits(samples, count, left, right);
            for (uint32_t p = 0; p < Positions; ++p) seen[p] |= left[p] | right[p];
        } else {
            hdcd_gather_bit_zero(samples, count, left[0], right[0]);
        }
        for (uint32_t p = 0; p < Positions; ++p) {
            scan_position(scanner.positions[p], left[p], right[p], count);
        }
        samples += 2 * static_cast<size_t>(count);
        frames -= count;
    }
    if constexpr (Positions == HDCD_SCAN_MAX_POSITIONS) {
        for (uint32_t p = 0; p < Positions; ++p) scanner.bits_seen |= seen[p] != 0 ? 1u << p : 0u;
    }
}

}  // namespace

void hdcd_scanner_init(HdcdScanner& scanner, uint32_t sample_rate, uint32_t bits_per_sample) {
    std::memset(&scanner, 0, sizeof scanner);
    scanner.sample_rate = sample_rate;
    scanner.bits_per_sample = bits_per_sample;
    scanner.position_count = bits_per_sample > 20 ? HDCD_SCAN_MAX_POSITIONS : 1;
    for (uint32_t k = 0; k < scanner.position_count; ++k) {
        HdcdScanPosition& position = scanner.positions[k];
        position.bit_shift = k;
        hdcd_channel_reset(position.left, sample_rate);
        hdcd_channel_reset(position.right, sample_rate);
    }
}

void hdcd_scanner_process(HdcdScanner& scanner, const int32_t* samples, uint64_t frames) {
    if (scanner.position_count == HDCD_SCAN_MAX_POSITIONS) {
        scan_words<HDCD_SCAN_MAX_POSITIONS>(scanner, samples, frames);
    } else {
        scan_words<1>(scanner, samples, frames);
    }
}

bool hdcd_scanner_bits_below(const HdcdScanner& scanner, int32_t bit_position) {
    if (bit_position <= 0 || bit_position >= static_cast<int32_t>(HDCD_SCAN_MAX_POSITIONS)) return false;
    return (scanner.bits_seen & ((1u << bit_position) - 1u)) != 0;
}

void hdcd_scanner_summary(const HdcdScanner& scanner, HdcdSummary& summary) {
    uint32_t best = 0;
    uint32_t best_score = 0;
    for (uint32_t k = 0; k < scanner.position_count; ++k) {
        const HdcdScanPosition& position = scanner.positions[k];
        const uint32_t score = static_cast<uint32_t>(position.left.detector.packets_a) +
                               static_cast<uint32_t>(position.left.detector.packets_b) +
                               static_cast<uint32_t>(position.right.detector.packets_a) +
                               static_cast<uint32_t>(position.right.detector.packets_b);
        if (score > best_score) {
            best_score = score;
            best = k;
        }
    }
    // Without a valid packet anywhere this is position 0, which reports no HDCD.
    const HdcdScanPosition& position = scanner.positions[best];
    hdcd_summary_from_channels(position.left, position.right, position.stereo_mismatch_samples,
                               static_cast<int32_t>(position.bit_shift), summary);
}
