// Helpers shared by the HDCD tests: building scrambled signalling streams and
// the plain frame-by-frame formulation of the decoder and scanner loops, which
// the word-wise implementation must match exactly.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "hdcd/hdcd_decoder.h"
#include "hdcd/hdcd_detector.h"
#include "hdcd/hdcd_scanner.h"

namespace hdcd_test {

using Bits = std::vector<uint32_t>;

inline void append_bits(Bits& bits, uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) bits.push_back((value >> i) & 1u);
}

inline void append_zeros(Bits& bits, size_t count) {
    bits.insert(bits.end(), count, 0u);
}

// Descrambled bits of a type A packet (payload byte P) or a type B packet
// (control byte, then the byte that should be its complement).
inline void append_packet_a(Bits& bits, uint8_t payload) {
    append_bits(bits, HDCD_SYNC_WORD_A, 32);
    append_bits(bits, payload, 8);
}

inline void append_packet_b(Bits& bits, uint8_t control, uint8_t check) {
    append_bits(bits, HDCD_SYNC_WORD_B, 32);
    append_bits(bits, control, 8);
    append_bits(bits, check, 8);
}

inline void append_packet_b(Bits& bits, uint8_t control) {
    append_packet_b(bits, control, static_cast<uint8_t>(~control));
}

// r[n] = d[n] ^ r[n-5] ^ r[n-23]: what goes on the wire for descrambled bits d.
inline Bits scramble(const Bits& plain) {
    Bits raw(plain.size());
    for (size_t n = 0; n < plain.size(); ++n) {
        uint32_t bit = plain[n];
        if (n >= 5) bit ^= raw[n - 5];
        if (n >= 23) bit ^= raw[n - 23];
        raw[n] = bit & 1u;
    }
    return raw;
}

// Interleaved PCM16 frames whose bit 0 carries the two raw streams (padded
// with zeros to the longer one) over a given audio value per frame.
template <typename Audio>
std::vector<int32_t> make_frames(const Bits& raw_left, const Bits& raw_right, Audio audio) {
    const size_t frames = raw_left.size() > raw_right.size() ? raw_left.size() : raw_right.size();
    std::vector<int32_t> samples(2 * frames);
    for (size_t n = 0; n < frames; ++n) {
        int32_t left = 0;
        int32_t right = 0;
        audio(n, left, right);
        const uint32_t bit_left = n < raw_left.size() ? raw_left[n] : 0u;
        const uint32_t bit_right = n < raw_right.size() ? raw_right[n] : 0u;
        samples[2 * n] = static_cast<int32_t>((static_cast<uint32_t>(left) & ~1u) | bit_left);
        samples[2 * n + 1] = static_cast<int32_t>((static_cast<uint32_t>(right) & ~1u) | bit_right);
    }
    return samples;
}

inline std::vector<int32_t> make_frames(const Bits& raw_left, const Bits& raw_right) {
    return make_frames(raw_left, raw_right, [](size_t, int32_t&, int32_t&) {});
}

inline void channel_push_bits(HdcdChannelState& channel, const Bits& raw) {
    for (uint32_t bit : raw) {
        hdcd_detector_push_bit(channel.detector, bit);
        hdcd_channel_tick(channel);
    }
}

// The decoder loop frame by frame, with the per-bit detector.
inline void reference_decode(HdcdDecoder& d, int32_t* samples, uint64_t frames) {
    for (uint64_t n = 0; n < frames; ++n) {
        int32_t& xl = samples[2 * n];
        int32_t& xr = samples[2 * n + 1];
        hdcd_detector_push_bit(d.left.detector, static_cast<uint32_t>(xl) & 1u);
        hdcd_detector_push_bit(d.right.detector, static_cast<uint32_t>(xr) & 1u);
        const uint8_t cl = d.left.detector.active_control;
        const uint8_t cr = d.right.detector.active_control;
        if ((cl & 0x0F) == (cr & 0x0F)) {
            d.gain_target = (cl & 0x0F) * 128;
        } else {
            d.stereo_mismatch_samples += 1;
        }
        int32_t yl = (cl & 0x10) ? hdcd_peak_extend_transfer(xl, d.peak_expanded_samples) : hdcd_plain_transfer(xl);
        int32_t yr = (cr & 0x10) ? hdcd_peak_extend_transfer(xr, d.peak_expanded_samples) : hdcd_plain_transfer(xr);
        for (int32_t* gain : {&d.gain_left, &d.gain_right}) {
            if (*gain < d.gain_target) {
                *gain += 1;
            } else if (*gain > d.gain_target) {
                *gain = *gain - 8 > d.gain_target ? *gain - 8 : d.gain_target;
            }
        }
        if (d.gain_left != 0) {
            yl = hdcd_apply_gain(yl, d.gain_left);
            d.gain_adjusted_samples += 1;
        }
        if (d.gain_right != 0) {
            yr = hdcd_apply_gain(yr, d.gain_right);
            d.gain_adjusted_samples += 1;
        }
        xl = yl;
        xr = yr;
        hdcd_channel_tick(d.left);
        hdcd_channel_tick(d.right);
        d.frames_processed += 1;
    }
}

