#include <gtest/gtest.h>

#include "hdcd_test_support.h"

using namespace hdcd_test;

namespace {

HdcdChannelState fresh_channel(uint32_t sample_rate = 44100) {
    HdcdChannelState channel;
    hdcd_channel_reset(channel, sample_rate);
    return channel;
}

}  // namespace

TEST(HdcdDetector, PacketValidityAndControlBytes) {
    struct Case {
        const char* name;
        char type;
        uint8_t first;
        uint8_t second;  // type B only
        bool valid;
        uint8_t control;
    };
    const Case cases[] = {
        {"A: Peak Extend and gain code 14", 'A', 0x17, 0, true, 0x1E},
        {"A: Transient Filter, gain code 2", 'A', 0x21, 0, true, 0x22},
        {"A: bit 3 set", 'A', 0x08, 0, false, 0},
        {"A: bit 6 set", 'A', 0x40, 0, false, 0},
        {"A: bit 7 set", 'A', 0x80, 0, false, 0},
        {"B: gain code 8", 'B', 0x08, 0xF7, true, 0x08},
        {"B: check byte one off", 'B', 0x08, 0xF6, false, 0},
        {"B: bits 6 and 7 are free", 'B', 0xC8, 0x37, true, 0xC8},
        {"B: odd gain code 15 with both flags", 'B', 0x3F, 0xC0, true, 0x3F},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bits plain;
        append_zeros(plain, 10);
        if (c.type == 'A') {
            append_packet_a(plain, c.first);
        } else {
            append_packet_b(plain, c.first, c.second);
        }
        HdcdChannelState channel = fresh_channel();
        channel_push_bits(channel, scramble(plain));
        const HdcdDetector& d = channel.detector;
        EXPECT_EQ(d.sync_words, 1);
        EXPECT_EQ(d.packets_a, c.valid && c.type == 'A' ? 1 : 0);
        EXPECT_EQ(d.packets_b, c.valid && c.type == 'B' ? 1 : 0);
        EXPECT_EQ(d.packet_errors, c.valid ? 0 : 1);
        EXPECT_EQ(d.active_control, c.control);
        EXPECT_EQ(d.max_gain_code, c.control & 0x0F);
        EXPECT_EQ(d.gain_histogram[c.control & 0x0F], c.valid ? 1 : 0);
        EXPECT_EQ(d.peak_extend_packets, (c.control & 0x10) ? 1 : 0);
        EXPECT_EQ(d.transient_filter_packets, (c.control & 0x20) ? 1 : 0);
        EXPECT_EQ(d.last_packet_bit, c.valid ? plain.size() : 0u);
        EXPECT_EQ(d.bits_pending, 0);
        EXPECT_EQ(d.pending_type, HDCD_PACKET_NONE);
    }
}

TEST(HdcdDetector, TypeAOnlyCarriesEvenGainCodes) {
    for (uint32_t field = 0; field < 8; ++field) {
        Bits plain;
        append_packet_a(plain, static_cast<uint8_t>(field));
        HdcdChannelState channel = fresh_channel();
        channel_push_bits(channel, scramble(plain));
        EXPECT_EQ(channel.detector.active_control, 2 * field);
    }
}

TEST(HdcdDetector, SilenceYieldsNothingAndSearchResumesAfterAPayload) {
    HdcdChannelState silent = fresh_channel();
    channel_push_bits(silent, Bits(100000, 0u));
    EXPECT_EQ(silent.detector.bits_seen, 100000u);
    EXPECT_EQ(silent.detector.sync_words, 0);
    EXPECT_EQ(silent.active_samples, 0u);

    // A type B sync whose payload swallows the first 16 bits of a type A
    // packet: the B packet fails, and the A sync, which ends after that
    // payload, is still found because the search looks at the last 32 bits.
    Bits plain;
    append_bits(plain, HDCD_SYNC_WORD_B, 32);
    append_packet_a(plain, 0x07);
    HdcdChannelState channel = fresh_channel();
    channel_push_bits(channel, scramble(plain));
    EXPECT_EQ(channel.detector.sync_words, 2);
    EXPECT_EQ(channel.detector.packet_errors, 1);
    EXPECT_EQ(channel.detector.packets_a, 1);
    EXPECT_EQ(channel.detector.active_control, 0x0E);
}

TEST(HdcdDetector, InvalidPacketLeavesControlAndTimer) {
    Bits plain;
    append_packet_b(plain, 0x12);
    append_zeros(plain, 100);
    append_packet_b(plain, 0x08, 0x00);
    HdcdChannelState channel = fresh_channel(1000);
    channel_push_bits(channel, scramble(plain));
    EXPECT_EQ(channel.detector.packet_errors, 1);
    EXPECT_EQ(channel.detector.active_control, 0x12);
    EXPECT_EQ(channel.detector.last_control, 0x12);
    // The timer kept running from the valid packet: loaded with 2000 in the
    // frame that completed it and ticked in that frame and the 148 after it.
    EXPECT_EQ(channel.detector.code_detect_timer, 2000 - 1 - 148);
}

TEST(HdcdDetector, TimerKeepsControlForTwoSecondsAfterTheLastPacket) {
    struct Case {
        const char* name;
        int packets;
        uint32_t gap;  // frames from the end of one packet to the end of the next
        uint64_t active;
        int expirations;
    };
    const Case cases[] = {
        {"single packet", 1, 0, 88200, 1},
        {"reloaded before expiry", 3, 50000, 100000 + 88200, 1},
        {"lapses between packets", 2, 90000, 2 * 88200, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bits plain;
        for (int i = 0; i < c.packets; ++i) {
            if (i > 0) append_zeros(plain, c.gap - 48);
            append_packet_b(plain, 0x31);
        }
        const size_t last_packet_end = plain.size();
        append_zeros(plain, 200000);
        HdcdChannelState channel = fresh_channel(44100);

        const Bits raw = scramble(plain);
        for (size_t n = 0; n < raw.size(); ++n) {
            hdcd_detector_push_bit(channel.detector, raw[n]);
            hdcd_channel_tick(channel);
            // The control byte lapses in the tick of the frame 88199 frames
            // after the one that completed the last packet.
            if (n == last_packet_end - 1 + 88198) {
                EXPECT_EQ(channel.detector.active_control, 0x31);
            }
            if (n == last_packet_end - 1 + 88199) {
                EXPECT_EQ(channel.detector.active_control, 0);
            }
        }
        EXPECT_EQ(channel.active_samples, c.active);
        EXPECT_EQ(channel.active_peak_extend_samples, c.active);
        EXPECT_EQ(channel.active_transient_filter_samples, c.active);
        EXPECT_EQ(channel.detector.timer_expirations, c.expirations);
        EXPECT_EQ(channel.detector.code_detect_timer, 0);
    }
}
