// The metadata blocks a conversion hands to its FLAC output.
#pragma once

#include <cstdint>
#include <memory>

#include "audio_io/input_source.h"

struct FlacOutputMetadata {
    std::unique_ptr<FLAC__StreamMetadata*[]> list;
    uint32_t count;
};

// FLAC input passes its carried blocks on; a tag block (may be null) takes the
// place of their Vorbis comments and follows the rest. WAV input has only the tag
// block. The blocks stay their owners'. On failure prints
// "Error: out of memory while preparing FLAC metadata." and returns false.
bool flac_output_metadata_build(FlacOutputMetadata& metadata, const InputSource& source,
                                FLAC__StreamMetadata* tag_block);

// The list for the writer: nullptr when there is no block.
inline FLAC__StreamMetadata** flac_output_metadata_blocks(const FlacOutputMetadata& metadata) {
    return metadata.count != 0 ? metadata.list.get() : nullptr;
}
