#include "platform/file_identity.h"

#ifdef _WIN32

#include <windows.h>

namespace {

bool file_information(const char* path, BY_HANDLE_FILE_INFORMATION& information) {
    // No access rights are needed to read the identity; sharing everything keeps
    // the probe from disturbing another program that has the file open.
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const BOOL ok = GetFileInformationByHandle(handle, &information);
    CloseHandle(handle);
    return ok != 0;
}

}  // namespace

bool platform_same_existing_file(const char* path_a, const char* path_b) {
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    if (!file_information(path_a, a) || !file_information(path_b, b)) return false;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

#else

#include <sys/stat.h>

bool platform_same_existing_file(const char* path_a, const char* path_b) {
    struct stat a;
    struct stat b;
    if (stat(path_a, &a) != 0 || stat(path_b, &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

#endif
