#include "cli/conversion_run.h"

#include <string>

#include "audio_io/flac_suffix.h"
#include "audio_io/metadata_tags.h"
#include "console/console.h"
#include "files/output_file.h"
#include "files/output_file_messages.h"
#include "operations/decode_flac_input.h"
#include "operations/decode_wav_to_flac.h"
#include "operations/decode_wav_to_wav.h"
#include "operations/hdcd_check.h"
#include "operations/preserve_hdcd_convert.h"
#include "platform/read_probe.h"

namespace {

// Releases the tag block on every way out of the run.
struct TagBlockGuard {
    FLAC__StreamMetadata* block = nullptr;
    ~TagBlockGuard() { metadata_block_free(block); }
};

// The operation for the options and the output's container. Every operation
// writes through a temporary file beside the output that takes the output's
// name only once it is complete, so an output that is the input itself (EAC
// names one file for both) is replaced only by a finished decode.
int run_operation(const ConversionOptions& options, FLAC__StreamMetadata* tag_block) {
    const char* input = options.input_path;
    const char* output = options.output_path;
    if (options.preserve_hdcd) {
        return preserve_hdcd_convert(input, output, options.quiet, options.overwrite, tag_block);
    }
    const bool input_is_flac = has_flac_suffix(input);
    const bool output_is_flac = has_flac_suffix(output);
    if (input_is_flac) {
        return decode_flac_input(input, output, output_is_flac, options.quiet, options.overwrite, tag_block);
    }
    if (output_is_flac) {
        return decode_wav_to_flac(input, output, options.quiet, options.overwrite, tag_block);
    }
    return decode_wav_to_wav(input, output, options.quiet, options.overwrite);
}

}  // namespace

int conversion_run(ConversionOptions& options) {
    if (options.eac) {
        options.quiet = true;
        options.overwrite = true;
    }
    // What can never be written (a folder, a pipe, a name the system would
    // change) is refused before the input is read. An existing file without
    // --overwrite is the operation's to refuse, after the HDCD check.
    OutputFile output{};
    std::string reason;
    const int output_status =
        output_file_check(output, options.output_path, options.overwrite, CONVERTER_TEMPORARY_TAG, reason);
    output_file_abandon(output);  // only a look: the operation writes the output
    if (output_status == OUTPUT_FILE_NOT_A_FILE || output_status == OUTPUT_FILE_BAD_NAME) {
        print_output_not_writable(reason.c_str());
        return 1;
    }

    const bool tags_given = metadata_tags_any(options.tags);
    if (tags_given && !has_flac_suffix(options.output_path) && !options.quiet) {
        print_to_stream(stderr, "Note: metadata options are ignored for WAV/RF64 output.\n");
    }

    TagBlockGuard tag_block;
    if (tags_given && has_flac_suffix(options.output_path)) {
        char error_text[256] = "";
        tag_block.block = tags_build_vorbis_comment(options.tags, error_text, sizeof error_text);
        if (tag_block.block == nullptr) {
            print_to_stream(stderr, "Error: %s\n", error_text);
            return 1;
        }
    }

    const int check = check_input_for_hdcd(options.input_path, options.quiet);
    if (check == HDCD_CHECK_ABSENT) {
        // Printed in quiet mode too: the caller must learn why nothing was written.
        print_to_stream(stderr, "HDCD detected: No\n");
        print_to_stream(stderr, "Error: no valid HDCD signalling was detected.\n");
        print_to_stream(stderr, "No output file was created.\n");
        return 2;
    }
    if (check == HDCD_CHECK_CANCELLED) return 130;
    if (check < 0) return 1;

    const int status = run_operation(options, tag_block.block);
    if (status != 0) return status;
    // EAC takes an empty or missing output for a failed encode: say so here.
    if (options.eac && !platform_read_probe(options.output_path, true)) {
        print_to_stream(stderr, "Error: EAC requested output was not created or is empty.\n");
        return 1;
    }
    return 0;
}
