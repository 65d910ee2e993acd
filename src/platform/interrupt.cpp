#include "platform/interrupt.h"

#include <csignal>

#ifdef _WIN32

void platform_install_interrupt_handler(void (*handler)(int)) {
    // The runtime's signal resets the action to the default before calling the
    // handler, and registers its console control routine on first use.
    signal(SIGINT, handler);
}

#else

void platform_install_interrupt_handler(void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
}

#endif
