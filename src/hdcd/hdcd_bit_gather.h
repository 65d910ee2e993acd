// The bits the packet detectors watch, gathered from interleaved stereo frames
// into one word per channel and bit position: up to 64 frames, the first frame
// in the highest used bit. Inline, because both the decoder and the scanner
// call them once per word in their innermost loops.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "hdcd/hdcd_scanner.h"

namespace hdcd_gather_detail {

// Collects bit p of `count` samples of one channel for positions p, the first
// sample in the highest used bit of each word.
template <uint32_t Positions>
inline void gather_bits(const int32_t* channel, uint32_t count, uint64_t (&words)[Positions]) {
    for (uint32_t p = 0; p < Positions; ++p) words[p] = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t value = static_cast<uint32_t>(channel[2 * static_cast<size_t>(i)]);
        for (uint32_t p = 0; p < Positions; ++p) {
            words[p] = (words[p] << 1) | ((value >> p) & 1u);
        }
    }
}

#if defined(__SSE2__)
// Eight interleaved frames split by channel, each channel in reverse order:
// late holds frames 7 6 5 4, early frames 3 2 1 0.
struct EightFrames {
    __m128i left_late, left_early, right_late, right_early;
};

inline EightFrames split_eight_frames(const int32_t* group) {
    const auto pair = [group](size_t offset) {
        // [L0 R0 L1 R1] becomes [L1 L0 R1 R0].
        return _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(group + offset)),
                                 _MM_SHUFFLE(1, 3, 0, 2));
    };
    const __m128i f01 = pair(0), f23 = pair(4), f45 = pair(8), f67 = pair(12);
    return {_mm_unpacklo_epi64(f67, f45), _mm_unpacklo_epi64(f23, f01), _mm_unpackhi_epi64(f67, f45),
            _mm_unpackhi_epi64(f23, f01)};
}
#endif

}  // namespace hdcd_gather_detail

#if defined(__SSE2__)
// The nine-position form, eight frames at a time: the low nine bits of the
// sixteen samples are packed into bytes, the eight left samples first, each
// channel in reverse order, so that one byte mask per bit position yields
// that bit of eight left and eight right samples, the first in the top bit.
// Frames left over from the groups of eight go bit by bit.
inline void hdcd_gather_nine_bits(const int32_t* samples, uint32_t count, uint64_t (&left)[HDCD_SCAN_MAX_POSITIONS],
                           uint64_t (&right)[HDCD_SCAN_MAX_POSITIONS]) {
    for (uint32_t p = 0; p < HDCD_SCAN_MAX_POSITIONS; ++p) left[p] = right[p] = 0;
    const __m128i nine_bits = _mm_set1_epi32(0x1FF);
    const __m128i low_byte = _mm_set1_epi16(0xFF);
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const hdcd_gather_detail::EightFrames f = hdcd_gather_detail::split_eight_frames(samples + 2 * static_cast<size_t>(i));
        // L7 .. L0 and R7 .. R0, nine bits each.
        const __m128i left9 = _mm_packs_epi32(_mm_and_si128(f.left_late, nine_bits), _mm_and_si128(f.left_early, nine_bits));
        const __m128i right9 =
            _mm_packs_epi32(_mm_and_si128(f.right_late, nine_bits), _mm_and_si128(f.right_early, nine_bits));
        const __m128i low = _mm_packus_epi16(_mm_and_si128(left9, low_byte), _mm_and_si128(right9, low_byte));
        const __m128i high = _mm_packus_epi16(_mm_srli_epi16(left9, 8), _mm_srli_epi16(right9, 8));
        uint32_t masks[HDCD_SCAN_MAX_POSITIONS];
        // Shifting 16-bit lanes by 7 - p moves bit p of both bytes to their top
        // bit; nothing from the low byte reaches the high byte's top bit.
        masks[0] = static_cast<uint32_t>(_mm_movemask_epi8(_mm_slli_epi16(low, 7)));
        masks[1] = static_cast<uint32_t>(_mm_movemask_epi8(_mm_slli_epi16(low, 6)));
        masks[2] = static_cast<uint32_t>(_mm_movemask_epi8(_mm_slli_epi16(low, 5)));
        masks[3] = static_cast<uint32_t>(_mm_movemask_epi8(_mm_slli_epi16(low, 4)));
        masks[4] = static_cast<uint32_t>(_mm_movemask_epi8(_mm_slli_epi16(low, 3)));
        masks[5] = static_cast<uint32_t>(_mm_movemask_epi8(_mm_slli_epi16(low, 2)));
        masks[6] = static_cast<uint32_t>(_mm_movemask_epi8(_mm_slli_epi16(low, 1)));
        masks[7] = static_cast<uint32_t>(_mm_movemask_epi8(low));
        masks[8] = static_cast<uint32_t>(_mm_movemask_epi8(_mm_slli_epi16(high, 7)));
        for (uint32_t p = 0; p < HDCD_SCAN_MAX_POSITIONS; ++p) {
            left[p] = (left[p] << 8) | (masks[p] & 0xFFu);
            right[p] = (right[p] << 8) | (masks[p] >> 8);
        }
    }
    for (; i < count; ++i) {
        const uint32_t value_left = static_cast<uint32_t>(samples[2 * static_cast<size_t>(i)]);
        const uint32_t value_right = static_cast<uint32_t>(samples[2 * static_cast<size_t>(i) + 1]);
        for (uint32_t p = 0; p < HDCD_SCAN_MAX_POSITIONS; ++p) {
            left[p] = (left[p] << 1) | ((value_left >> p) & 1u);
            right[p] = (right[p] << 1) | ((value_right >> p) & 1u);
        }
    }
}

