#include "operations/decode_wav_to_wav.h"

#include "operations/decode_skeleton.h"

int decode_wav_to_wav(const char* input_path, const char* output_path, bool quiet, bool overwrite) {
    return decode_skeleton_run(DECODE_WAV_TO_WAV, input_path, output_path, quiet, overwrite, nullptr);
}
