#pragma once

struct FLAC__StreamMetadata;

// Decodes HDCD PCM16 FLAC to PCM24 FLAC or WAV/RF64. 0 on success, 1 on a
// reported failure (the output removed).
int decode_flac_input(const char* input_path, const char* output_path, bool output_is_flac, bool quiet,
                      bool overwrite, FLAC__StreamMetadata* tag_block);
