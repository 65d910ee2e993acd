// Opens arbitrary bytes as a FLAC file through libFLAC, loaded at run time the
// way the program loads it, and reads it to the end. Delivered samples must lie
// inside the stream's declared depth, since the decoder and the writers take
// them as such.
#include <vector>

#include "audio_io/flac_reader.h"
#include "fuzz_support.h"

namespace {

const uint64_t BLOCK_FRAMES = 16384;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = fuzz::scratch_path(".flac");
    fuzz::write_scratch(path, data, size);

    FlacReader reader;
    char error_text[256];
    memset(error_text, 'x', sizeof error_text);
    if (!flac_reader_open(reader, path.c_str(), error_text, sizeof error_text)) {
        fuzz::check_error_text(error_text, sizeof error_text);
        fuzz::check(reader.decoder == nullptr && reader.carried_blocks == nullptr && reader.frame_buffer == nullptr,
                    "failed open kept resources");
        flac_reader_close(reader);
        return 0;
    }
    fuzz::check(reader.channels == 2, "accepted a stream that is not stereo");
    fuzz::check(reader.bits_per_sample == 16 || reader.bits_per_sample == 20 || reader.bits_per_sample == 24,
                "accepted an unsupported depth");
    for (uint32_t i = 0; i < reader.carried_count; ++i) {
        const FLAC__MetadataType type = reader.carried_blocks[i]->type;
        fuzz::check(type == FLAC__METADATA_TYPE_VORBIS_COMMENT || type == FLAC__METADATA_TYPE_PICTURE,
                    "carried a block of another type");
    }

    const int32_t limit = 1 << (reader.bits_per_sample - 1);
    const uint64_t request = (size & 1) != 0 ? BLOCK_FRAMES : 1 + size % 4099;
    std::vector<int32_t> samples(2 * BLOCK_FRAMES);
    for (;;) {
        const uint64_t frames = flac_reader_read(reader, samples.data(), request);
        fuzz::check(frames <= request, "read delivered more frames than asked for");
        if (frames == 0) break;
        for (uint64_t i = 0; i < 2 * frames; ++i) {
            if (samples[i] < -limit || samples[i] >= limit) fuzz::fail("sample outside the stream's depth");
        }
    }
    fuzz::check(flac_reader_read(reader, samples.data(), request) == 0, "data after the end was reported");
    flac_reader_close(reader);
    return 0;
}
