#pragma once

struct FLAC__StreamMetadata;

// Converts PCM16 between WAV/RF64 and FLAC with every sample unchanged. 0 on
// success, 1 on a reported failure (the output removed).
int preserve_hdcd_convert(const char* input_path, const char* output_path, bool quiet, bool overwrite,
                          FLAC__StreamMetadata* tag_block);
