#include "platform/device_file.h"

#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32

bool platform_is_device_file(const char* path) {
    struct _stat64 status;
    if (_stat64(path, &status) != 0) return false;
    const unsigned kind = status.st_mode & _S_IFMT;
    return kind != _S_IFREG && kind != _S_IFDIR;
}

#else

bool platform_is_device_file(const char* path) {
    struct stat status;
    if (stat(path, &status) != 0) return false;
    return !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
}

#endif
