#include "tools/pcm_compare.h"

#include <cstdint>
#include <memory>
#include <new>

#include "audio_io/wav_reader.h"
#include "console/console.h"
#include "audio_io/block_size.h"

namespace {

struct FirstMismatch {
    uint64_t frame;
    uint32_t channel;
    int32_t a;
    int32_t b;
};

int compare_open_readers(WavReader& reader_a, WavReader& reader_b) {
    const PcmStreamInfo& a = reader_a.info;
    const PcmStreamInfo& b = reader_b.info;
    if (a.sample_rate != b.sample_rate || a.channel_count != b.channel_count || a.valid_bits != b.valid_bits ||
        pcm_stream_info_expected_frames(a) != pcm_stream_info_expected_frames(b)) {
        print_to_stream(stderr, "PCM formats/frame counts differ.\n");
        return 1;
    }

    std::unique_ptr<int32_t[]> block_a(new (std::nothrow) int32_t[BLOCK_SAMPLES]);
    std::unique_ptr<int32_t[]> block_b(new (std::nothrow) int32_t[BLOCK_SAMPLES]);
    if (!block_a || !block_b) {
        print_to_stream(stderr, "Out of memory.\n");
        return 1;
    }

    uint64_t total_frames = 0;
    uint64_t mismatches = 0;
    uint32_t max_delta = 0;
    FirstMismatch first = {};
    for (;;) {
        const uint32_t frames_a = wav_reader_read(reader_a, block_a.get(), BLOCK_FRAMES);
        const uint32_t frames_b = wav_reader_read(reader_b, block_b.get(), BLOCK_FRAMES);
        if (frames_a != frames_b) {
            print_to_stream(stderr, "PCM frame counts differ while reading.\n");
            return 1;
        }
        if (frames_a == 0) break;
        const size_t count = 2 * static_cast<size_t>(frames_a);
        for (size_t i = 0; i < count; ++i) {
            const int32_t value_a = block_a[i];
            const int32_t value_b = block_b[i];
            if (value_a == value_b) continue;
            if (mismatches == 0) {
                first = FirstMismatch{total_frames + i / 2, static_cast<uint32_t>(i % 2), value_a, value_b};
            }
            // Widened so that full-scale opposites cannot overflow; at most 2^32 - 1.
            const int64_t difference = static_cast<int64_t>(value_a) - value_b;
            const uint64_t magnitude = static_cast<uint64_t>(difference < 0 ? -difference : difference);
            const uint32_t delta = magnitude > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(magnitude);
            if (delta > max_delta) max_delta = delta;
            ++mismatches;
        }
        total_frames += frames_a;
    }

    print_to_stdout("PCM compare\n");
    print_to_stdout("Frames: %llu\n", static_cast<unsigned long long>(total_frames));
    if (mismatches == 0) {
        print_to_stdout("Result: IDENTICAL\n");
        return 0;
    }
    print_to_stdout("Result: DIFFERENT\n");
    print_to_stdout("Mismatched samples: %llu\n", static_cast<unsigned long long>(mismatches));
    print_to_stdout("First mismatch: frame %llu, channel %u\n", static_cast<unsigned long long>(first.frame),
                    first.channel);
    print_to_stdout("  A: %d\n", first.a);
    print_to_stdout("  B: %d\n", first.b);
    print_to_stdout("Maximum absolute sample delta: %u\n", max_delta);
    return 3;
}

}  // namespace

int pcm_compare(const char* path_a, const char* path_b) {
    char error_text[256];
    WavReader reader_a;
    if (!wav_reader_open(reader_a, path_a, error_text, sizeof error_text)) {
        print_to_stream(stderr, "Error opening A: %s\n", error_text);
        return 1;
    }
    WavReader reader_b;
    if (!wav_reader_open(reader_b, path_b, error_text, sizeof error_text)) {
        print_to_stream(stderr, "Error opening B: %s\n", error_text);
        wav_reader_close(reader_a);
        return 1;
    }
    const int status = compare_open_readers(reader_a, reader_b);
    wav_reader_close(reader_b);
    wav_reader_close(reader_a);
    return status;
}
