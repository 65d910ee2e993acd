// Word-wise form of the packet detector and of the per-frame timer step, used
// by the decoder and the scanner. Feeding up to 64 bits at once gives exactly
// the same detector and channel records as pushing them one by one and
// ticking once per frame; tests hold the two forms against each other.
#pragma once

#include <cstdint>

#include "hdcd/hdcd_detector.h"

// Consecutive valid packets complete at least 9 bits apart, so a word of 64
// bits completes at most 8.
constexpr uint32_t HDCD_MAX_PACKETS_PER_WORD = 8;

// Valid packets that completed within one word: the index of the bit (0 = the
// first bit of the word) and the control byte.
struct HdcdPacketEvents {
    uint32_t count;
    uint32_t bit_index[HDCD_MAX_PACKETS_PER_WORD];
    uint8_t control[HDCD_MAX_PACKETS_PER_WORD];
};

// Pushes `count` bits (1 to 64): the first received in bit count - 1, the last
// in bit 0. Updates every detector field except `active_control` and
// `code_detect_timer`; the valid packets are left in `events` for
// hdcd_channels_advance, which loads them frame by frame.
void hdcd_detector_push_word(HdcdDetector& detector, uint64_t bits, uint32_t count, HdcdPacketEvents& events);

// Advances one channel's timer by `frames` frames in which no packet
// completes; the span must not run past the frame in which the timer expires.
inline void hdcd_channel_tick_span(HdcdChannelState& channel, uint32_t frames) {
    HdcdDetector& detector = channel.detector;
    if (detector.code_detect_timer == 0) return;
    channel.active_samples += frames;
    if (detector.active_control & HDCD_CONTROL_PEAK_EXTEND) channel.active_peak_extend_samples += frames;
    if (detector.active_control & HDCD_CONTROL_TRANSIENT_FILTER) channel.active_transient_filter_samples += frames;
    detector.code_detect_timer = static_cast<int32_t>(static_cast<uint32_t>(detector.code_detect_timer) - frames);
    if (detector.code_detect_timer == 0) {
        detector.timer_expirations += 1;
        detector.active_control = 0;
    }
}

// Walks the `frames` frames of one word of a channel pair. Packets load their
// control byte in the frame in which they complete; the frames are cut into
// spans in which both control bytes and both timers' running state are
// constant, and segment(first, end, control_left, control_right,
// running_left, running_right) is called for each span [first, end) before
// the timers are advanced over it. `running` is the timer state as it stands
// after the frame's bit was pushed, before its tick.
template <typename Segment>
inline void hdcd_channels_advance(HdcdChannelState& left, HdcdChannelState& right, const HdcdPacketEvents& left_events,
                                  const HdcdPacketEvents& right_events, uint32_t frames, Segment&& segment) {
    HdcdDetector& dl = left.detector;
    HdcdDetector& dr = right.detector;
    uint32_t next_left = 0;
    uint32_t next_right = 0;
    uint32_t frame = 0;
    while (frame < frames) {
        if (next_left < left_events.count && left_events.bit_index[next_left] == frame) {
            dl.active_control = left_events.control[next_left++];
            dl.code_detect_timer = static_cast<int32_t>(dl.timer_reload);
        }
        if (next_right < right_events.count && right_events.bit_index[next_right] == frame) {
            dr.active_control = right_events.control[next_right++];
            dr.code_detect_timer = static_cast<int32_t>(dr.timer_reload);
        }
        uint32_t end = frames;
        if (next_left < left_events.count && left_events.bit_index[next_left] < end) end = left_events.bit_index[next_left];
        if (next_right < right_events.count && right_events.bit_index[next_right] < end) end = right_events.bit_index[next_right];
        if (dl.code_detect_timer > 0 && static_cast<uint32_t>(dl.code_detect_timer) < end - frame) {
            end = frame + static_cast<uint32_t>(dl.code_detect_timer);
        }
        if (dr.code_detect_timer > 0 && static_cast<uint32_t>(dr.code_detect_timer) < end - frame) {
            end = frame + static_cast<uint32_t>(dr.code_detect_timer);
        }
        segment(frame, end, dl.active_control, dr.active_control, dl.code_detect_timer != 0, dr.code_detect_timer != 0);
        hdcd_channel_tick_span(left, end - frame);
        hdcd_channel_tick_span(right, end - frame);
        frame = end;
    }
}
