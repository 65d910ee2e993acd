#include "platform/interrupt.h"

#include <csignal>

#ifdef _WIN32

void platform_install_interrupt_handler(void (*handler)(int)) {
    // The runtime's signal resets the action to the default before calling the
    // handler, and registers its console control routine on first use.
    signal(SIGINT, handler);
}

void platform_ignore_interrupt() {
    signal(SIGINT, SIG_IGN);
}

#else

void platform_install_interrupt_handler(void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // SA_RESTART: an interrupted read or write resumes instead of failing, so a
    // cancel request never shows up as an I/O error in the middle of a block.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

void platform_ignore_interrupt() {
    struct sigaction action = {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

#endif
