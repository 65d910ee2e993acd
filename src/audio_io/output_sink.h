// A WAV/RF64 or FLAC output behind one record. Blocks arrive as interleaved
// signed 32-bit stereo frames; the sink converts them to what its writer takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "audio_io/flac_writer.h"
#include "audio_io/pcm_stream_info.h"
#include "audio_io/wav_writer.h"

enum OutputKind { OUTPUT_KIND_WAV = 0, OUTPUT_KIND_FLAC = 1 };

struct OutputSink {
    int32_t kind;
    uint32_t bits_per_sample;  // 16 or 24
    bool open;
    WavWriter wav;
    FlacWriter flac;
    std::unique_ptr<int32_t[]> flac_staging;  // right-justified 24-bit copy of a decoded block
    std::unique_ptr<int16_t[]> wav_staging;   // 16-bit copy of a PCM16 block
    FILE* stream;                // the file both writers write to
    uint64_t frames_since_write_behind;  // frames written since the system was last asked to start writing back
};

// Starts a stereo WAV/RF64 output on file, a new stream that stays the
// caller's (the writer picks RF64 from the estimate).
bool output_sink_open_wav(OutputSink& sink, FILE* file, uint32_t sample_rate, uint32_t bits_per_sample,
                          uint64_t expected_frames, char* error_text, size_t error_capacity);

// Starts a stereo FLAC output on file with the given metadata blocks, which must stay
// alive until the sink is finished or abandoned. max_threads as for
// flac_writer_open (0: one encoder thread per processor).
bool output_sink_open_flac(OutputSink& sink, FILE* file, uint32_t sample_rate, uint32_t bits_per_sample,
                           uint64_t expected_frames, FLAC__StreamMetadata** blocks, uint32_t block_count,
                           uint32_t max_threads, char* error_text, size_t error_capacity);

// Allocates the staging buffer the writes need (none for some kinds). False when
// memory runs out.
bool output_sink_allocate(OutputSink& sink);

// Writes a block of decoded samples (32-bit full scale, PCM24 in the upper three
// bytes) to a 24-bit sink. Returns the frames written; fewer is a write error.
uint32_t output_sink_write_decoded(OutputSink& sink, const int32_t* samples, uint32_t frames);

// Writes a block of PCM16 samples (one per 32-bit value) to a 16-bit sink,
// unchanged. Returns the frames written; fewer is a write error.
uint32_t output_sink_write_pcm16(OutputSink& sink, const int32_t* samples, uint32_t frames);

// True when finishing a WAV sink would fail because a RIFF file outgrew its
// 32-bit size fields (only possible when the size estimate was too small).
bool output_sink_past_riff_limit(const OutputSink& sink);

// Completes and flushes the file. False when the writer could not finish it
// cleanly.
bool output_sink_finish(OutputSink& sink);

// Ends a failed run's output without completing it; the caller removes the file.
void output_sink_abandon(OutputSink& sink);

// "FLAC", or the WAV writer's own choice: "RF64" or "WAV".
const char* output_sink_container_name(const OutputSink& sink);
