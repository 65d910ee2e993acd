#include "operations/scan_input.h"

#include <memory>
#include <new>

#include "console/banner.h"
#include "console/console.h"
#include "hdcd/hdcd_scanner.h"
#include "operations/input_scan.h"
#include "audio_io/block_size.h"
#include "hdcd/hdcd_summary.h"
#include "audio_io/input_source.h"
#include "console/shared_messages.h"

namespace {

void scan_print_input_line(const InputSource& source) {
    if (source.kind == INPUT_KIND_FLAC) {
        print_to_stdout("\nInput: %u Hz, FLAC PCM%u, stereo\n", source.sample_rate, source.valid_bits);
        return;
    }
    print_to_stdout("\nInput: %u Hz, PCM%u", source.sample_rate, source.valid_bits);
    if (source.container_bits != source.valid_bits) print_to_stdout("-in-%u", source.container_bits);
    print_to_stdout(", stereo %s\n", wav_container_name(source.rf64));
}

struct ScanProgress {
    uint64_t frames_done;
    uint64_t expected_frames;
    bool quiet;
};

bool scan_progress_after_block(void* context, int32_t* /*samples*/, uint32_t frames) {
    ScanProgress& progress = *static_cast<ScanProgress*>(context);
    progress.frames_done += frames;
    progress_print(progress.frames_done, progress.expected_frames, progress.quiet);
    return true;
}

// Reads the whole input once into the scanner. A scan cannot be cancelled: it
// leaves the interrupt signal to its default action.
int scan_input(const char* input_path, int32_t kind, bool quiet) {
    char error_text[256] = "";
    InputSource source{};
    if (!input_source_open(source, input_path, kind, error_text, sizeof error_text)) {
        print_to_stream(stderr, "Error: %s\n", error_text);
        return 1;
    }
    std::unique_ptr<int32_t[]> block(new (std::nothrow) int32_t[BLOCK_SAMPLES]);
    if (!block) {
        input_source_close(source);
        print_out_of_memory();
        return 1;
    }

    if (!quiet) {
        banner_print();
        scan_print_input_line(source);
        print_to_stdout("\nScanning...\n");
    }

    ScanProgress progress = {0, source.expected_frames, quiet};
    HdcdScanner scanner;
    const int32_t outcome = input_scan_run(source, block.get(), scanner, {scan_progress_after_block, &progress});
    progress_finish(quiet);

    if (outcome == INPUT_SCAN_FAILED) {
        print_input_failure(input_source_failure_text(source));
        input_source_close(source);
        return 1;
    }
    HdcdSummary summary;
    hdcd_scanner_summary(scanner, summary);
    if (!quiet) hdcd_summary_print(summary);
    input_source_close(source);
    return summary.hdcd_found ? 0 : 2;
}

}  // namespace

int scan_wav_input(const char* input_path, bool quiet) {
    return scan_input(input_path, INPUT_KIND_WAV, quiet);
}

int scan_flac_input(const char* input_path, bool quiet) {
    return scan_input(input_path, INPUT_KIND_FLAC, quiet);
}
