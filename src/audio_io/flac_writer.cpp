#include "audio_io/flac_writer.h"

#include "audio_io/flac_library.h"
#include "console/console.h"
#include "platform/file_position.h"
#include "platform/processor_count.h"

#include <algorithm>

namespace {

const uint32_t COMPRESSION_LEVEL = 5;
// libFLAC's encoder gains little beyond this many threads.
const uint32_t MAX_ENCODER_THREADS = 16;

// What libFLAC's own file-based set-up reports when it has no file to write.
const int INIT_STATUS_FILE_NOT_OPENED = FLAC__STREAM_ENCODER_INIT_STATUS_ENCODER_ERROR;

// The encoder writes through these callbacks into the writer's own stream, so
// that every failed write or seek, and the final flush, reach the
// verdict of flac_writer_finish.
FLAC__StreamEncoderWriteStatus write_to_file(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                             uint32_t, uint32_t, void* client_data) {
    FlacWriter& writer = *static_cast<FlacWriter*>(client_data);
    if (fwrite(buffer, 1, bytes, writer.file) != bytes) {
        writer.write_error = 1;
        return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    }
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

FLAC__StreamEncoderSeekStatus seek_in_file(const FLAC__StreamEncoder*, FLAC__uint64 absolute_byte_offset,
                                           void* client_data) {
    FlacWriter& writer = *static_cast<FlacWriter*>(client_data);
    if (absolute_byte_offset > static_cast<FLAC__uint64>(INT64_MAX) ||
        !platform_file_seek(writer.file, static_cast<int64_t>(absolute_byte_offset), SEEK_SET)) {
        writer.write_error = 1;
        return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    }
    return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
}

FLAC__StreamEncoderTellStatus tell_in_file(const FLAC__StreamEncoder*, FLAC__uint64* absolute_byte_offset,
                                           void* client_data) {
    FlacWriter& writer = *static_cast<FlacWriter*>(client_data);
    const int64_t position = platform_file_tell(writer.file);
    if (position < 0) {
        writer.write_error = 1;
        return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
    }
    *absolute_byte_offset = static_cast<FLAC__uint64>(position);
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

// Flushes the stream and lets go of it (its owner closes it); false when the
// flush fails. Safe without a stream.
bool release_file(FlacWriter& writer) {
    if (writer.file == nullptr) return true;
    const bool flushed = fflush(writer.file) == 0;
    writer.file = nullptr;
    return flushed;
}

// Releases an encoder whose set-up failed, and its stream.
void abandon_encoder(FlacWriter& writer) {
    const FlacLibrary& flac = flac_library_entry_points();
    flac.stream_encoder_finish(writer.encoder);
    flac.stream_encoder_delete(writer.encoder);
    writer.encoder = nullptr;
    release_file(writer);
}

}  // namespace

bool flac_writer_open(FlacWriter& writer, FILE* file, uint32_t sample_rate, uint32_t bits_per_sample,
                      uint32_t channels, uint64_t total_samples_estimate, FLAC__StreamMetadata** blocks,
                      uint32_t block_count, uint32_t max_threads, char* error_text, size_t error_capacity) {
    writer = FlacWriter{};
    if (!flac_library_load()) {
        format_to_buffer(error_text, error_capacity, "%s", flac_library_error_text());
        return false;
    }
    const FlacLibrary& flac = flac_library_entry_points();
    writer.encoder = flac.stream_encoder_new();
    if (writer.encoder == nullptr) {
        format_to_buffer(error_text, error_capacity, "Unable to allocate FLAC encoder.");
        return false;
    }
    writer.sample_rate = sample_rate;
    writer.bits_per_sample = bits_per_sample;
    writer.channels = channels;
    writer.total_samples_estimate = total_samples_estimate;

    FLAC__StreamEncoder* encoder = writer.encoder;
    const bool configured = flac.stream_encoder_set_channels(encoder, channels) &&
                            flac.stream_encoder_set_bits_per_sample(encoder, bits_per_sample) &&
                            flac.stream_encoder_set_sample_rate(encoder, sample_rate) &&
                            flac.stream_encoder_set_compression_level(encoder, COMPRESSION_LEVEL) &&
                            flac.stream_encoder_set_verify(encoder, true) &&
                            flac.stream_encoder_set_total_samples_estimate(encoder, total_samples_estimate);
    if (!configured) {
        format_to_buffer(error_text, error_capacity, "Unable to configure FLAC encoder.");
        abandon_encoder(writer);
        return false;
    }
    if (block_count != 0 && !flac.stream_encoder_set_metadata(encoder, blocks, block_count)) {
        format_to_buffer(error_text, error_capacity, "Unable to attach FLAC metadata.");
        abandon_encoder(writer);
        return false;
    }
    // A libFLAC with threads encodes frames on helper threads; its output does
    // not depend on their number, and one that refuses the count keeps one.
    if (flac.stream_encoder_set_num_threads != nullptr) {
        const uint32_t threads = max_threads != 0 ? max_threads : platform_logical_processor_count();
        flac.stream_encoder_set_num_threads(encoder, std::min(threads, MAX_ENCODER_THREADS));
    }
    writer.file = file;
    const FLAC__StreamEncoderInitStatus status =
        writer.file == nullptr
            ? static_cast<FLAC__StreamEncoderInitStatus>(INIT_STATUS_FILE_NOT_OPENED)
            : flac.stream_encoder_init_stream(encoder, write_to_file, seek_in_file, tell_in_file, nullptr, &writer);
    if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        format_to_buffer(error_text, error_capacity, "Unable to initialize FLAC encoder (status %d).",
                         static_cast<int>(status));
        abandon_encoder(writer);
        return false;
    }
    return true;
}

uint64_t flac_writer_write(FlacWriter& writer, const int32_t* samples, uint64_t frames) {
    if (writer.encoder == nullptr || writer.write_error) return 0;
    if (frames > UINT32_MAX) {
        writer.write_error = 1;
        return 0;
    }
    if (!flac_library_entry_points().stream_encoder_process_interleaved(writer.encoder, samples,
                                                                        static_cast<uint32_t>(frames))) {
        writer.write_error = 1;
        return 0;
    }
    return frames;
}

bool flac_writer_finish(FlacWriter& writer) {
    bool finished = true;
    if (writer.encoder != nullptr) {
        const FlacLibrary& flac = flac_library_entry_points();
        finished = flac.stream_encoder_finish(writer.encoder);
        flac.stream_encoder_delete(writer.encoder);
        writer.encoder = nullptr;
    }
    const bool closed = release_file(writer);
    return finished && closed && !writer.write_error;
}
