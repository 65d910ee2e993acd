// The one block loop behind the three decode operations: PCM16 HDCD in (WAV/RF64
// or FLAC), PCM24 out (WAV/RF64 or FLAC). The variants differ only in their
// reader, their writer, the FLAC metadata they pass on and their console texts.
#pragma once

#include <cstdint>

struct FLAC__StreamMetadata;

enum DecodeVariant {
    DECODE_WAV_TO_WAV = 0,
    DECODE_FLAC_TO_FLAC = 1,
    DECODE_FLAC_TO_WAV = 2,
    DECODE_WAV_TO_FLAC = 3,
};

// Runs one decode from input_path to output_path. tag_block (may be null) is
// written to FLAC output as its Vorbis comment block; it stays the caller's and
// must outlive the call. Returns 0 on success, 1 on a failure that has been
// reported, with any file this run wrote removed and output_path as it was.
int decode_skeleton_run(int32_t variant, const char* input_path, const char* output_path, bool quiet,
                        bool overwrite, FLAC__StreamMetadata* tag_block);
