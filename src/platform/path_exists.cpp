#include "platform/path_exists.h"

#ifdef _WIN32

#include <windows.h>

#include <string>

#include "platform/windows_wide_path.h"

bool platform_path_exists(const char* path) {
    std::wstring wide;
    return windows_extended_wide_path(path, wide) && GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

#else

#include <sys/stat.h>

bool platform_path_exists(const char* path) {
    struct stat status;
    return lstat(path, &status) == 0;
}

#endif
