#pragma once

// Decodes HDCD PCM16 WAV/RF64 to PCM24 WAV/RF64. 0 on success, 1 on a reported
// failure (the output removed).
int decode_wav_to_wav(const char* input_path, const char* output_path, bool quiet, bool overwrite);
