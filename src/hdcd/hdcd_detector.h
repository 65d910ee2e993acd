// One channel's HDCD packet detector: descrambles the signalling bit stream,
// finds sync words, validates packets and keeps the control byte in force
// under the code-detect timer.
#pragma once

#include <cstdint>

constexpr uint32_t HDCD_SYNC_WORD_A = 0x7E0FA005u;
constexpr uint32_t HDCD_SYNC_WORD_B = 0x7E0FA006u;
constexpr uint32_t HDCD_PACKET_NONE = 0;
constexpr uint32_t HDCD_PACKET_A = 5;
constexpr uint32_t HDCD_PACKET_B = 6;

constexpr uint8_t HDCD_CONTROL_GAIN_MASK = 0x0F;
constexpr uint8_t HDCD_CONTROL_PEAK_EXTEND = 0x10;
constexpr uint8_t HDCD_CONTROL_TRANSIENT_FILTER = 0x20;

// All-zero is the reset state; owners clear it and then set timer_reload.
struct HdcdDetector {
    uint64_t bit_history;           // raw received bits, newest in bit 0
    int32_t bits_pending;           // payload bits still to collect; 0 while searching
    uint32_t pending_type;          // HDCD_PACKET_NONE, _A or _B
    uint64_t bits_seen;             // bits received since reset
    uint64_t first_packet_bit;      // bits_seen when the first valid packet completed; 0 before one
    uint64_t last_packet_bit;       // bits_seen when the last valid packet completed
    int32_t packets_a;
    int32_t packets_b;
    int32_t packet_errors;
    int32_t sync_words;
    int32_t peak_extend_packets;
    int32_t transient_filter_packets;
    int32_t gain_histogram[16];     // valid packets per gain code
    uint8_t max_gain_code;
    uint8_t last_control;
    uint8_t active_control;         // control byte in force; 0 when none is
    int32_t code_detect_timer;      // frames left before active_control lapses; 0 = not running
    uint32_t timer_reload;          // loaded by every valid packet (2 x sample rate)
    int32_t timer_expirations;
};

struct HdcdChannelState {
    HdcdDetector detector;
    uint64_t active_samples;                   // frames during which the timer ran
    uint64_t active_peak_extend_samples;       // of those, with Peak Extend in force
    uint64_t active_transient_filter_samples;  // of those, with Transient Filter in force
};

// Feeds one bit (bit 0 of `bit`) of the channel's stream.
void hdcd_detector_push_bit(HdcdDetector& detector, uint32_t bit);

// Runs the code-detect timer down by one frame; called once per frame after
// that frame's bit was pushed and used.
void hdcd_channel_tick(HdcdChannelState& channel);

// Clears a channel state and sets the timer reload to two seconds of frames.
void hdcd_channel_reset(HdcdChannelState& channel, uint32_t sample_rate);

// Validates a completed payload from the descrambled word that ends with it.
// Returns true and the control byte for a valid packet of the given type.
bool hdcd_packet_decode(uint32_t packet_type, uint32_t word, uint8_t& control);

// Books the counters of a valid packet that completed with the current bit
// (everything but the control byte in force and the timer, which the caller
// loads) and ends the collection.
void hdcd_detector_count_packet(HdcdDetector& detector, uint8_t control);
