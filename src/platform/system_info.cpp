#include "platform/system_info.h"

#include <cstdio>

#ifdef _WIN32

#include <io.h>
#include <windows.h>

bool platform_stderr_is_terminal() {
    return _isatty(_fileno(stderr)) != 0;
}

uint32_t platform_stderr_columns() {
    CONSOLE_SCREEN_BUFFER_INFO information;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &information)) return 80;
    const int columns = information.srWindow.Right - information.srWindow.Left + 1;
    return columns > 0 ? static_cast<uint32_t>(columns) : 80;
}

#else

#include <sys/ioctl.h>
#include <unistd.h>

bool platform_stderr_is_terminal() {
    return isatty(fileno(stderr)) != 0;
}

uint32_t platform_stderr_columns() {
    struct winsize size = {};
    if (ioctl(fileno(stderr), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
    return size.ws_col;
}

#endif
