// Helpers shared by the HDCD tests: scrambled signalling streams, and the plain
// frame-by-frame decoder and scanner loops the word-wise code must match.
#pragma once

#include <algorithm>
#include <tuple>
#include <vector>

#include "hdcd/hdcd_decoder.h"
#include "hdcd/hdcd_scanner.h"
#include "tools/lle_test_signal.h"

namespace hdcd_test {

using Bits = std::vector<uint32_t>;

inline Bits& operator+=(Bits& a, const Bits& b) { return a.insert(a.end(), b.begin(), b.end()), a; }
inline Bits operator+(Bits a, const Bits& b) { return a += b; }
inline Bits zeros(size_t count) { return Bits(count, 0u); }
inline Bits word(uint32_t value, int count) {
    Bits bits;
    while (count-- > 0) bits.push_back((value >> count) & 1u);
    return bits;
}
// Descrambled packets; a type B check byte defaults to the control's complement.
// The sync words are written out here, not borrowed from the detector.
const uint32_t SYNC_A = 0x7E0FA005u, SYNC_B = 0x7E0FA006u;
inline Bits packet_a(uint8_t payload) { return word(SYNC_A, 32) + word(payload, 8); }
inline Bits packet_b(uint8_t control, int check = -1) {
    return word(SYNC_B, 32) + word(control, 8) + word(check < 0 ? ~control & 0xFFu : check, 8);
}

// r[n] = d[n] ^ r[n-5] ^ r[n-23]: what goes on the wire for descrambled bits d.
inline Bits scramble(const Bits& plain) {
    Bits raw(plain.size());
    for (size_t n = 0; n < plain.size(); ++n) raw[n] = plain[n] ^ (n >= 5 && raw[n - 5]) ^ (n >= 23 && raw[n - 23]);
    return raw;
}

// Frames whose bit 0 carries the raw streams (the shorter padded with zeros)
// over audio(frame, left, right).
template <typename Audio = void (*)(size_t, int32_t&, int32_t&)>
std::vector<int32_t> make_frames(const Bits& left, const Bits& right, Audio audio = [](size_t, int32_t&, int32_t&) {}) {
    std::vector<int32_t> x(2 * std::max(left.size(), right.size()));
    for (size_t n = 0; n < x.size() / 2; ++n) {
        audio(n, x[2 * n], x[2 * n + 1]);
        x[2 * n] = (x[2 * n] & ~1) | static_cast<int32_t>(n < left.size() && left[n]);
        x[2 * n + 1] = (x[2 * n + 1] & ~1) | static_cast<int32_t>(n < right.size() && right[n]);
    }
    return x;
}

// The synthetic Low-Level Gain test signal, all 441000 frames.
inline std::vector<int32_t> lle_frames() {
    std::vector<int32_t> samples(2 * LLE_TEST_FRAMES);
    LleTestSignal signal;
    lle_test_signal_init(signal);
    lle_test_signal_fill(signal, samples.data(), LLE_TEST_FRAMES);
    return samples;
}

inline HdcdSummary scan(const std::vector<int32_t>& samples, uint32_t rate, uint32_t bits) {
    HdcdScanner scanner;
    hdcd_scanner_init(scanner, rate, bits);
    hdcd_scanner_process(scanner, samples.data(), samples.size() / 2);
    HdcdSummary summary;
    hdcd_scanner_summary(scanner, summary);
    return summary;
}

// The decoder loop frame by frame, with the per-bit detector.
inline void reference_decode(HdcdDecoder& d, int32_t* x, uint64_t frames) {
    for (uint64_t n = 0; n < frames; ++n, x += 2) {
        HdcdChannelState* channel[2] = {&d.left, &d.right};
        int32_t* gain[2] = {&d.gain_left, &d.gain_right};
        for (int c = 0; c < 2; ++c) hdcd_detector_push_bit(channel[c]->detector, x[c] & 1);
        const uint8_t control[2] = {d.left.detector.active_control, d.right.detector.active_control};
        if ((control[0] & 0x0F) != (control[1] & 0x0F)) d.stereo_mismatch_samples += 1;
        else d.gain_target = (control[0] & 0x0F) * 128;
        for (int c = 0; c < 2; ++c) {
            x[c] = (control[c] & 0x10) ? hdcd_peak_extend_transfer(x[c], d.peak_expanded_samples)
                                       : hdcd_plain_transfer(x[c]);
            if (*gain[c] < d.gain_target) *gain[c] += 1;
            if (*gain[c] > d.gain_target) *gain[c] = std::max(*gain[c] - 8, d.gain_target);
            if (*gain[c] != 0) x[c] = hdcd_apply_gain(x[c], *gain[c]);
            d.gain_adjusted_samples += *gain[c] != 0;
            hdcd_channel_tick(*channel[c]);
        }
        d.frames_processed += 1;
    }
}

// The scanner loop frame by frame, with the per-bit detector.
inline void reference_scan(HdcdScanner& s, const int32_t* x, uint64_t frames) {
    for (uint64_t n = 0; n < 2 * frames; n += 2) {
        if (s.position_count == HDCD_SCAN_MAX_POSITIONS) s.bits_seen |= (x[n] | x[n + 1]) & 0x1FF;
        for (HdcdScanPosition* p = s.positions; p < s.positions + s.position_count; ++p) {
            hdcd_detector_push_bit(p->left.detector, (x[n] >> p->bit_shift) & 1);
            hdcd_detector_push_bit(p->right.detector, (x[n + 1] >> p->bit_shift) & 1);
            const HdcdDetector& l = p->left.detector;
            const HdcdDetector& r = p->right.detector;
            p->stereo_mismatch_samples += l.code_detect_timer != 0 && r.code_detect_timer != 0 &&
                                          (l.active_control & 0x0F) != (r.active_control & 0x0F);
            hdcd_channel_tick(p->left);
            hdcd_channel_tick(p->right);
        }
    }
}

// Field-by-field equality of whole states.
inline bool same(const HdcdChannelState& a, const HdcdChannelState& b) {
    const auto key = [](const HdcdChannelState& c) {
        const HdcdDetector& d = c.detector;
        return std::tie(d.bit_history, d.bits_pending, d.pending_type, d.bits_seen, d.first_packet_bit,
                        d.last_packet_bit, d.packets_a, d.packets_b, d.packet_errors, d.sync_words, d.peak_extend_packets, d.transient_filter_packets,
                        d.max_gain_code, d.last_control, d.active_control, d.code_detect_timer, d.timer_reload,
                        d.timer_expirations, c.active_samples, c.active_peak_extend_samples,
                        c.active_transient_filter_samples);
    };
    const int32_t *x = a.detector.gain_histogram, *y = b.detector.gain_histogram;
    return key(a) == key(b) && std::equal(x, x + 16, y);
}
inline bool same(const HdcdDecoder& a, const HdcdDecoder& b) {
    return same(a.left, b.left) && same(a.right, b.right) &&
           std::tie(a.sample_rate, a.gain_left, a.gain_right, a.gain_target, a.frames_processed,
                    a.peak_expanded_samples, a.gain_adjusted_samples, a.stereo_mismatch_samples) ==
               std::tie(b.sample_rate, b.gain_left, b.gain_right, b.gain_target, b.frames_processed,
                        b.peak_expanded_samples, b.gain_adjusted_samples, b.stereo_mismatch_samples);
}
inline bool same(const HdcdScanner& a, const HdcdScanner& b) {
    bool equal = a.position_count == b.position_count && a.bits_seen == b.bits_seen;
    for (uint32_t k = 0; equal && k < a.position_count; ++k) {
        const HdcdScanPosition &x = a.positions[k], &y = b.positions[k];
        equal = same(x.left, y.left) && same(x.right, y.right);
        equal = equal && x.stereo_mismatch_samples == y.stereo_mismatch_samples;
    }
    return equal;
}

}  // namespace hdcd_test
