// Opens arbitrary bytes as a FLAC file through libFLAC, loaded at run time as the program loads it, and
// reads it to the end. Samples must lie inside the declared depth: the decoder and writers rely on it.
#include <vector>

#include "audio_io/flac_reader.h"
#include "fuzz_support.h"

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
    const uint64_t request = (size & 1) != 0 ? 16384 : 1 + size % 4099;
    std::vector<int32_t> samples(2 * 16384);
    while (const uint64_t frames = flac_reader_read(reader, samples.data(), request)) {
        fuzz::check(frames <= request, "read delivered more frames than asked for");
        for (uint64_t i = 0; i < 2 * frames; ++i) fuzz::check(samples[i] >= -limit && samples[i] < limit, "sample outside the stream's depth");
    }
    fuzz::check(flac_reader_read(reader, samples.data(), request) == 0, "data after the end was reported");
    flac_reader_close(reader);
    return 0;
}
