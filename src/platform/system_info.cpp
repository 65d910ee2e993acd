#include "platform/system_info.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define QV_ISATTY _isatty
#define QV_FILENO _fileno
#else
#include <unistd.h>
#define QV_ISATTY isatty
#define QV_FILENO fileno
#endif

bool platform_stderr_is_terminal() {
    return QV_ISATTY(QV_FILENO(stderr)) != 0;
}
