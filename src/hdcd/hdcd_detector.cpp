#include "hdcd/hdcd_detector.h"

#include <cstring>

namespace {

// The 32 most recent descrambled bits, newest in bit 0.
inline uint32_t descrambled_word(uint64_t history) {
    return static_cast<uint32_t>(history ^ (history >> 5) ^ (history >> 23));
}

}  // namespace

void hdcd_channel_reset(HdcdChannelState& channel, uint32_t sample_rate) {
    std::memset(&channel, 0, sizeof channel);
    channel.detector.timer_reload = 2u * sample_rate;
}

bool hdcd_packet_decode(uint32_t packet_type, uint32_t word, uint8_t& control) {
    if (packet_type == HDCD_PACKET_A) {
        if ((word & 0x0FA00500u) != 0x0FA00500u || (word & 0xC8u) != 0) return false;
        const uint32_t payload = word & 0xFFu;
        // Bits 0-2 carry half the gain code; bits 4 and 5 are the flags.
        control = static_cast<uint8_t>(payload + (payload & 7u));
        return true;
    }
    if (packet_type == HDCD_PACKET_B) {
        if ((word & 0xA0060000u) != 0xA0060000u) return false;
        const uint32_t first = (word >> 8) & 0xFFu;
        if ((word & 0xFFu) != (~first & 0xFFu)) return false;
        control = static_cast<uint8_t>(first);
        return true;
    }
    return false;
}

void hdcd_detector_count_packet(HdcdDetector& detector, uint8_t control) {
    if (detector.pending_type == HDCD_PACKET_A) {
        detector.packets_a += 1;
    } else {
        detector.packets_b += 1;
    }
    detector.last_control = control;
    if (control & HDCD_CONTROL_PEAK_EXTEND) detector.peak_extend_packets += 1;
    if (control & HDCD_CONTROL_TRANSIENT_FILTER) detector.transient_filter_packets += 1;
    const uint8_t gain_code = control & HDCD_CONTROL_GAIN_MASK;
    detector.gain_histogram[gain_code] += 1;
    if (gain_code > detector.max_gain_code) detector.max_gain_code = gain_code;
    if (detector.first_packet_bit == 0) detector.first_packet_bit = detector.bits_seen;
    detector.last_packet_bit = detector.bits_seen;
    detector.pending_type = HDCD_PACKET_NONE;
}

void hdcd_detector_push_bit(HdcdDetector& detector, uint32_t bit) {
    detector.bits_seen += 1;
    detector.bit_history = (detector.bit_history << 1) | (bit & 1u);

    if (detector.bits_pending == 0) {
        const uint32_t word = descrambled_word(detector.bit_history);
        if (word == HDCD_SYNC_WORD_A) {
            detector.sync_words += 1;
            detector.pending_type = HDCD_PACKET_A;
            detector.bits_pending = 8;
        } else if (word == HDCD_SYNC_WORD_B) {
            detector.sync_words += 1;
            detector.pending_type = HDCD_PACKET_B;
            detector.bits_pending = 16;
        }
        return;
    }

    detector.bits_pending -= 1;
    if (detector.bits_pending != 0) return;

    uint8_t control = 0;
    if (!hdcd_packet_decode(detector.pending_type, descrambled_word(detector.bit_history), control)) {
        detector.packet_errors += 1;
        detector.pending_type = HDCD_PACKET_NONE;
        return;
    }
    hdcd_detector_count_packet(detector, control);
    detector.code_detect_timer = static_cast<int32_t>(detector.timer_reload);
    detector.active_control = control;
}

void hdcd_channel_tick(HdcdChannelState& channel) {
    HdcdDetector& detector = channel.detector;
    if (detector.code_detect_timer == 0) return;
    channel.active_samples += 1;
    if (detector.active_control & HDCD_CONTROL_PEAK_EXTEND) channel.active_peak_extend_samples += 1;
    if (detector.active_control & HDCD_CONTROL_TRANSIENT_FILTER) channel.active_transient_filter_samples += 1;
    detector.code_detect_timer -= 1;
    if (detector.code_detect_timer == 0) {
        detector.timer_expirations += 1;
        detector.active_control = 0;
    }
}
