#include <gtest/gtest.h>

#include "hdcd_test_support.h"

using namespace hdcd_test;

TEST(HdcdDetector, PacketValidityControlBytesAndTimer) {
    const struct {
        const char* name;
        Bits plain;
        int syncs, a, b, errors;
        uint8_t control;
        int32_t timer;  // 2 s of frames less those since the last valid packet completed
        uint64_t active;
        int expirations;
    } cases[] = {
        {"A: Peak Extend and gain code 14", zeros(9) + packet_a(0x17), 1, 1, 0, 0, 0x1E, 88199, 1, 0},
        {"A: Transient Filter, gain code 2", packet_a(0x21), 1, 1, 0, 0, 0x22, 88199, 1, 0},
        {"A: bit 3 set", packet_a(0x08), 1, 0, 0, 1, 0, 0, 0, 0},
        {"A: bit 6 set", packet_a(0x40), 1, 0, 0, 1, 0, 0, 0, 0},
        {"A: bit 7 set", packet_a(0x80), 1, 0, 0, 1, 0, 0, 0, 0},
        {"B: gain code 8", packet_b(0x08, 0xF7), 1, 0, 1, 0, 0x08, 88199, 1, 0},
        {"B: check byte one off", packet_b(0x08, 0xF6), 1, 0, 0, 1, 0, 0, 0, 0},
        {"B: bits 6 and 7 are free", packet_b(0xC8, 0x37), 1, 0, 1, 0, 0xC8, 88199, 1, 0},
        {"B: gain code 15 with both flags", packet_b(0x3F, 0xC0), 1, 0, 1, 0, 0x3F, 88199, 1, 0},
        {"B: an invalid packet leaves control and timer", packet_b(0x12) + zeros(100) + packet_b(0x08, 0),
         2, 0, 1, 1, 0x12, 88199 - 148, 149, 0},
        // The B payload swallows half the A packet; the A sync is still found.
        {"A sync inside a B payload", word(SYNC_B, 32) + packet_a(0x07), 2, 1, 0, 1, 0x0E, 88199, 1, 0},
        {"single packet, then silence past two seconds", packet_b(0x31) + zeros(200000), 1, 0, 1, 0, 0, 0, 88200, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HdcdChannelState channel;
        hdcd_channel_reset(channel, 44100);
        for (uint32_t bit : scramble(c.plain)) {
            hdcd_detector_push_bit(channel.detector, bit);
            hdcd_channel_tick(channel);
        }
        const HdcdDetector& d = channel.detector;
        EXPECT_EQ(d.sync_words, c.syncs);
        EXPECT_EQ(d.packets_a, c.a);
        EXPECT_EQ(d.packets_b, c.b);
        EXPECT_EQ(d.packet_errors, c.errors);
        EXPECT_EQ(d.active_control, c.control);
        EXPECT_EQ(d.code_detect_timer, c.timer);
        EXPECT_EQ(channel.active_samples, c.active);
        EXPECT_EQ(d.timer_expirations, c.expirations);
    }
}