// Bit 0 of eight frames at a time, in the same arrangement: four sign masks
// give the left and right bits, the first frame in the top bit.
inline void hdcd_gather_bit_zero(const int32_t* samples, uint32_t count, uint64_t& left, uint64_t& right) {
    uint64_t bits_left = 0;
    uint64_t bits_right = 0;
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const hdcd_gather_detail::EightFrames f = hdcd_gather_detail::split_eight_frames(samples + 2 * static_cast<size_t>(i));
        const auto sign_mask = [](__m128i v) {
            return static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_slli_epi32(v, 31))));
        };
        const uint32_t l = sign_mask(f.left_late) | (sign_mask(f.left_early) << 4);
        const uint32_t r = sign_mask(f.right_late) | (sign_mask(f.right_early) << 4);
        bits_left = (bits_left << 8) | l;
        bits_right = (bits_right << 8) | r;
    }
    for (; i < count; ++i) {
        bits_left = (bits_left << 1) | (static_cast<uint32_t>(samples[2 * static_cast<size_t>(i)]) & 1u);
        bits_right = (bits_right << 1) | (static_cast<uint32_t>(samples[2 * static_cast<size_t>(i) + 1]) & 1u);
    }
    left = bits_left;
    right = bits_right;
}
#else
inline void hdcd_gather_bit_zero(const int32_t* samples, uint32_t count, uint64_t& left, uint64_t& right) {
    uint64_t words_left[1];
    uint64_t words_right[1];
    hdcd_gather_detail::gather_bits<1>(samples, count, words_left);
    hdcd_gather_detail::gather_bits<1>(samples + 1, count, words_right);
    left = words_left[0];
    right = words_right[0];
}

inline void hdcd_gather_nine_bits(const int32_t* samples, uint32_t count, uint64_t (&left)[HDCD_SCAN_MAX_POSITIONS],
                           uint64_t (&right)[HDCD_SCAN_MAX_POSITIONS]) {
    hdcd_gather_detail::gather_bits<HDCD_SCAN_MAX_POSITIONS>(samples, count, left);
    hdcd_gather_detail::gather_bits<HDCD_SCAN_MAX_POSITIONS>(samples + 1, count, right);
}
#endif
