#include "hdcd/hdcd_decoder.h"

#include <cstring>
#include <type_traits>

#include "hdcd/hdcd_bit_gather.h"
#include "hdcd/hdcd_detector_words.h"
#include "hdcd/hdcd_tables.h"

namespace {

inline int32_t clamp_pcm16(int32_t value) {
    return value < -32768 ? -32768 : (value > 32767 ? 32767 : value);
}

inline int32_t plain(int32_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(clamp_pcm16(value)) << 15);
}

// Written without branches: loud passages cross the threshold often enough
// for mispredictions to cost more than the always-taken table read.
inline int32_t peak_extend(int32_t value, uint64_t& counted) {
    const int32_t x = clamp_pcm16(value);
    const int32_t magnitude = x < 0 ? -x : x;
    const bool extended = magnitude >= PEAK_EXTEND_THRESHOLD;
    const int32_t entry = PEAK_EXTEND_TABLE[extended ? magnitude - PEAK_EXTEND_THRESHOLD : 0];
    // -32768 reads the last entry, INT32_MIN, whose negation wraps to itself.
    const int32_t curve = x > 0 ? entry : static_cast<int32_t>(0u - static_cast<uint32_t>(entry));
    counted += extended;
    return extended ? curve : static_cast<int32_t>(static_cast<uint32_t>(x) << 15);
}

inline int32_t scale(int32_t value, int32_t factor) {
    return static_cast<int32_t>((static_cast<int64_t>(value) * factor) >> 23);
}

inline int32_t gain_factor(int32_t index) {
    return LOW_LEVEL_GAIN_TABLE[index < LOW_LEVEL_GAIN_MAX_INDEX ? index : LOW_LEVEL_GAIN_MAX_INDEX];
}

inline int32_t ramp(int32_t gain, int32_t target) {
    if (gain < target) return gain + 1;
    if (gain > target) return gain - 8 > target ? gain - 8 : target;
    return gain;
}

// Frames in which both gains sit at the target: the transfer per channel is
// fixed for the whole run, so each combination gets its own tight loop.
template <bool PeakLeft, bool PeakRight, bool GainLeft, bool GainRight>
void decode_frames(int32_t* samples, uint32_t frames, int32_t factor_left, int32_t factor_right, uint64_t& counted) {
    for (uint32_t i = 0; i < frames; ++i) {
        int32_t left = PeakLeft ? peak_extend(samples[2 * i], counted) : plain(samples[2 * i]);
        int32_t right = PeakRight ? peak_extend(samples[2 * i + 1], counted) : plain(samples[2 * i + 1]);
        if (GainLeft) left = scale(left, factor_left);
        if (GainRight) right = scale(right, factor_right);
        samples[2 * i] = left;
        samples[2 * i + 1] = right;
    }
}

constexpr uint32_t RUN_FRAMES = 32;

// 1 when the value's magnitude reaches the Peak Extend threshold.
inline uint32_t over_threshold(int32_t value) {
    return static_cast<uint32_t>(value) + (PEAK_EXTEND_THRESHOLD - 1) > 2u * (PEAK_EXTEND_THRESHOLD - 1);
}

// True when every sample of the run lies strictly inside the Peak Extend
// threshold, where the curve is the plain mapping.
inline bool run_below_threshold(const int32_t* samples) {
    uint32_t over = 0;
    for (uint32_t k = 0; k < 2 * RUN_FRAMES; ++k) {
        over |= over_threshold(samples[k]);
    }
    return over == 0;
}

template <bool PeakLeft, bool PeakRight, bool GainLeft, bool GainRight>
void decode_steady(int32_t* samples, uint32_t frames, int32_t factor_left, int32_t factor_right, uint64_t& peaks) {
    uint64_t counted = 0;
    uint32_t done = 0;
    if (PeakLeft || PeakRight) {
        // Even loud passages keep most samples below the threshold: runs
        // without a sample above it take the plain mapping, which vectorises,
        // and only the runs that reach into the curve read the table.
        for (; done + RUN_FRAMES <= frames; done += RUN_FRAMES) {
            int32_t* run = samples + 2 * static_cast<size_t>(done);
            if (run_below_threshold(run)) {
                decode_frames<false, false, GainLeft, GainRight>(run, RUN_FRAMES, factor_left, factor_right, counted);
            } else {
                decode_frames<PeakLeft, PeakRight, GainLeft, GainRight>(run, RUN_FRAMES, factor_left, factor_right,
                                                                         counted);
            }
        }
    }
    decode_frames<PeakLeft, PeakRight, GainLeft, GainRight>(samples + 2 * static_cast<size_t>(done), frames - done,
                                                             factor_left, factor_right, counted);
    peaks += counted;
}

using SteadyLoop = void (*)(int32_t*, uint32_t, int32_t, int32_t, uint64_t&);

const SteadyLoop STEADY_LOOPS[16] = {
    decode_steady<false, false, false, false>, decode_steady<false, false, false, true>,
    decode_steady<false, false, true, false>,  decode_steady<false, false, true, true>,
    decode_steady<false, true, false, false>,  decode_steady<false, true, false, true>,
    decode_steady<false, true, true, false>,   decode_steady<false, true, true, true>,
    decode_steady<true, false, false, false>,  decode_steady<true, false, false, true>,
    decode_steady<true, false, true, false>,   decode_steady<true, false, true, true>,
    decode_steady<true, true, false, false>,   decode_steady<true, true, false, true>,
    decode_steady<true, true, true, false>,    decode_steady<true, true, true, true>,
};

