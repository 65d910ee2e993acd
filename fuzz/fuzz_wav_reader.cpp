// Opens arbitrary bytes as a WAV/RF64 file and reads it to the end. Every
// delivered sample is checked against the bytes of the file, so a reader that
// runs past its data, misplaces the data offset or sign-extends wrongly aborts.
#include <algorithm>
#include <vector>

#include "audio_io/wav_reader.h"
#include "fuzz_support.h"

namespace {

const uint32_t BLOCK_FRAMES = 16384;

int32_t expected_sample(const uint8_t* at, uint16_t container_bits, uint16_t valid_bits) {
    if (container_bits == 16) return static_cast<int16_t>(at[0] | (at[1] << 8));
    const uint32_t raw = static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
                         (static_cast<uint32_t>(at[2]) << 16);
    const int32_t value = static_cast<int32_t>(raw << 8) >> 8;
    return valid_bits == 20 ? value >> 4 : value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = fuzz::scratch_path(".wav");
    fuzz::write_scratch(path, data, size);

    WavReader reader;
    char error_text[256];
    memset(error_text, 'x', sizeof error_text);
    if (!wav_reader_open(reader, path.c_str(), error_text, sizeof error_text)) {
        fuzz::check_error_text(error_text, sizeof error_text);
        fuzz::check(reader.file == nullptr, "failed open left the stream open");
        wav_reader_close(reader);
        return 0;
    }

    const PcmStreamInfo& info = reader.info;
    fuzz::check(info.format_tag == 1 && info.channel_count == 2, "accepted a format other than stereo PCM");
    const bool depth_ok = (info.container_bits == 16 && info.valid_bits == 16) ||
                          (info.container_bits == 24 && (info.valid_bits == 20 || info.valid_bits == 24));
    fuzz::check(depth_ok, "accepted an unsupported depth");
    fuzz::check(info.data_offset >= 12 + 8 && static_cast<uint64_t>(info.data_offset) <= size,
                "data offset outside the file");

    // Everything between the data offset and the end of the data (or the file)
    // comes out, in whole frames, and nothing more.
    const uint64_t bytes_per_sample = info.container_bits / 8;
    const uint64_t present = std::min<uint64_t>(info.data_size, size - static_cast<uint64_t>(info.data_offset));
    const uint64_t expected_frames = present / (2 * bytes_per_sample);

    // Vary the request size so that block boundaries fall in different places.
    const uint32_t request = (size & 1) != 0 ? BLOCK_FRAMES : 1 + static_cast<uint32_t>(size % 997);
    std::vector<int32_t> samples(2 * static_cast<size_t>(BLOCK_FRAMES));
    uint64_t frames_done = 0;
    for (;;) {
        const uint32_t frames = wav_reader_read(reader, samples.data(), request);
        fuzz::check(frames <= request, "read delivered more frames than asked for");
        if (frames == 0) break;
        for (uint64_t i = 0; i < 2ull * frames; ++i) {
            const uint64_t offset = static_cast<uint64_t>(info.data_offset) + (2 * frames_done + i) * bytes_per_sample;
            fuzz::check(offset + bytes_per_sample <= size, "sample delivered from beyond the end of the file");
            if (samples[i] != expected_sample(data + offset, info.container_bits, info.valid_bits)) {
                fuzz::fail("sample differs from the file's bytes");
            }
        }
        frames_done += frames;
        fuzz::check(frames_done <= expected_frames, "more frames than the data holds");
    }
    fuzz::check(frames_done == expected_frames, "frames lost before the end of the data");
    fuzz::check(wav_reader_read(reader, samples.data(), request) == 0, "data after the end was reported");
    wav_reader_close(reader);
    fuzz::check(reader.file == nullptr, "close left the stream open");
    return 0;
}
