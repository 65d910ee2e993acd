// The scan's block loop, without any printing: reads the whole input into the
// scanner and shows every block to an observer before the next one is read.
// `qv-hdcd --scan` and qv-hdcd-batch both scan through it.
#pragma once

#include <cstdint>

#include "audio_io/input_source.h"
#include "hdcd/hdcd_scanner.h"

struct InputScanObserver {
    // Sees each block after the scanner took it; may change the samples.
    // Returning false stops the loop. May be null.
    bool (*after_block)(void* context, int32_t* samples, uint32_t frames);
    void* context;
};

enum InputScanOutcome {
    INPUT_SCAN_COMPLETE = 0,  // read to the end
    INPUT_SCAN_FAILED = 1,    // reading failed somewhere in the stream (input_source_failure_text)
    INPUT_SCAN_STOPPED = 2,   // the observer asked to stop
};

// Starts the scanner afresh for the opened source and feeds it every block,
// read into `block` (BLOCK_SAMPLES values). Returns an InputScanOutcome.
int32_t input_scan_run(InputSource& source, int32_t* block, HdcdScanner& scanner, const InputScanObserver& observer);
