#include "hdcd/hdcd_detector_words.h"

namespace {

__extension__ typedef unsigned __int128 Bits128;

inline uint64_t low_bits(uint32_t count) {
    return count >= 64 ? ~0ull : (1ull << count) - 1;
}

inline int highest_bit(uint64_t value) {
    return 63 - __builtin_clzll(value);
}

}  // namespace

void hdcd_detector_push_word(HdcdDetector& detector, uint64_t bits, uint32_t count, HdcdPacketEvents& events) {
    events.count = 0;
    // A stream of zeros that has only ever been zeros descrambles to zeros and
    // holds no sync word: the bit positions below a widened PCM16 sample, and
    // digital silence, cost no more than the count.
    if ((detector.bit_history | bits) == 0 && detector.bits_pending == 0) {
        detector.bits_seen += count;
        return;
    }
    // The raw stream with the history above the new bits; bit p of the
    // descrambled stream is the bit received count - 1 - p bits into the word,
    // and the 32 bits from p upward are the descrambled word after that bit.
    const Bits128 raw = (static_cast<Bits128>(detector.bit_history) << count) | bits;
    const Bits128 descrambled = raw ^ (raw >> 5) ^ (raw >> 23);
    const uint64_t seen_before = detector.bits_seen;
    detector.bit_history = static_cast<uint64_t>(raw);

    auto complete = [&](uint32_t index) {
        detector.bits_seen = seen_before + index + 1;
        const uint32_t word = static_cast<uint32_t>(descrambled >> (count - 1 - index));
        uint8_t control = 0;
        if (hdcd_packet_decode(detector.pending_type, word, control)) {
            hdcd_detector_count_packet(detector, control);
            events.bit_index[events.count] = index;
            events.control[events.count] = control;
            events.count += 1;
        } else {
            detector.packet_errors += 1;
            detector.pending_type = HDCD_PACKET_NONE;
        }
    };

    uint32_t next = 0;  // first bit that may still start a search
    if (detector.bits_pending > 0) {
        const uint32_t pending = static_cast<uint32_t>(detector.bits_pending);
        if (pending > count) {
            detector.bits_pending -= static_cast<int32_t>(count);
            detector.bits_seen = seen_before + count;
            return;
        }
        detector.bits_pending = 0;
        complete(pending - 1);
        next = pending;
    }

    if (next < count) {
        // Candidates: positions whose word starts with the sync byte 0x7E.
        const uint64_t t0 = static_cast<uint64_t>(descrambled >> 24);
        const uint64_t t1 = static_cast<uint64_t>(descrambled >> 25);
        const uint64_t t2 = static_cast<uint64_t>(descrambled >> 26);
        const uint64_t t3 = static_cast<uint64_t>(descrambled >> 27);
        const uint64_t t4 = static_cast<uint64_t>(descrambled >> 28);
        const uint64_t t5 = static_cast<uint64_t>(descrambled >> 29);
        const uint64_t t6 = static_cast<uint64_t>(descrambled >> 30);
        const uint64_t t7 = static_cast<uint64_t>(descrambled >> 31);
        uint64_t candidates = ~t0 & t1 & t2 & t3 & t4 & t5 & t6 & ~t7 & low_bits(count - next);
        while (candidates != 0) {
            const int position = highest_bit(candidates);
            candidates &= ~(1ull << position);
            const uint32_t word = static_cast<uint32_t>(descrambled >> position);
            if (word != HDCD_SYNC_WORD_A && word != HDCD_SYNC_WORD_B) continue;
            detector.sync_words += 1;
            uint32_t pending;
            if (word == HDCD_SYNC_WORD_A) {
                detector.pending_type = HDCD_PACKET_A;
                pending = 8;
            } else {
                detector.pending_type = HDCD_PACKET_B;
                pending = 16;
            }
            const uint32_t sync_index = count - 1 - static_cast<uint32_t>(position);
            const uint32_t done_index = sync_index + pending;
            if (done_index >= count) {
                detector.bits_pending = static_cast<int32_t>(pending - (count - 1 - sync_index));
                break;
            }
            complete(done_index);
            // The bit that completed the payload is not searched.
            candidates &= low_bits(count - 1 - done_index);
        }
    }
    detector.bits_seen = seen_before + count;
}
