// Writer for integer PCM WAV output at 16 or 24 bits. The container is chosen
// once, at creation, from the caller's frame estimate: RIFF when its 32-bit size
// fields can hold the estimate, RF64 (with a ds64 chunk) when they cannot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

struct WavWriter {
    FILE* file = nullptr;  // the caller's stream; null before creation, after a failed creation and after finishing
    uint16_t channel_count = 0;
    uint16_t bits_per_sample = 0;  // 16 or 24
    uint32_t sample_rate = 0;
    uint64_t frames_written = 0;
    int32_t rf64 = 0;  // 1 when created as RF64
    int32_t riff_size_position = 0;
    int32_t data_size_position = 0;
    int32_t ds64_riff_size_position = 0;
    int32_t ds64_data_size_position = 0;
    int32_t ds64_sample_count_position = 0;
    std::vector<uint8_t> staging;  // one block of sample bytes, reused between writes
};

// Writes the provisional header to file, a new empty stream open for reading
// and writing that stays its owner's to close. On failure ("Unable to create
// output file." in error_text) the record is left cleared.
bool wav_writer_create(WavWriter& writer, FILE* file, uint32_t sample_rate, uint16_t channel_count,
                       uint16_t bits_per_sample, uint64_t expected_frames, char* error_text, size_t error_capacity);
bool wav_writer_create_pcm16(WavWriter& writer, FILE* file, uint32_t sample_rate, uint16_t channel_count,
                             uint64_t expected_frames, char* error_text, size_t error_capacity);
bool wav_writer_create_pcm24(WavWriter& writer, FILE* file, uint32_t sample_rate, uint16_t channel_count,
                             uint64_t expected_frames, char* error_text, size_t error_capacity);

// Appends frames of interleaved 16-bit samples. Returns the whole frames written;
// anything short of frames is a write error.
uint32_t wav_writer_write_pcm16(WavWriter& writer, const int16_t* samples, uint32_t frames);

// Appends frames of interleaved 32-bit samples holding the 24-bit value in their
// upper three bytes (the lowest byte is dropped). Returns the whole frames written.
uint32_t wav_writer_write_pcm24(WavWriter& writer, const int32_t* samples, uint32_t frames);

// Patches the size fields and flushes, then lets go of the stream. Returns false
// when a RIFF file has outgrown its 32-bit fields or when a patch or the flush
// fails. Does nothing and succeeds on a writer without a stream, so finishing
// twice is safe.
bool wav_writer_finish(WavWriter& writer);

// Lets go of the stream without patching anything, for failure paths whose file
// is about to be removed. Safe on a writer without a stream.
void wav_writer_close_unfinished(WavWriter& writer);
