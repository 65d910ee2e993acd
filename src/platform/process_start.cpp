#include "platform/process_start.h"

#ifdef _WIN32

void platform_process_start() {}

#else

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

void platform_process_start() {
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is taken, which is this one: the ones below are open.
        const int opened = open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
        if (opened > descriptor) {
            dup2(opened, descriptor);
            close(opened);
        }
    }
    signal(SIGPIPE, SIG_IGN);
}

#endif
