#include "audio_io/flac_reader.h"

#include "audio_io/flac_library.h"
#include "console/console.h"
#include "platform/device_file.h"

#include <cstdlib>
#include <cstring>

namespace {

FLAC__StreamDecoderWriteStatus on_frame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                        const FLAC__int32* const channels[], void* client_data) {
    FlacReader& reader = *static_cast<FlacReader*>(client_data);
    // A frame may declare its own depth; one that differs from STREAMINFO's
    // would hand callers values wider than the stream claims to hold.
    if (frame->header.channels != 2 || frame->header.bits_per_sample != reader.bits_per_sample) {
        reader.error = 1;
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    const uint64_t frames = frame->header.blocksize;
    // A frame that fits in the caller's block goes straight there; only the
    // rest waits in the frame buffer for the next read.
    const bool direct = reader.direct_target != nullptr && frames <= reader.direct_room;
    if (!direct && 2 * frames > reader.buffer_capacity) {
        void* grown = realloc(reader.frame_buffer, static_cast<size_t>(2 * frames) * sizeof(int32_t));
        if (grown == nullptr) {
            reader.error = 1;
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        reader.frame_buffer = static_cast<int32_t*>(grown);
        reader.buffer_capacity = 2 * frames;
    }
    const FLAC__int32* left = channels[0];
    const FLAC__int32* right = channels[1];
    int32_t* out = direct ? reader.direct_target : reader.frame_buffer;
    // A sample is in range when adding half the range keeps it within the
    // range as an unsigned number; the test gathers into one flag so that the
    // interleaving loop has no early exit and the compiler can vectorise it.
    const uint32_t half = static_cast<uint32_t>(1) << (reader.bits_per_sample - 1);
    const uint32_t range = 2 * half;
    uint32_t outside = 0;
    for (uint64_t i = 0; i < frames; ++i) {
        outside |= static_cast<uint32_t>(static_cast<uint32_t>(left[i]) + half >= range);
        outside |= static_cast<uint32_t>(static_cast<uint32_t>(right[i]) + half >= range);
        out[2 * i] = left[i];
        out[2 * i + 1] = right[i];
    }
    if (outside != 0 && reader.bits_per_sample < 32) {  // at 32 bits every value is in range
        reader.error = 1;
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    if (direct) {
        reader.direct_frames = frames;
    } else {
        reader.buffered_frames = frames;
        reader.taken_frames = 0;
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void carry_block(FlacReader& reader, const FLAC__StreamMetadata* block) {
    if (reader.carried_count == reader.carried_capacity) {
        const uint32_t capacity = reader.carried_capacity == 0 ? 4 : 2 * reader.carried_capacity;
        void* grown = realloc(reader.carried_blocks, capacity * sizeof(FLAC__StreamMetadata*));
        if (grown == nullptr) {
            reader.error = 1;
            return;
        }
        reader.carried_blocks = static_cast<FLAC__StreamMetadata**>(grown);
        reader.carried_capacity = capacity;
    }
    FLAC__StreamMetadata* copy = flac_library_entry_points().metadata_object_clone(block);
    if (copy == nullptr) {
        reader.error = 1;
        return;
    }
    reader.carried_blocks[reader.carried_count++] = copy;
}

void on_metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* client_data) {
    FlacReader& reader = *static_cast<FlacReader*>(client_data);
    switch (metadata->type) {
        case FLAC__METADATA_TYPE_STREAMINFO:
            reader.sample_rate = metadata->data.stream_info.sample_rate;
            reader.bits_per_sample = metadata->data.stream_info.bits_per_sample;
            reader.channels = metadata->data.stream_info.channels;
            reader.total_samples = metadata->data.stream_info.total_samples;
            reader.streaminfo_seen = 1;
            break;
        case FLAC__METADATA_TYPE_VORBIS_COMMENT:
        case FLAC__METADATA_TYPE_PICTURE:
            carry_block(reader, metadata);
            break;
        default:
            break;
    }
}

void on_error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* client_data) {
    static_cast<FlacReader*>(client_data)->error = 1;
}

// The whole stream has been decoded: finishing the decoder now yields libFLAC's
// verdict on the MD5 signature (a stream without one always passes).
void reach_end(FlacReader& reader) {
    reader.end_of_stream = 1;
    if (!flac_library_entry_points().stream_decoder_finish(reader.decoder)) reader.error = 1;
}

}  // namespace

bool flac_reader_open(FlacReader& reader, const char* path, char* error_text, size_t error_capacity) {
    reader = FlacReader{};
    if (!flac_library_require(error_text, error_capacity)) return false;
    const FlacLibrary& flac = flac_library_entry_points();
    reader.decoder = flac.stream_decoder_new();
    if (reader.decoder == nullptr) {
        format_to_buffer(error_text, error_capacity, "Unable to allocate FLAC decoder.");
        return false;
    }
    flac.stream_decoder_set_md5_checking(reader.decoder, true);
    flac.stream_decoder_set_metadata_respond(reader.decoder, FLAC__METADATA_TYPE_STREAMINFO);
    flac.stream_decoder_set_metadata_respond(reader.decoder, FLAC__METADATA_TYPE_VORBIS_COMMENT);
    flac.stream_decoder_set_metadata_respond(reader.decoder, FLAC__METADATA_TYPE_PICTURE);

    // libFLAC would search an endless device such as /dev/zero for a stream
    // forever; such a path is refused as a file that cannot be opened.
    const FLAC__StreamDecoderInitStatus status =
        platform_is_device_file(path)
            ? FLAC__STREAM_DECODER_INIT_STATUS_ERROR_OPENING_FILE
            : flac.stream_decoder_init_file(reader.decoder, path, on_frame, on_metadata, on_error, &reader);
    if (status != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        format_to_buffer(error_text, error_capacity, "Unable to initialize FLAC decoder (status %d).",
                         static_cast<int>(status));
        flac_reader_close(reader);
        return false;
    }
    if (!flac.stream_decoder_process_until_end_of_metadata(reader.decoder)) reader.error = 1;

    const char* failure = nullptr;
    if (reader.error || !reader.streaminfo_seen) {
        failure = "Unable to read FLAC STREAMINFO.";
    } else if (reader.channels != 2) {
        failure = "QV-HDCD requires stereo FLAC input.";
    } else if (reader.bits_per_sample != 16 && reader.bits_per_sample != 20 && reader.bits_per_sample != 24) {
        failure = "Supported FLAC depths are 16, 20 and 24 bit.";
    }
    if (failure != nullptr) {
        format_to_buffer(error_text, error_capacity, "%s", failure);
        flac_reader_close(reader);
        return false;
    }
    return true;
}

uint64_t flac_reader_read(FlacReader& reader, int32_t* samples, uint64_t max_frames) {
    if (reader.decoder == nullptr) return 0;
    const FlacLibrary& flac = flac_library_entry_points();
    uint64_t delivered = 0;
    while (delivered < max_frames) {
        if (reader.taken_frames < reader.buffered_frames) {
            uint64_t count = reader.buffered_frames - reader.taken_frames;
            if (count > max_frames - delivered) count = max_frames - delivered;
            memcpy(samples + 2 * delivered, reader.frame_buffer + 2 * reader.taken_frames,
                   static_cast<size_t>(count) * 2 * sizeof(int32_t));
            reader.taken_frames += count;
            delivered += count;
            continue;
        }
        reader.buffered_frames = 0;
        reader.taken_frames = 0;
        if (reader.end_of_stream || reader.error) break;
        if (flac.stream_decoder_get_state(reader.decoder) == FLAC__STREAM_DECODER_END_OF_STREAM) {
            reach_end(reader);
            break;
        }
        reader.direct_target = samples + 2 * delivered;
        reader.direct_room = max_frames - delivered;
        reader.direct_frames = 0;
        const FLAC__bool stepped = flac.stream_decoder_process_single(reader.decoder);
        reader.direct_target = nullptr;
        if (!stepped) {
            reader.error = 1;
            break;
        }
        delivered += reader.direct_frames;
        // A frame decoded by this step is still delivered by the next pass.
        if (flac.stream_decoder_get_state(reader.decoder) == FLAC__STREAM_DECODER_END_OF_STREAM) reach_end(reader);
    }
    return delivered;
}

void flac_reader_close(FlacReader& reader) {
    const FlacLibrary& flac = flac_library_entry_points();
    if (reader.decoder != nullptr) {
        // Stopping early leaves the signature unchecked; the verdict is of no use then.
        flac.stream_decoder_finish(reader.decoder);
        flac.stream_decoder_delete(reader.decoder);
    }
    for (uint32_t i = 0; i < reader.carried_count; ++i) flac.metadata_object_delete(reader.carried_blocks[i]);
    free(reader.carried_blocks);
    free(reader.frame_buffer);
    reader = FlacReader{};
}
