#include "platform/system_info.h"

#include <cstdio>
#include <thread>

#ifdef _WIN32
#include <io.h>
#define QV_ISATTY _isatty
#define QV_FILENO _fileno
#else
#include <unistd.h>
#define QV_ISATTY isatty
#define QV_FILENO fileno
#endif

uint32_t platform_processor_count() {
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1u : static_cast<uint32_t>(count);
}

bool platform_stderr_is_terminal() {
    return QV_ISATTY(QV_FILENO(stderr)) != 0;
}
