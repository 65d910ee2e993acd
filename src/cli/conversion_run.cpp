#include "cli/conversion_run.h"

#include "audio_io/metadata_tags.h"
#include "cli/console.h"
#include "cli/flac_suffix.h"
#include "operations/decode_flac_input.h"
#include "operations/decode_wav_to_flac.h"
#include "operations/decode_wav_to_wav.h"
#include "operations/hdcd_check.h"
#include "operations/preserve_hdcd_convert.h"
#include "platform/file_identity.h"

namespace {

// Releases the tag block on every way out of the run.
struct TagBlockGuard {
    FLAC__StreamMetadata* block = nullptr;
    ~TagBlockGuard() { metadata_block_free(block); }
};

// The operation for the options and the write path's container.
int run_operation(const ConversionOptions& options, const char* write_path, FLAC__StreamMetadata* tag_block) {
    const char* input = options.input_path;
    if (options.preserve_hdcd) {
        return preserve_hdcd_convert(input, write_path, options.quiet, options.overwrite, tag_block);
    }
    const bool input_is_flac = has_flac_suffix(input);
    const bool output_is_flac = has_flac_suffix(write_path);
    if (input_is_flac) {
        return decode_flac_input(input, write_path, output_is_flac, options.quiet, options.overwrite, tag_block);
    }
    if (output_is_flac) {
        return decode_wav_to_flac(input, write_path, options.quiet, options.overwrite, tag_block);
    }
    return decode_wav_to_wav(input, write_path, options.quiet, options.overwrite);
}

}  // namespace

int conversion_run(ConversionOptions& options) {
    if (options.eac) {
        options.quiet = true;
        options.overwrite = true;
        // EAC-SAFE OUTPUT, part 1: decide here whether input and output name the
        // same file (absolute paths compared with ASCII case folding).
    }

    const bool tags_given = metadata_tags_any(options.tags);
    if (tags_given && !has_flac_suffix(options.output_path) && !options.quiet) {
        print_to_stream(stderr, "Note: metadata options are ignored for WAV/RF64 output.\n");
    }

    const char* write_path = options.output_path;
    // EAC-SAFE OUTPUT, part 2: in the same-file case choose the temporary path
    // beside the output and write there instead; when no free name exists the
    // run ends here with exit status 1, before anything is built or opened.

    // Writing over the file that is being read would destroy it while it is
    // decoded. Only a write path distinct from the input is safe (the EAC
    // temporary path always is).
    if (platform_same_existing_file(options.input_path, write_path)) {
        print_to_stream(stderr, "Error: input and output are the same file.\n");
        return 1;
    }

    TagBlockGuard tag_block;
    if (tags_given && has_flac_suffix(write_path)) {
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

    const int status = run_operation(options, write_path, tag_block.block);
    if (status != 0) {
        // EAC-SAFE OUTPUT, part 3: in the same-file case remove the temporary
        // file here; the operation's status is passed on unchanged.
        return status;
    }

    // EAC-SAFE OUTPUT, part 4: in EAC mode check that the temporary file holds
    // data and move it onto the output (same-file case), then check that the
    // requested output exists and is not empty; any failure ends with status 1.
    return 0;
}
