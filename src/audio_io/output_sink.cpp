#include "audio_io/output_sink.h"

#include <new>

#include "audio_io/block_size.h"
#include "platform/output_placement.h"

namespace {

const uint64_t RIFF_SIZE_LIMIT = 0xFFFFFFFFull;
const uint64_t RIFF_HEADER_AFTER_SIZE = 36;  // bytes the RIFF size field counts besides the samples
// The output is synced to disk before it takes its name. Asking the system to
// start writing back every few megabytes keeps that final sync short, instead
// of leaving the whole file to be written out at the end.
const uint64_t WRITE_BEHIND_FRAMES = 4 * BLOCK_FRAMES;

// Counts the frames a write delivered and now and then starts their writeback.
uint32_t written(OutputSink& sink, uint32_t frames) {
    sink.frames_since_write_behind += frames;
    if (sink.frames_since_write_behind >= WRITE_BEHIND_FRAMES) {
        sink.frames_since_write_behind = 0;
        platform_stream_write_behind(sink.stream);
    }
    return frames;
}

}  // namespace

bool output_sink_open_wav(OutputSink& sink, FILE* file, uint32_t sample_rate, uint32_t bits_per_sample,
                          uint64_t expected_frames, char* error_text, size_t error_capacity) {
    sink.kind = OUTPUT_KIND_WAV;
    sink.bits_per_sample = bits_per_sample;
    sink.stream = file;
    sink.frames_since_write_behind = 0;
    sink.open = bits_per_sample == 16
                    ? wav_writer_create_pcm16(sink.wav, file, sample_rate, 2, expected_frames, error_text,
                                              error_capacity)
                    : wav_writer_create_pcm24(sink.wav, file, sample_rate, 2, expected_frames, error_text,
                                              error_capacity);
    return sink.open;
}

bool output_sink_open_flac(OutputSink& sink, FILE* file, uint32_t sample_rate, uint32_t bits_per_sample,
                           uint64_t expected_frames, FLAC__StreamMetadata** blocks, uint32_t block_count,
                           uint32_t max_threads, char* error_text, size_t error_capacity) {
    sink.kind = OUTPUT_KIND_FLAC;
    sink.bits_per_sample = bits_per_sample;
    sink.stream = file;
    sink.frames_since_write_behind = 0;
    sink.flac = FlacWriter{};
    sink.open = flac_writer_open(sink.flac, file, sample_rate, bits_per_sample, 2, expected_frames, blocks,
                                 block_count, max_threads, error_text, error_capacity);
    return sink.open;
}

bool output_sink_allocate(OutputSink& sink) {
    if (sink.kind == OUTPUT_KIND_FLAC && sink.bits_per_sample == 24) {
        sink.flac_staging.reset(new (std::nothrow) int32_t[BLOCK_SAMPLES]);
        return sink.flac_staging != nullptr;
    }
    if (sink.kind == OUTPUT_KIND_WAV && sink.bits_per_sample == 16) {
        sink.wav_staging.reset(new (std::nothrow) int16_t[BLOCK_SAMPLES]);
        return sink.wav_staging != nullptr;
    }
    return true;
}

uint32_t output_sink_write_decoded(OutputSink& sink, const int32_t* samples, uint32_t frames) {
    if (sink.kind == OUTPUT_KIND_WAV) return written(sink, wav_writer_write_pcm24(sink.wav, samples, frames));
    int32_t* out = sink.flac_staging.get();
    if (out == nullptr || frames > BLOCK_FRAMES) return 0;
    const size_t count = 2 * static_cast<size_t>(frames);
    for (size_t i = 0; i < count; ++i) out[i] = samples[i] >> 8;  // arithmetic: the sign is kept
    return written(sink, static_cast<uint32_t>(flac_writer_write(sink.flac, out, frames)));
}

uint32_t output_sink_write_pcm16(OutputSink& sink, const int32_t* samples, uint32_t frames) {
    if (sink.kind == OUTPUT_KIND_FLAC) {
        return written(sink, static_cast<uint32_t>(flac_writer_write(sink.flac, samples, frames)));
    }
    int16_t* out = sink.wav_staging.get();
    if (out == nullptr || frames > BLOCK_FRAMES) return 0;
    const size_t count = 2 * static_cast<size_t>(frames);
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<int16_t>(samples[i]);
    return written(sink, wav_writer_write_pcm16(sink.wav, out, frames));
}

bool output_sink_past_riff_limit(const OutputSink& sink) {
    if (sink.kind != OUTPUT_KIND_WAV || sink.wav.rf64 != 0) return false;
    const uint64_t frame_bytes = 2ull * (sink.wav.bits_per_sample / 8u);
    return sink.wav.frames_written * frame_bytes + RIFF_HEADER_AFTER_SIZE > RIFF_SIZE_LIMIT;
}

bool output_sink_finish(OutputSink& sink) {
    if (!sink.open) return true;
    sink.open = false;
    if (sink.kind == OUTPUT_KIND_FLAC) return flac_writer_finish(sink.flac);
    return wav_writer_finish(sink.wav);
}

void output_sink_abandon(OutputSink& sink) {
    if (!sink.open) return;
    sink.open = false;
    if (sink.kind == OUTPUT_KIND_FLAC) {
        flac_writer_finish(sink.flac);  // the file is removed next; only the encoder must go
    } else {
        wav_writer_close_unfinished(sink.wav);
    }
}

const char* output_sink_container_name(const OutputSink& sink) {
    if (sink.kind == OUTPUT_KIND_FLAC) return "FLAC";
    return wav_container_name(sink.wav.rf64);
}
