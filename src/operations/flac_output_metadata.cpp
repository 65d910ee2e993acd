#include "operations/flac_output_metadata.h"

#include <FLAC/format.h>

#include <new>

#include "console/console.h"

bool flac_output_metadata_build(FlacOutputMetadata& metadata, const InputSource& source,
                                FLAC__StreamMetadata* tag_block) {
    const uint32_t carried = source.kind == INPUT_KIND_FLAC ? source.flac.carried_count : 0;
    metadata.count = 0;
    metadata.list.reset(new (std::nothrow) FLAC__StreamMetadata*[carried + 1u]);
    if (!metadata.list) {
        print_to_stream(stderr, "Error: out of memory while preparing FLAC metadata.\n");
        return false;
    }
    for (uint32_t i = 0; i < carried; ++i) {
        FLAC__StreamMetadata* block = source.flac.carried_blocks[i];
        if (tag_block != nullptr && block->type == FLAC__METADATA_TYPE_VORBIS_COMMENT) continue;
        metadata.list[metadata.count++] = block;
    }
    if (tag_block != nullptr) metadata.list[metadata.count++] = tag_block;
    return true;
}
