#include "operations/decode_skeleton.h"

#include "console/banner.h"
#include "console/cancellation.h"
#include "console/console.h"
#include "hdcd/hdcd_decoder.h"
#include "hdcd/hdcd_summary.h"
#include "console/block_progress.h"
#include "console/shared_messages.h"
#include "files/output_file.h"
#include "files/output_file_messages.h"
#include "operations/decode_core.h"

namespace {

const char* const RC1_RESTRICTION = "Error: RC1 decoding remains restricted to original PCM16 HDCD input.\n";
const char* const FLAC_INPUT_LINE = "\nInput:  %u Hz, PCM16, stereo FLAC\n";

// What sets one decode variant apart from the others.
struct DecodeTexts {
    int32_t input_kind;
    int32_t output_kind;
    const char* restriction_message;
    const char* input_line;        // "%u": the sample rate
    const char* output_container;  // nullptr: the WAV writer's own choice, RF64 or WAV
    bool feature_lines;
    const char* write_error;
    const char* finish_error;
    const char* riff_limit_error;  // nullptr: a RIFF overflow reads as any other finishing failure
};

const DecodeTexts DECODE_VARIANTS[] = {
    // DECODE_WAV_TO_WAV
    {INPUT_KIND_WAV, OUTPUT_KIND_WAV, "Error: Alpha 5 decoding is restricted to original PCM16 input.\n",
     "\nInput:  %u Hz, PCM16, stereo WAV\n", nullptr, true, "\nError writing output.\n", OUTPUT_WAV_FINISH_ERROR,
     "Error: output exceeded RIFF WAV size limit; RF64 is not yet enabled.\n"},
    // DECODE_FLAC_TO_FLAC
    {INPUT_KIND_FLAC, OUTPUT_KIND_FLAC, RC1_RESTRICTION, FLAC_INPUT_LINE, "FLAC", false,
     OUTPUT_FLAC_WRITE_ERROR, OUTPUT_FLAC_FINISH_ERROR, nullptr},
    // DECODE_FLAC_TO_WAV
    {INPUT_KIND_FLAC, OUTPUT_KIND_WAV, RC1_RESTRICTION, FLAC_INPUT_LINE, "WAV/RF64",
     false, "\nError writing WAV output.\n", OUTPUT_WAV_FINISH_ERROR, nullptr},
    // DECODE_WAV_TO_FLAC
    {INPUT_KIND_WAV, OUTPUT_KIND_FLAC, RC1_RESTRICTION, "\nInput:  %u Hz, PCM16, stereo WAV/RF64\n", "FLAC", false,
     OUTPUT_FLAC_WRITE_ERROR, OUTPUT_FLAC_FINISH_ERROR, nullptr},
};

// Everything one run holds; decode_run_fail releases it on every failure path.
struct DecodeRun {
    const DecodeTexts* texts;
    OutputFile output;
    DecodeCore core;
};

// Failure after the input was opened: abandon the writer, remove what this run
// wrote, close the input. The message has been printed.
int decode_run_fail(DecodeRun& run) {
    decode_core_abandon(run.core);
    output_file_abandon(run.output);
    return 1;
}

bool decode_block_done(void* context, uint32_t frames) {
    return !block_progress_after_block(*static_cast<BlockProgress*>(context), frames);
}

void decode_print_header(const DecodeRun& run) {
    const DecodeTexts& texts = *run.texts;
    banner_print();
    print_to_stdout(texts.input_line, run.core.source.sample_rate);
    const char* container =
        texts.output_container != nullptr ? texts.output_container : output_sink_container_name(run.core.sink);
    print_to_stdout("Output: %u Hz, PCM24, stereo %s\n", run.core.source.sample_rate, container);
    if (texts.feature_lines) {
        print_to_stdout("Peak Extend: QV-native processing using validated reference transfer data\n");
        print_to_stdout("Low-Level Gain: QV-native stereo envelope enabled\n");
    }
    print_to_stdout("\nDecoding...\n");
}

void decode_print_result(const HdcdDecoder& decoder) {
    HdcdSummary summary;
    hdcd_decoder_summary(decoder, summary);
    hdcd_summary_print(summary);
    print_to_stdout("Peak-expanded PCM samples: %llu\n",
                    static_cast<unsigned long long>(decoder.peak_expanded_samples));
    print_to_stdout("Gain-adjusted PCM samples: %llu\n",
                    static_cast<unsigned long long>(decoder.gain_adjusted_samples));
    print_to_stdout("\nComplete.\n");
}

}  // namespace

int decode_skeleton_run(int32_t variant, const char* input_path, const char* output_path, bool quiet,
                        bool overwrite, FLAC__StreamMetadata* tag_block) {
    DecodeRun run{};
    run.texts = &DECODE_VARIANTS[variant];
    const DecodeTexts& texts = *run.texts;

    OutputFileGuard output_guard{run.output};
    if (!output_file_check_printing(run.output, output_path, overwrite)) return 1;
    char error_text[256] = "";
    int32_t status = decode_core_open_input(run.core, input_path, texts.input_kind, error_text, sizeof error_text);
    if (status == DECODE_CORE_INPUT_FAILED) {
        print_to_stream(stderr, "Error: %s\n", error_text);
        return 1;
    }
    // Refused before the output is touched: a file already at the write path
    // (allowed by --overwrite) is not the run's to delete.
    if (status == DECODE_CORE_NOT_PCM16) {
        print_to_stream(stderr, "%s", texts.restriction_message);
        return decode_run_fail(run);
    }
    if (!output_file_open_printing(run.output)) return decode_run_fail(run);
    bool created = false;
    status = decode_core_open_output(run.core, run.output.stream, texts.output_kind, tag_block, created, error_text,
                                     sizeof error_text);
    if (status == DECODE_CORE_OUTPUT_FAILED) print_to_stream(stderr, "Error: %s\n", error_text);
    if (status == DECODE_CORE_OUT_OF_MEMORY) print_out_of_memory();
    if (status != DECODE_CORE_OK) return decode_run_fail(run);

    // The flag is not cleared: an interrupt since the pre-check still counts.
    cancel_install_handler();
    if (!quiet) decode_print_header(run);

    BlockProgress progress = {0, run.core.source.expected_frames, quiet};
    status = decode_core_run(run.core, {decode_block_done, &progress});
    if (status == DECODE_CORE_WRITE_FAILED) print_to_stream(stderr, "%s", texts.write_error);
    if (status != DECODE_CORE_OK && status != DECODE_CORE_INPUT_BROKEN) return decode_run_fail(run);
    progress_finish(quiet);
    if (status == DECODE_CORE_INPUT_BROKEN) {
        print_input_failure(input_source_failure_text(run.core.source));
        return decode_run_fail(run);
    }

    status = decode_core_finish(run.core);
    if (status != DECODE_CORE_OK) {
        const bool limit = status == DECODE_CORE_RIFF_LIMIT && texts.riff_limit_error != nullptr;
        print_to_stream(stderr, "%s", limit ? texts.riff_limit_error : texts.finish_error);
        return decode_run_fail(run);
    }
    if (!output_file_commit_printing(run.output, texts.finish_error)) return decode_run_fail(run);
    if (!quiet) decode_print_result(run.core.decoder);
    return 0;
}
