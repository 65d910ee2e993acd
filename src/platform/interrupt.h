#pragma once

// Installs handler for SIGINT with one-shot delivery: the action returns to the
// default before the handler runs, so a second Ctrl+C ends the process.
void platform_install_interrupt_handler(void (*handler)(int));

// From now on SIGINT (Ctrl+C) is ignored: for the last steps of a run that must
// not be cut short.
void platform_ignore_interrupt();
