#include "operations/hdcd_check.h"

#include <memory>
#include <new>

#include "console/cancellation.h"
#include "console/console.h"
#include "audio_io/flac_suffix.h"
#include "hdcd/hdcd_scanner.h"
#include "hdcd/hdcd_summary.h"
#include "audio_io/block_size.h"
#include "audio_io/input_source.h"
#include "console/shared_messages.h"

namespace {

// Reads blocks until the first one after which a valid packet has been seen.
int check_blocks(InputSource& source, int32_t* block) {
    HdcdScanner scanner;
    hdcd_scanner_init(scanner, source.sample_rate, source.valid_bits);
    HdcdSummary summary;
    for (;;) {
        const uint32_t frames = input_source_read(source, block, BLOCK_FRAMES);
        if (frames == 0) {
            if (input_source_failed(source)) return HDCD_CHECK_FAILED;
            hdcd_scanner_summary(scanner, summary);
            return summary.hdcd_found ? HDCD_CHECK_FOUND : HDCD_CHECK_ABSENT;
        }
        hdcd_scanner_process(scanner, block, frames);
        hdcd_scanner_summary(scanner, summary);
        if (summary.hdcd_found) return HDCD_CHECK_FOUND;
        // Tested only after the block was scanned, so that a detection made in
        // the same block is never thrown away.
        if (cancel_is_requested()) return HDCD_CHECK_CANCELLED;
    }
}

const char* check_verdict_word(int result) {
    switch (result) {
        case HDCD_CHECK_FOUND: return "Yes";
        case HDCD_CHECK_ABSENT: return "No";
        case HDCD_CHECK_CANCELLED: return "cancelled";
        default: return "failed";
    }
}

}  // namespace

int check_input_for_hdcd(const char* input_path, bool quiet) {
    const int32_t kind = has_flac_suffix(input_path) ? INPUT_KIND_FLAC : INPUT_KIND_WAV;
    cancel_reset();
    cancel_install_handler();
    if (!quiet) {
        print_to_stdout("Checking for HDCD... ");
        fflush(stdout);
    }

    char error_text[256] = "";
    InputSource source{};
    if (!input_source_open_file(source, input_path, kind, error_text, sizeof error_text)) {
        if (!quiet) print_to_stdout("%s\n", check_verdict_word(HDCD_CHECK_FAILED));
        print_to_stream(stderr, "Error: %s\n", error_text);
        return HDCD_CHECK_FAILED;
    }
    std::unique_ptr<int32_t[]> block(new (std::nothrow) int32_t[BLOCK_SAMPLES]);
    if (!block) {
        if (!quiet) print_to_stdout("%s\n", check_verdict_word(HDCD_CHECK_FAILED));
        print_out_of_memory();
        input_source_close(source);
        return HDCD_CHECK_FAILED;
    }

    const int result = check_blocks(source, block.get());
    block.reset();
    input_source_close(source);

    if (!quiet) print_to_stdout("%s\n", check_verdict_word(result));
    if (result == HDCD_CHECK_CANCELLED) print_to_stream(stderr, "Cancelled.\n");
    if (result == HDCD_CHECK_FAILED) print_to_stream(stderr, "Error while checking input for HDCD signalling.\n");
    return result;
}
