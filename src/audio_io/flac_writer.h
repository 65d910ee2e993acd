// FLAC output through libFLAC's stream encoder (compression level 5, verified),
// taking interleaved frames of signed 32-bit samples right-justified at the
// configured bits per sample.
#pragma once

#include <FLAC/stream_encoder.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct FlacWriter {
    FLAC__StreamEncoder* encoder;
    FILE* file;  // the caller's output stream, which libFLAC writes through callbacks
    uint32_t sample_rate;
    uint32_t bits_per_sample;
    uint32_t channels;
    uint64_t total_samples_estimate;
    int32_t write_error;  // a block failed to encode or a write, seek or tell failed; later writes are refused
};

// Prepares the encoder to write to file, a new empty stream open for reading and
// writing that stays its owner's to close. blocks (count entries, may be nullptr
// when count is 0) are written after STREAMINFO in list order; they are not
// copied and must stay alive until flac_writer_finish has returned, and so must
// the writer record itself at its address. On failure error_text holds the
// reason and there is no encoder. max_threads caps the
// threads a libFLAC that has them may encode on (0: one per processor, at most
// 16); the output does not depend on it.
bool flac_writer_open(FlacWriter& writer, FILE* file, uint32_t sample_rate, uint32_t bits_per_sample,
                      uint32_t channels, uint64_t total_samples_estimate, FLAC__StreamMetadata** blocks,
                      uint32_t block_count, uint32_t max_threads, char* error_text, size_t error_capacity);

// Encodes frames interleaved frames; returns frames, or 0 on failure or when the
// writer is closed or has failed before.
uint64_t flac_writer_write(FlacWriter& writer, const int32_t* samples, uint64_t frames);

// Completes the file, releases the encoder and flushes the stream. True only
// when every write succeeded, libFLAC finished cleanly (verification and the
// final writes included) and the final flush succeeded. True on a writer
// without an encoder; safe to call twice.
bool flac_writer_finish(FlacWriter& writer);
