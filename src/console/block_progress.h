// The end of one block in a conversion loop: count it, redraw the progress line,
// and look at the cancel flag.
#pragma once

#include <cstdint>

struct BlockProgress {
    uint64_t frames_done;
    uint64_t expected_frames;  // 0 when unknown: the figure then stays at 0
    bool quiet;
};

// Call once the block has been written. Returns true, after printing
// "\nCancelled.\n", when the user asked to stop: the loop then takes its failure
// exit.
bool block_progress_after_block(BlockProgress& progress, uint32_t frames);
