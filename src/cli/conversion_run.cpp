#include "cli/conversion_run.h"

#include "audio_io/metadata_tags.h"
#include "console/console.h"
#include "cli/eac_output.h"
#include "audio_io/flac_suffix.h"
#include "operations/decode_flac_input.h"
#include "operations/decode_wav_to_flac.h"
#include "operations/decode_wav_to_wav.h"
#include "operations/hdcd_check.h"
#include "operations/preserve_hdcd_convert.h"

namespace {

// Releases the tag block on every way out of the run.
struct TagBlockGuard {
    FLAC__StreamMetadata* block = nullptr;
    ~TagBlockGuard() { metadata_block_free(block); }
};

// Removes the temporary file this run made on every way out but the move.
struct TempFileGuard {
    EacOutput& plan;
    ~TempFileGuard() { eac_output_abandon(plan); }
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
    EacOutput plan{};
    if (options.eac) {
        options.quiet = true;
        options.overwrite = true;
        plan.check_output = true;
    }
    // Writing over the file that is being read would destroy it while it is
    // converted, so that case goes through a temporary file that replaces the
    // original only once it is complete. Without --overwrite (which --eac
    // implies) the operation's existing-output check refuses the run instead.
    plan.through_temp = options.overwrite && same_file(options.input_path, options.output_path);

    const bool tags_given = metadata_tags_any(options.tags);
    if (tags_given && !has_flac_suffix(options.output_path) && !options.quiet) {
        print_to_stream(stderr, "Note: metadata options are ignored for WAV/RF64 output.\n");
    }

    if (!eac_output_choose_temp(plan, options.output_path)) return 1;
    TempFileGuard temp_file{plan};
    const char* write_path = eac_output_write_path(plan, options.output_path);

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
    if (status != 0) return status;
    return eac_output_complete(plan, options.output_path);
}
