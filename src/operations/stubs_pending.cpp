// Temporary stand-ins for operations that have not landed yet. Each is removed
// from this file when its real implementation arrives.
#include "audio_io/flac_library.h"
#include "audio_io/metadata_tags.h"
#include "operations/decode_flac_input.h"
#include "operations/decode_wav_to_flac.h"
#include "operations/decode_wav_to_wav.h"
#include "operations/hdcd_check.h"
#include "operations/not_built.h"
#include "operations/preserve_hdcd_convert.h"
#include "operations/scan_input.h"
#include "tools/lle_test_generate.h"

int scan_wav_input(const char*, bool) { return report_not_built("WAV scanning"); }
int scan_flac_input(const char*, bool) { return report_not_built("FLAC scanning"); }
int check_input_for_hdcd(const char*, bool) {
    report_not_built("the HDCD pre-check");
    return HDCD_CHECK_FAILED;
}
int decode_wav_to_wav(const char*, const char*, bool, bool) { return report_not_built("WAV decoding"); }
int decode_flac_input(const char*, const char*, bool, bool, bool, FLAC__StreamMetadata*) {
    return report_not_built("FLAC decoding");
}
int decode_wav_to_flac(const char*, const char*, bool, bool, FLAC__StreamMetadata*) {
    return report_not_built("FLAC encoding");
}
int preserve_hdcd_convert(const char*, const char*, bool, bool, FLAC__StreamMetadata*) {
    return report_not_built("Preserve mode");
}
int lle_test_generate(const char*) { return report_not_built("The test-file generator"); }

