#include "operations/input_scan.h"

#include "audio_io/block_size.h"

int32_t input_scan_run(InputSource& source, int32_t* block, HdcdScanner& scanner, const InputScanObserver& observer) {
    hdcd_scanner_init(scanner, source.sample_rate, source.valid_bits);
    for (;;) {
        const uint32_t frames = input_source_read(source, block, BLOCK_FRAMES);
        if (frames == 0) break;
        hdcd_scanner_process(scanner, block, frames);
        if (observer.after_block != nullptr && !observer.after_block(observer.context, block, frames)) {
            return INPUT_SCAN_STOPPED;
        }
    }
    return input_source_failed(source) ? INPUT_SCAN_FAILED : INPUT_SCAN_COMPLETE;
}
