#include "console/cancellation.h"

#include "console/console.h"
#include "platform/exit_cleanup.h"
#include "platform/interrupt.h"

static_assert(std::atomic<int>::is_always_lock_free, "the cancel flag must be lock-free");

std::atomic<int> cancel_requested{0};

void handle_interrupt(int /*signal_number*/) {
    cancel_requested.store(1, std::memory_order_relaxed);
    // The loops stop at their next block and clean up; a second Ctrl+C ends
    // the run at once, without leaving a temporary output behind.
    platform_exit_cleanup_arm_interrupt();
}

void cancel_install_handler() {
    platform_install_interrupt_handler(handle_interrupt);
}

void cancel_print_loop_message() {
    print_to_stream(stderr, "\nCancelled.\n");
}
