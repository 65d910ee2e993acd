#include "console/block_progress.h"

#include "console/cancellation.h"
#include "console/console.h"

bool block_progress_after_block(BlockProgress& progress, uint32_t frames) {
    progress.frames_done += frames;
    progress_print(progress.frames_done, progress.expected_frames, progress.quiet);
    if (!cancel_is_requested()) return false;
    cancel_print_loop_message();
    return true;
}
