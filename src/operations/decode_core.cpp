#include "operations/decode_core.h"

#include <cerrno>
#include <new>

#include "audio_io/block_size.h"

int32_t decode_core_open_input(DecodeCore& core, const char* input_path, int32_t input_kind, char* error_text,
                               size_t error_capacity) {
    core.failure_errno = 0;
    // A decode reads its input more than once, so only a regular file will do.
    if (!input_source_open_file(core.source, input_path, input_kind, error_text, error_capacity)) {
        return DECODE_CORE_INPUT_FAILED;
    }
    core.input_open = true;
    if (core.source.valid_bits != 16 || core.source.container_bits != 16) return DECODE_CORE_NOT_PCM16;
    return DECODE_CORE_OK;
}

int32_t decode_core_open_output_for(DecodeCore& core, const InputSource& source, FILE* stream,
                                    int32_t output_kind, FLAC__StreamMetadata* tag_block, bool& created,
                                    char* error_text, size_t error_capacity) {
    created = false;
    if (output_kind == OUTPUT_KIND_FLAC) {
        if (!flac_output_metadata_build(core.metadata, source, tag_block)) return DECODE_CORE_METADATA_FAILED;
        created = output_sink_open_flac(core.sink, stream, source.sample_rate, 24, source.expected_frames,
                                        flac_output_metadata_blocks(core.metadata), core.metadata.count,
                                        core.encoder_threads, error_text, error_capacity);
    } else {
        created = output_sink_open_wav(core.sink, stream, source.sample_rate, 24, source.expected_frames,
                                       error_text, error_capacity);
    }
    if (!created) return DECODE_CORE_OUTPUT_FAILED;
    return output_sink_allocate(core.sink) ? DECODE_CORE_OK : DECODE_CORE_OUT_OF_MEMORY;
}

int32_t decode_core_open_output(DecodeCore& core, FILE* stream, int32_t output_kind,
                                FLAC__StreamMetadata* tag_block, bool& created, char* error_text,
                                size_t error_capacity) {
    const int32_t status = decode_core_open_output_for(core, core.source, stream, output_kind, tag_block, created,
                                                       error_text, error_capacity);
    if (status != DECODE_CORE_OK) return status;
    core.block.reset(new (std::nothrow) int32_t[BLOCK_SAMPLES]);
    if (!core.block) return DECODE_CORE_OUT_OF_MEMORY;
    hdcd_decoder_init(core.decoder, core.source.sample_rate);
    return DECODE_CORE_OK;
}

int32_t decode_core_write(DecodeCore& core, const int32_t* decoded, uint32_t frames) {
    errno = 0;
    if (output_sink_write_decoded(core.sink, decoded, frames) == frames) return DECODE_CORE_OK;
    core.failure_errno = errno;
    return DECODE_CORE_WRITE_FAILED;
}

int32_t decode_core_run(DecodeCore& core, const DecodeCoreObserver& observer) {
    int32_t* block = core.block.get();
    for (;;) {
        const uint32_t frames = input_source_read(core.source, block, BLOCK_FRAMES);
        if (frames == 0) break;
        hdcd_decoder_process(core.decoder, block, frames);
        if (decode_core_write(core, block, frames) != DECODE_CORE_OK) return DECODE_CORE_WRITE_FAILED;
        if (observer.after_block != nullptr && !observer.after_block(observer.context, frames)) {
            return DECODE_CORE_STOPPED;
        }
    }
    return input_source_failed(core.source) ? DECODE_CORE_INPUT_BROKEN : DECODE_CORE_OK;
}

int32_t decode_core_finish(DecodeCore& core) {
    const bool past_riff_limit = output_sink_past_riff_limit(core.sink);
    errno = 0;
    if (!output_sink_finish(core.sink)) {
        core.failure_errno = errno;
        return past_riff_limit ? DECODE_CORE_RIFF_LIMIT : DECODE_CORE_FINISH_FAILED;
    }
    if (core.input_open) input_source_close(core.source);
    core.input_open = false;
    return DECODE_CORE_OK;
}

void decode_core_abandon(DecodeCore& core) {
    output_sink_abandon(core.sink);
    if (core.input_open) input_source_close(core.source);
    core.input_open = false;
}
