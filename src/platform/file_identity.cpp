#include "platform/file_identity.h"

#ifdef _WIN32

#include <windows.h>

#include <string>

#include "platform/windows_wide_path.h"

namespace {

bool file_information(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& information) {
    // No access rights are needed to read the identity; sharing everything keeps
    // the probe from disturbing another program that has the file open.
    HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const BOOL ok = GetFileInformationByHandle(handle, &information);
    CloseHandle(handle);
    return ok != 0;
}

}  // namespace

bool platform_same_existing_file(const char* path_a, const char* path_b) {
    std::wstring wide_a;
    std::wstring wide_b;
    if (!windows_extended_wide_path(path_a, wide_a) || !windows_extended_wide_path(path_b, wide_b)) return false;
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    if (file_information(wide_a, a) && file_information(wide_b, b)) {
        return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
               a.nFileIndexLow == b.nFileIndexLow;
    }
    // Two existing files whose identity cannot be read might be one: only the
    // temporary-file route is safe then.
    return GetFileAttributesW(wide_a.c_str()) != INVALID_FILE_ATTRIBUTES &&
           GetFileAttributesW(wide_b.c_str()) != INVALID_FILE_ATTRIBUTES;
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
