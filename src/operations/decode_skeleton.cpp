#include "operations/decode_skeleton.h"

#include <memory>
#include <new>

#include "console/banner.h"
#include "console/cancellation.h"
#include "console/console.h"
#include "hdcd/hdcd_decoder.h"
#include "hdcd/hdcd_summary.h"
#include "console/block_progress.h"
#include "audio_io/block_size.h"
#include "operations/flac_output_metadata.h"
#include "audio_io/input_source.h"
#include "console/shared_messages.h"
#include "audio_io/output_guard.h"
#include "audio_io/output_sink.h"

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
    OutputGuard guard;
    InputSource source;
    OutputSink sink;
    FlacOutputMetadata metadata;  // referred to by the FLAC writer until it is finished
    std::unique_ptr<int32_t[]> block;
};

// Failure after the input was opened: abandon the writer, remove what this run
// wrote, close the input. The message has been printed.
int decode_run_fail(DecodeRun& run) {
    output_sink_abandon(run.sink);
    output_guard_discard(run.guard);
    input_source_close(run.source);
    return 1;
}

bool decode_open_output(DecodeRun& run, const char* write_path, FLAC__StreamMetadata* tag_block) {
    char error_text[256] = "";
    const InputSource& source = run.source;
    bool created;
    if (run.texts->output_kind == OUTPUT_KIND_FLAC) {
        if (!flac_output_metadata_build(run.metadata, source, tag_block)) return false;
        created = output_sink_open_flac(run.sink, write_path, source.sample_rate, 24, source.expected_frames,
                                        flac_output_metadata_blocks(run.metadata), run.metadata.count, error_text,
                                        sizeof error_text);
    } else {
        created = output_sink_open_wav(run.sink, write_path, source.sample_rate, 24, source.expected_frames,
                                       error_text, sizeof error_text);
    }
    output_guard_after_create(run.guard, created);
    if (!created) print_to_stream(stderr, "Error: %s\n", error_text);
    return created;
}

void decode_print_header(const DecodeRun& run) {
    const DecodeTexts& texts = *run.texts;
    banner_print();
    print_to_stdout(texts.input_line, run.source.sample_rate);
    const char* container =
        texts.output_container != nullptr ? texts.output_container : output_sink_container_name(run.sink);
    print_to_stdout("Output: %u Hz, PCM24, stereo %s\n", run.source.sample_rate, container);
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

int decode_skeleton_run(int32_t variant, const char* input_path, const char* write_path, bool quiet,
                        bool overwrite, FLAC__StreamMetadata* tag_block) {
    DecodeRun run{};
    run.texts = &DECODE_VARIANTS[variant];
    const DecodeTexts& texts = *run.texts;

    if (!output_guard_begin(run.guard, write_path, overwrite)) return 1;
    char error_text[256] = "";
    if (!input_source_open_file(run.source, input_path, texts.input_kind, error_text, sizeof error_text)) {
        print_to_stream(stderr, "Error: %s\n", error_text);
        return 1;
    }
    // Refused before the output is touched: a file already at the write path
    // (allowed by --overwrite) is not the run's to delete.
    if (run.source.valid_bits != 16 || run.source.container_bits != 16) {
        print_to_stream(stderr, "%s", texts.restriction_message);
        return decode_run_fail(run);
    }
    if (!decode_open_output(run, write_path, tag_block)) return decode_run_fail(run);
    run.block.reset(new (std::nothrow) int32_t[BLOCK_SAMPLES]);
    if (!run.block || !output_sink_allocate(run.sink)) {
        print_out_of_memory();
        return decode_run_fail(run);
    }

    HdcdDecoder decoder;
    hdcd_decoder_init(decoder, run.source.sample_rate);
    // The flag is not cleared: an interrupt since the pre-check still counts.
    cancel_install_handler();
    if (!quiet) decode_print_header(run);

    BlockProgress progress = {0, run.source.expected_frames, quiet};
    int32_t* block = run.block.get();
    for (;;) {
        const uint32_t frames = input_source_read(run.source, block, BLOCK_FRAMES);
        if (frames == 0) break;
        hdcd_decoder_process(decoder, block, frames);
        if (output_sink_write_decoded(run.sink, block, frames) != frames) {
            print_to_stream(stderr, "%s", texts.write_error);
            return decode_run_fail(run);
        }
        if (block_progress_after_block(progress, frames)) return decode_run_fail(run);
    }
    progress_finish(quiet);
    if (input_source_failed(run.source)) {
        print_flac_decode_error();
        return decode_run_fail(run);
    }

    const bool past_riff_limit = output_sink_past_riff_limit(run.sink);
    if (!output_sink_finish(run.sink)) {
        const bool limit = past_riff_limit && texts.riff_limit_error != nullptr;
        print_to_stream(stderr, "%s", limit ? texts.riff_limit_error : texts.finish_error);
        return decode_run_fail(run);
    }
    if (!quiet) decode_print_result(decoder);
    input_source_close(run.source);
    return 0;
}
