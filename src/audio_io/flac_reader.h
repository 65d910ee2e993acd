// FLAC input through libFLAC's stream decoder, delivered in the same block shape
// as WAV input: interleaved stereo frames of signed 32-bit samples,
// right-justified at the stream's bits per sample.
#pragma once

#include <FLAC/stream_decoder.h>

#include <cstddef>
#include <cstdint>

struct FlacReader {
    FLAC__StreamDecoder* decoder;
    uint32_t sample_rate;
    uint32_t bits_per_sample;
    uint32_t channels;
    uint64_t total_samples;  // frames per STREAMINFO; 0 when the stream does not say
    int32_t* frame_buffer;   // the last decoded FLAC frame, interleaved left, right
    uint64_t buffer_capacity;
    uint64_t buffered_frames;
    uint64_t taken_frames;
    // While a read waits for the next frame: where the caller's block has room
    // for it, and the frames the frame callback put there directly.
    int32_t* direct_target;
    uint64_t direct_room;
    uint64_t direct_frames;
    // Deep copies of the input's VORBIS_COMMENT and PICTURE blocks, in stream order.
    FLAC__StreamMetadata** carried_blocks;
    uint32_t carried_count;
    uint32_t carried_capacity;
    int32_t streaminfo_seen;
    int32_t end_of_stream;
    int32_t error;  // any decoding failure, a bad MD5 signature included
};

// Opens path and reads its metadata. On success the format fields and carried
// blocks are filled and the stream is stereo at 16, 20 or 24 bits. On failure the
// reader is closed and error_text holds the reason.
bool flac_reader_open(FlacReader& reader, const char* path, char* error_text, size_t error_capacity);

// Delivers up to max_frames frames into samples (2 values per frame). 0 means
// the end of the stream or a failure: the error flag tells which. When the whole
// stream has been decoded its MD5 signature is checked, and a mismatch sets the
// error flag.
uint64_t flac_reader_read(FlacReader& reader, int32_t* samples, uint64_t max_frames);

// Releases the decoder, the carried blocks and the buffers; safe on a cleared or
// already closed reader.
void flac_reader_close(FlacReader& reader);
