#include "platform/path_exists.h"

#ifdef _WIN32

#include <windows.h>

bool platform_path_exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

#else

#include <sys/stat.h>

bool platform_path_exists(const char* path) {
    struct stat status;
    return lstat(path, &status) == 0;
}

#endif
