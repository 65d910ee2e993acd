// The scan of one file, as `qv-hdcd --scan` does it, into the file's record.
#pragma once

#include <atomic>
#include <cstdint>

#include "batch/batch_file.h"

// Shared by the workers: bytes read so far, for the progress line.
struct ScanProgressCounters {
    std::atomic<uint64_t> bytes_done;
};

struct InputSource;
struct HdcdScanner;

// A decoded output written in the scan's own pass, so that a file decode
// writes is read once: the timeline's decoder produces the output samples.
// Only PCM16 files whose decoder follows them get one.
struct ScanOutput {
    void* context;
    // Asked after each block until it answers true: start the output now?
    bool (*start_now)(void* context, const HdcdScanner& scanner);
    // Creates the output for the open source; false when it could not.
    bool (*open)(void* context, const InputSource& source);
    // One block of decoded samples; false when it could not be written.
    bool (*write)(void* context, const int32_t* decoded, uint32_t frames);
    // The scan is over (file.scanned false: abandoned): keep or drop the output.
    void (*end)(void* context, BatchFile& file);
    bool started;   // open succeeded
    bool failed;    // open, a write or the catch-up failed: nothing more is written
};

// Reads the whole file (through `block`, BLOCK_SAMPLES values) and fills the
// scan fields. A cancel request abandons the file: scanned stays false.
// `output` may be null.
void file_scan_run(BatchFile& file, int32_t* block, ScanProgressCounters& counters, ScanOutput* output);