// The scanner loop frame by frame, with the per-bit detector.
inline void reference_scan(HdcdScanner& s, const int32_t* samples, uint64_t frames) {
    for (uint64_t n = 0; n < frames; ++n) {
        for (uint32_t k = 0; k < s.position_count; ++k) {
            HdcdScanPosition& p = s.positions[k];
            hdcd_detector_push_bit(p.left.detector, (static_cast<uint32_t>(samples[2 * n]) >> p.bit_shift) & 1u);
            hdcd_detector_push_bit(p.right.detector, (static_cast<uint32_t>(samples[2 * n + 1]) >> p.bit_shift) & 1u);
            if (p.left.detector.code_detect_timer != 0 && p.right.detector.code_detect_timer != 0 &&
                (p.left.detector.active_control & 0x0F) != (p.right.detector.active_control & 0x0F)) {
                p.stereo_mismatch_samples += 1;
            }
            hdcd_channel_tick(p.left);
            hdcd_channel_tick(p.right);
        }
    }
}

// Names the first field in which two records differ; empty when they agree.
inline std::string channel_difference(const HdcdChannelState& a, const HdcdChannelState& b) {
    const HdcdDetector& x = a.detector;
    const HdcdDetector& y = b.detector;
#define QV_FIELD(name) \
    if (x.name != y.name) return "detector." #name;
    QV_FIELD(bit_history) QV_FIELD(bits_pending) QV_FIELD(pending_type) QV_FIELD(bits_seen)
    QV_FIELD(last_packet_bit) QV_FIELD(packets_a) QV_FIELD(packets_b) QV_FIELD(packet_errors)
    QV_FIELD(sync_words) QV_FIELD(peak_extend_packets) QV_FIELD(transient_filter_packets)
    QV_FIELD(max_gain_code) QV_FIELD(last_control) QV_FIELD(active_control) QV_FIELD(code_detect_timer)
    QV_FIELD(timer_reload) QV_FIELD(timer_expirations)
#undef QV_FIELD
    for (int code = 0; code < 16; ++code) {
        if (x.gain_histogram[code] != y.gain_histogram[code]) return "detector.gain_histogram";
    }
    if (a.active_samples != b.active_samples) return "active_samples";
    if (a.active_peak_extend_samples != b.active_peak_extend_samples) return "active_peak_extend_samples";
    if (a.active_transient_filter_samples != b.active_transient_filter_samples) return "active_transient_filter_samples";
    return "";
}

inline std::string decoder_difference(const HdcdDecoder& a, const HdcdDecoder& b) {
    std::string channel = channel_difference(a.left, b.left);
    if (!channel.empty()) return "left." + channel;
    channel = channel_difference(a.right, b.right);
    if (!channel.empty()) return "right." + channel;
#define QV_FIELD(name) \
    if (a.name != b.name) return #name;
    QV_FIELD(sample_rate) QV_FIELD(gain_left) QV_FIELD(gain_right) QV_FIELD(gain_target)
    QV_FIELD(frames_processed) QV_FIELD(peak_expanded_samples) QV_FIELD(gain_adjusted_samples)
    QV_FIELD(stereo_mismatch_samples)
#undef QV_FIELD
    return "";
}

inline std::string scanner_difference(const HdcdScanner& a, const HdcdScanner& b) {
    if (a.position_count != b.position_count) return "position_count";
    for (uint32_t k = 0; k < a.position_count; ++k) {
        const std::string at = "positions[" + std::to_string(k) + "].";
        std::string channel = channel_difference(a.positions[k].left, b.positions[k].left);
        if (!channel.empty()) return at + "left." + channel;
        channel = channel_difference(a.positions[k].right, b.positions[k].right);
        if (!channel.empty()) return at + "right." + channel;
        if (a.positions[k].stereo_mismatch_samples != b.positions[k].stereo_mismatch_samples) {
            return at + "stereo_mismatch_samples";
        }
    }
    return "";
}

}  // namespace hdcd_test
