// Opens arbitrary bytes as a WAV/RF64 file and reads it to the end. Every
// delivered sample is checked against the file's bytes, so a reader that runs
// past its data, misplaces the data offset or sign-extends wrongly aborts.
#include <algorithm>
#include <vector>

#include "audio_io/wav_reader.h"
#include "fuzz_support.h"

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
    const bool pcm24 = info.container_bits == 24 && (info.valid_bits == 20 || info.valid_bits == 24);
    fuzz::check(pcm24 || (info.container_bits == 16 && info.valid_bits == 16), "accepted an unsupported depth");
    fuzz::check(info.data_offset >= 12 + 8 && static_cast<uint64_t>(info.data_offset) <= size, "data offset outside the file");

    // Exactly the whole frames between the data offset and the end of the data (or the file) come out.
    const uint64_t width = info.container_bits / 8;
    const uint64_t expected_frames =
        std::min<uint64_t>(info.data_size, size - static_cast<uint64_t>(info.data_offset)) / (2 * width);
    // Vary the request size so that block boundaries fall in different places.
    const uint32_t request = (size & 1) != 0 ? 16384 : 1 + static_cast<uint32_t>(size % 997);
    std::vector<int32_t> samples(2 * 16384);
    uint64_t frames_done = 0;
    while (const uint32_t frames = wav_reader_read(reader, samples.data(), request)) {
        fuzz::check(frames <= request && frames_done + frames <= expected_frames, "more frames than asked for or held");
        for (uint64_t i = 0; i < 2ull * frames; ++i) {
            const uint8_t* at = data + info.data_offset + (2 * frames_done + i) * width;
            uint32_t raw = 0;  // the sample's bytes at the top of a word, then shifted down with its sign
            for (uint64_t b = 0; b < width; ++b) raw |= static_cast<uint32_t>(at[b]) << (8 * (4 - width + b));
            const int32_t value = static_cast<int32_t>(raw) >> (32 - info.valid_bits);
            fuzz::check(samples[i] == value, "sample differs from the file's bytes");
        }
        frames_done += frames;
    }
    fuzz::check(frames_done == expected_frames, "frames lost before the end of the data");
    fuzz::check(wav_reader_read(reader, samples.data(), request) == 0, "data after the end was reported");
    wav_reader_close(reader);
    fuzz::check(reader.file == nullptr, "close left the stream open");
    return 0;
}
