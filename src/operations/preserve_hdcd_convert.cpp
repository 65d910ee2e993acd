#include "operations/preserve_hdcd_convert.h"

#include <cstdint>
#include <memory>
#include <new>

#include "console/banner.h"
#include "console/cancellation.h"
#include "console/console.h"
#include "audio_io/flac_suffix.h"
#include "console/block_progress.h"
#include "audio_io/block_size.h"
#include "operations/flac_output_metadata.h"
#include "audio_io/input_source.h"
#include "console/shared_messages.h"
#include "audio_io/output_sink.h"
#include "files/output_file.h"
#include "files/output_file_messages.h"

namespace {

// Everything a run owns; released on every way out.
struct PreserveRun {
    InputSource input{};
    OutputSink output{};
    OutputFile file{};
    FlacOutputMetadata metadata{};  // referred to by the FLAC writer until it is finished
};

// The failure exit once the input is open: ends a writer that is still open
// without completing it, removes the file this run created, closes the input.
// Always 1.
int preserve_fail(PreserveRun& run) {
    output_sink_abandon(run.output);
    output_file_abandon(run.file);
    input_source_close(run.input);
    return 1;
}

void print_header(const InputSource& input, const OutputSink& output) {
    banner_print();
    print_to_stdout("\nMode: Preserve HDCD\n");
    const char* input_container = input.kind == INPUT_KIND_FLAC ? "FLAC" : input.rf64 ? "RF64" : "WAV";
    print_to_stdout("Input:  %u Hz, PCM16, stereo %s\n", input.sample_rate, input_container);
    print_to_stdout("Output: %u Hz, PCM16, stereo %s\n", input.sample_rate, output_sink_container_name(output));
    print_to_stdout("HDCD decoding: Disabled\n");
    print_to_stdout("PCM preservation: Lossless\n");
    print_to_stdout("\nConverting...\n");
}

}  // namespace

int preserve_hdcd_convert(const char* input_path, const char* output_path, bool quiet, bool overwrite,
                          FLAC__StreamMetadata* tag_block) {
    if (!path_has_suffix(output_path, ".wav") && !path_has_suffix(output_path, ".flac")) {
        print_to_stream(stderr, "Error: --preserve-hdcd output must be .wav or .flac.\n");
        return 1;
    }
    PreserveRun run;
    OutputFileGuard file_guard{run.file};
    if (!output_file_check_printing(run.file, output_path, overwrite)) return 1;

    char error_text[256] = "";
    const int32_t input_kind = has_flac_suffix(input_path) ? INPUT_KIND_FLAC : INPUT_KIND_WAV;
    if (!input_source_open_file(run.input, input_path, input_kind, error_text, sizeof error_text)) {
        print_to_stream(stderr, "Error: %s\n", error_text);
        return 1;
    }

    // Refused before the output is touched: a file already at the write path stays.
    if (run.input.valid_bits != 16 || run.input.container_bits != 16 || run.input.channels != 2) {
        print_to_stream(stderr, "Error: --preserve-hdcd requires stereo PCM16 input.\n");
        return preserve_fail(run);
    }

    if (!output_file_open_printing(run.file)) return preserve_fail(run);
    bool created;
    if (has_flac_suffix(output_path)) {
        if (!flac_output_metadata_build(run.metadata, run.input, tag_block)) return preserve_fail(run);
        created = output_sink_open_flac(run.output, run.file.stream, run.input.sample_rate, 16, run.input.expected_frames,
                                        flac_output_metadata_blocks(run.metadata), run.metadata.count, 0,
                                        error_text, sizeof error_text);
    } else {
        created = output_sink_open_wav(run.output, run.file.stream, run.input.sample_rate, 16, run.input.expected_frames,
                                       error_text, sizeof error_text);
    }
    if (!created) {
        print_to_stream(stderr, "Error: %s\n", error_text);
        return preserve_fail(run);
    }

    std::unique_ptr<int32_t[]> block(new (std::nothrow) int32_t[BLOCK_SAMPLES]);
    if (block == nullptr || !output_sink_allocate(run.output)) {
        print_out_of_memory();
        return preserve_fail(run);
    }

    // This operation clears a cancel request itself: it stands for the copy only.
    cancel_reset();
    cancel_install_handler();
    if (!quiet) print_header(run.input, run.output);

    BlockProgress progress{0, run.input.expected_frames, quiet};
    for (;;) {
        const uint32_t frames = input_source_read(run.input, block.get(), BLOCK_FRAMES);
        if (frames == 0) break;
        if (output_sink_write_pcm16(run.output, block.get(), frames) < frames) {
            print_to_stream(stderr, "%s",
                            run.output.kind == OUTPUT_KIND_FLAC ? OUTPUT_FLAC_WRITE_ERROR
                                                                : "\nError writing WAV/RF64 output.\n");
            return preserve_fail(run);
        }
        if (block_progress_after_block(progress, frames)) return preserve_fail(run);
    }
    progress_finish(quiet);
    if (input_source_failed(run.input)) {
        print_input_failure(input_source_failure_text(run.input));
        return preserve_fail(run);
    }

    const char* finish_error = run.output.kind == OUTPUT_KIND_FLAC ? OUTPUT_FLAC_FINISH_ERROR : OUTPUT_WAV_FINISH_ERROR;
    if (!output_sink_finish(run.output)) {
        print_to_stream(stderr, "%s", finish_error);
        return preserve_fail(run);
    }
    // Closed before the output takes its name: it may be the input's own.
    input_source_close(run.input);
    if (!output_file_commit_printing(run.file, finish_error)) return preserve_fail(run);
    if (!quiet) {
        print_to_stdout("HDCD signalling samples preserved unchanged.\n");
        print_to_stdout("\nComplete.\n");
    }
    return 0;
}
