// Ctrl+C cancellation: a process-wide flag that block loops poll once per block.
#pragma once

#include <atomic>

// 1 once the user asked to cancel; 0 otherwise. Only handle_interrupt stores 1.
extern std::atomic<int> cancel_requested;

// Signal handler for SIGINT: stores 1 into cancel_requested and returns.
void handle_interrupt(int signal_number);

// Installs handle_interrupt for SIGINT. Delivery is one-shot: after one
// interrupt the default action is back until the next call.
void cancel_install_handler();

inline bool cancel_is_requested() { return cancel_requested.load(std::memory_order_relaxed) != 0; }
inline void cancel_reset() { cancel_requested.store(0, std::memory_order_relaxed); }

// Prints "\nCancelled.\n" on stderr (also when quiet): the message of a block
// loop that stopped because cancel_requested was set. It starts with a newline
// so that it lands below the progress line.
void cancel_print_loop_message();
