#pragma once

// Installs handler for SIGINT with one-shot delivery: the action returns to the
// default before the handler runs, so a second Ctrl+C ends the process.
void platform_install_interrupt_handler(void (*handler)(int));
