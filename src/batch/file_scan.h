// The scan of one file, as `qv-hdcd --scan` does it, into the file's record.
#pragma once

#include <atomic>
#include <cstdint>

#include "batch/batch_file.h"

// Shared by the workers: bytes read so far, for the progress line.
struct ScanProgressCounters {
    std::atomic<uint64_t> bytes_done;
};

// Reads the whole file (through `block`, BLOCK_SAMPLES values) and fills the
// scan fields. A cancel request abandons the file: scanned stays false.
void file_scan_run(BatchFile& file, int32_t* block, ScanProgressCounters& counters);
