#include "platform/file_identity.h"

#ifdef _WIN32

#include <windows.h>

#include <vector>

#include "platform/windows_wide_path.h"

namespace {

// No access rights are needed to read the identity; sharing everything keeps
// the look from disturbing another program that has the file open.
HANDLE open_for_identity(const char* path) {
    std::wstring wide;
    if (!windows_extended_wide_path(path, wide)) return INVALID_HANDLE_VALUE;
    return CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool exists(const char* path) {
    std::wstring wide;
    return windows_extended_wide_path(path, wide) && GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool platform_file_identity(const char* path, FileIdentity& identity) {
    HANDLE handle = open_for_identity(path);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information;
    const BOOL ok = GetFileInformationByHandle(handle, &information);
    CloseHandle(handle);
    if (ok == 0) return false;
    identity.volume = information.dwVolumeSerialNumber;
    identity.index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    return true;
}

bool platform_real_path(const char* path, std::string& real) {
    HANDLE handle = open_for_identity(path);
    if (handle == INVALID_HANDLE_VALUE) return false;
    std::vector<wchar_t> buffer(1024);
    DWORD length = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    }
    CloseHandle(handle);
    if (length == 0 || length >= buffer.size()) return false;
    std::wstring wide(buffer.data(), length);
    if (wide.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        wide = L"\\\\" + wide.substr(8);
    } else if (wide.compare(0, 4, L"\\\\?\\") == 0) {
        wide = wide.substr(4);
    }
    return windows_utf8_text(wide.c_str(), real);
}

bool platform_identity_unreadable(const char* path_a, const char* path_b) {
    FileIdentity identity;
    return exists(path_a) && exists(path_b) &&
           (!platform_file_identity(path_a, identity) || !platform_file_identity(path_b, identity));
}

#else

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>

bool platform_file_identity(const char* path, FileIdentity& identity) {
    struct stat status;
    if (stat(path, &status) != 0) return false;
    identity.volume = static_cast<uint64_t>(status.st_dev);
    identity.index = static_cast<uint64_t>(status.st_ino);
    return true;
}

bool platform_real_path(const char* path, std::string& real) {
    char* resolved = realpath(path, nullptr);
    if (resolved == nullptr) return false;
    real = resolved;
    free(resolved);
    return true;
}

namespace {

// Whether stat can read the identity of what is at path: 1 yes, 0 nothing is
// there (a dangling link included, and a path longer than the system takes,
// which no call by that path can reach), -1 something is there that stat
// cannot reach (a folder above it without search permission).
int identity_state(const char* path) {
    struct stat status;
    if (stat(path, &status) == 0) return 1;
    return errno == ENOENT || errno == ENOTDIR || errno == ELOOP || errno == ENAMETOOLONG ? 0 : -1;
}

}  // namespace

bool platform_identity_unreadable(const char* path_a, const char* path_b) {
    const int a = identity_state(path_a);
    const int b = identity_state(path_b);
    return a != 0 && b != 0 && (a < 0 || b < 0);
}

#endif
