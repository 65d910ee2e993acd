#include "audio_io/input_source.h"

#include "console/shared_messages.h"

namespace {

bool open_source(InputSource& source, const char* path, int32_t kind, bool files_only, char* error_text,
                 size_t error_capacity) {
    source.kind = kind;
    if (kind == INPUT_KIND_FLAC) {
        source.flac = FlacReader{};
        if (!flac_reader_open(source.flac, path, error_text, error_capacity)) return false;
        source.sample_rate = source.flac.sample_rate;
        source.valid_bits = source.flac.bits_per_sample;
        source.container_bits = source.flac.bits_per_sample;
        source.channels = source.flac.channels;
        source.expected_frames = source.flac.total_samples;
        source.rf64 = 0;
        return true;
    }
    const bool opened = files_only ? wav_reader_open_file(source.wav, path, error_text, error_capacity)
                                   : wav_reader_open(source.wav, path, error_text, error_capacity);
    if (!opened) return false;
    const PcmStreamInfo& info = source.wav.info;
    source.sample_rate = info.sample_rate;
    source.valid_bits = info.valid_bits;
    source.container_bits = info.container_bits;
    source.channels = info.channel_count;
    source.expected_frames = pcm_stream_info_expected_frames(info);
    source.rf64 = source.wav.rf64;
    return true;
}

}  // namespace

bool input_source_open(InputSource& source, const char* path, int32_t kind, char* error_text,
                       size_t error_capacity) {
    return open_source(source, path, kind, false, error_text, error_capacity);
}

bool input_source_open_file(InputSource& source, const char* path, int32_t kind, char* error_text,
                            size_t error_capacity) {
    return open_source(source, path, kind, true, error_text, error_capacity);
}

uint32_t input_source_read(InputSource& source, int32_t* samples, uint32_t max_frames) {
    if (source.kind == INPUT_KIND_FLAC) {
        return static_cast<uint32_t>(flac_reader_read(source.flac, samples, max_frames));
    }
    return wav_reader_read(source.wav, samples, max_frames);
}

bool input_source_failed(const InputSource& source) {
    return source.kind == INPUT_KIND_FLAC ? source.flac.error != 0 : source.wav.read_error != 0;
}

bool input_source_data_short(const InputSource& source) {
    return source.kind == INPUT_KIND_WAV && source.wav.data_short != 0;
}

const char* input_source_failure_text(const InputSource& source) {
    return source.kind == INPUT_KIND_FLAC ? FLAC_DECODE_ERROR_TEXT : INPUT_READ_ERROR_TEXT;
}

void input_source_close(InputSource& source) {
    if (source.kind == INPUT_KIND_FLAC) {
        flac_reader_close(source.flac);
    } else {
        wav_reader_close(source.wav);
    }
}
