#include "operations/decode_wav_to_flac.h"

#include "operations/decode_skeleton.h"

int decode_wav_to_flac(const char* input_path, const char* output_path, bool quiet, bool overwrite,
                       FLAC__StreamMetadata* tag_block) {
    return decode_skeleton_run(DECODE_WAV_TO_FLAC, input_path, output_path, quiet, overwrite, tag_block);
}
