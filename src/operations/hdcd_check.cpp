#include "operations/hdcd_check.h"

#include <memory>
#include <new>

#include "console/cancellation.h"
#include "console/console.h"
#include "audio_io/flac_suffix.h"
#include "hdcd/hdcd_scanner.h"
#include "hdcd/hdcd_summary.h"
#include "operations/input_scan.h"
#include "audio_io/block_size.h"
#include "audio_io/input_source.h"
#include "console/shared_messages.h"

namespace {

struct CheckState {
    const HdcdScanner* scanner;
    int result;  // the verdict once the scan stopped early
};

// Stops the scan after the first block that shows a valid packet.
bool check_after_block(void* context, int32_t* /*samples*/, uint32_t /*frames*/) {
    CheckState& check = *static_cast<CheckState*>(context);
    HdcdSummary summary;
    hdcd_scanner_summary(*check.scanner, summary);
    if (summary.hdcd_found) {
        check.result = HDCD_CHECK_FOUND;
        return false;
    }
    // Tested only after the block was scanned, so that a detection made in
    // the same block is never thrown away.
    if (cancel_is_requested()) {
        check.result = HDCD_CHECK_CANCELLED;
        return false;
    }
    return true;
}

// Reads blocks until the first one after which a valid packet has been seen.
int check_blocks(InputSource& source, int32_t* block) {
    HdcdScanner scanner;
    CheckState check = {&scanner, HDCD_CHECK_ABSENT};
    switch (input_scan_run(source, block, scanner, {check_after_block, &check})) {
        case INPUT_SCAN_STOPPED: return check.result;
        case INPUT_SCAN_FAILED: return HDCD_CHECK_FAILED;
        default: return HDCD_CHECK_ABSENT;  // every block was looked at after it was scanned
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
