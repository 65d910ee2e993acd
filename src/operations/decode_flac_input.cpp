#include "operations/decode_flac_input.h"

#include "operations/decode_skeleton.h"

int decode_flac_input(const char* input_path, const char* output_path, bool output_is_flac, bool quiet,
                      bool overwrite, FLAC__StreamMetadata* tag_block) {
    // WAV/RF64 output takes no metadata, so the tag block only reaches FLAC output.
    const int32_t variant = output_is_flac ? DECODE_FLAC_TO_FLAC : DECODE_FLAC_TO_WAV;
    return decode_skeleton_run(variant, input_path, output_path, quiet, overwrite, tag_block);
}
