// A WAV/RF64 or FLAC input behind one record, so that a block loop reads either
// the same way. The container is chosen by the caller (normally from the path's
// suffix), never by sniffing the file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "audio_io/flac_reader.h"
#include "audio_io/wav_reader.h"

enum InputKind { INPUT_KIND_WAV = 0, INPUT_KIND_FLAC = 1 };

struct InputSource {
    int32_t kind;
    WavReader wav;
    FlacReader flac;
    uint32_t sample_rate;
    uint32_t valid_bits;      // WAV valid bits, or FLAC bits per sample
    uint32_t container_bits;  // WAV container bits, or FLAC bits per sample
    uint32_t channels;
    uint64_t expected_frames;  // WAV data size / block align, or the STREAMINFO total; 0 when unknown
    int32_t rf64;              // 1 for an RF64 input
};

// Opens path with the reader of the given kind. On failure the reader's message
// is in error_text and nothing stays open.
bool input_source_open(InputSource& source, const char* path, int32_t kind, char* error_text,
                       size_t error_capacity);

// As input_source_open, for a conversion, which reads its input twice (the
// pre-check, then the operation): anything but a regular file is refused with
// the reader's open-failure message (the FLAC reader refuses pipes and devices
// for every caller).
bool input_source_open_file(InputSource& source, const char* path, int32_t kind, char* error_text,
                            size_t error_capacity);

// Up to max_frames interleaved stereo frames, right-justified at the valid width.
// 0 at the end of the input or after a failure (see input_source_failed).
uint32_t input_source_read(InputSource& source, int32_t* samples, uint32_t max_frames);

// True when the FLAC decoder failed somewhere in the stream (MD5 mismatch at the
// end included) or a WAV read failed. A WAV input that ends early is not a
// failure.
bool input_source_failed(const InputSource& source);

// True for a WAV input whose file ended before the data size its header
// declares (what it held was delivered); never for FLAC.
bool input_source_data_short(const InputSource& source);

// The line that tells what failed: FLAC_DECODE_ERROR_TEXT or
// INPUT_READ_ERROR_TEXT.
const char* input_source_failure_text(const InputSource& source);

// Closes the reader; safe to call twice.
void input_source_close(InputSource& source);