// Samples that the Peak Extend curve would expand (the magnitude at or above
// the threshold, outside values clamped): every value from `values`, or every
// other one when Stride is 2.
template <uint32_t Stride>
inline uint64_t count_over_threshold(const int32_t* values, uint32_t frames) {
    uint32_t counted = 0;
    for (uint32_t i = 0; i < Stride * frames; i += Stride) counted += over_threshold(values[i]);
    return counted;
}

// Frames [first, end) of the current word, in which both control bytes stay
// the same. Without Write the samples are only read: the gains, counts and
// states end as they would, and no output is produced.
template <typename Sample, bool Write = !std::is_const<Sample>::value>
void decode_span(HdcdDecoder& decoder, Sample* samples, uint32_t first, uint32_t end, uint8_t control_left,
                 uint8_t control_right) {
    const uint32_t frames = end - first;
    const uint8_t code_left = control_left & HDCD_CONTROL_GAIN_MASK;
    const uint8_t code_right = control_right & HDCD_CONTROL_GAIN_MASK;
    if (code_left == code_right) {
        decoder.gain_target = code_left * 128;
    } else {
        decoder.stereo_mismatch_samples += frames;
    }
    const bool peak_left = (control_left & HDCD_CONTROL_PEAK_EXTEND) != 0;
    const bool peak_right = (control_right & HDCD_CONTROL_PEAK_EXTEND) != 0;
    const int32_t target = decoder.gain_target;

    uint32_t frame = first;
    for (; frame < end && (decoder.gain_left != target || decoder.gain_right != target); ++frame) {
        Sample* pair = samples + 2 * static_cast<size_t>(frame);
        int32_t left = peak_left ? peak_extend(pair[0], decoder.peak_expanded_samples) : plain(pair[0]);
        int32_t right = peak_right ? peak_extend(pair[1], decoder.peak_expanded_samples) : plain(pair[1]);
        decoder.gain_left = ramp(decoder.gain_left, target);
        decoder.gain_right = ramp(decoder.gain_right, target);
        if (decoder.gain_left != 0) {
            left = scale(left, gain_factor(decoder.gain_left));
            decoder.gain_adjusted_samples += 1;
        }
        if (decoder.gain_right != 0) {
            right = scale(right, gain_factor(decoder.gain_right));
            decoder.gain_adjusted_samples += 1;
        }
        if constexpr (Write) {
            pair[0] = left;
            pair[1] = right;
        }
    }
    if (frame == end) return;

    const uint32_t rest = end - frame;
    const bool gain_left = decoder.gain_left != 0;
    const bool gain_right = decoder.gain_right != 0;
    decoder.gain_adjusted_samples += static_cast<uint64_t>(rest) * (gain_left + gain_right);
    if constexpr (Write) {
        const unsigned loop =
            (peak_left ? 8u : 0u) | (peak_right ? 4u : 0u) | (gain_left ? 2u : 0u) | (gain_right ? 1u : 0u);
        STEADY_LOOPS[loop](samples + 2 * static_cast<size_t>(frame), rest, gain_factor(decoder.gain_left),
                           gain_factor(decoder.gain_right), decoder.peak_expanded_samples);
    } else {
        const int32_t* from = samples + 2 * static_cast<size_t>(frame);
        if (peak_left && peak_right) {
            decoder.peak_expanded_samples += count_over_threshold<1>(from, 2 * rest);
        } else if (peak_left || peak_right) {
            decoder.peak_expanded_samples += count_over_threshold<2>(from + (peak_right ? 1 : 0), rest);
        }
    }
}

template <typename Sample>
void run_words(HdcdDecoder& decoder, Sample* samples, uint64_t frames) {
    while (frames > 0) {
        const uint32_t count = frames < 64 ? static_cast<uint32_t>(frames) : 64u;
        uint64_t bits_left;
        uint64_t bits_right;
        hdcd_gather_bit_zero(samples, count, bits_left, bits_right);
        HdcdPacketEvents events_left;
        HdcdPacketEvents events_right;
        hdcd_detector_push_word(decoder.left.detector, bits_left, count, events_left);
        hdcd_detector_push_word(decoder.right.detector, bits_right, count, events_right);
        hdcd_channels_advance(decoder.left, decoder.right, events_left, events_right, count,
                              [&](uint32_t first, uint32_t end, uint8_t control_left, uint8_t control_right, bool, bool) {
                                  decode_span(decoder, samples, first, end, control_left, control_right);
                              });
        decoder.frames_processed += count;
        samples += 2 * static_cast<size_t>(count);
        frames -= count;
    }
}

}  // namespace

int32_t hdcd_peak_extend_transfer(int32_t value, uint64_t& peak_expanded_samples) {
    return peak_extend(value, peak_expanded_samples);
}

int32_t hdcd_plain_transfer(int32_t value) {
    return plain(value);
}

int32_t hdcd_apply_gain(int32_t value, int32_t gain_index) {
    return scale(value, gain_factor(gain_index));
}

void hdcd_decoder_init(HdcdDecoder& decoder, uint32_t sample_rate) {
    std::memset(&decoder, 0, sizeof decoder);
    decoder.sample_rate = sample_rate;
    hdcd_channel_reset(decoder.left, sample_rate);
    hdcd_channel_reset(decoder.right, sample_rate);
}

void hdcd_decoder_process(HdcdDecoder& decoder, int32_t* samples, uint64_t frames) {
    run_words(decoder, samples, frames);
}

void hdcd_decoder_follow(HdcdDecoder& decoder, const int32_t* samples, uint64_t frames) {
    run_words(decoder, samples, frames);
}

void hdcd_decoder_summary(const HdcdDecoder& decoder, HdcdSummary& summary) {
    hdcd_summary_from_channels(decoder.left, decoder.right, decoder.stereo_mismatch_samples, 0, summary);
}
