#include "platform/owned_file.h"

bool file_stamp_same_file(const FileStamp& a, const FileStamp& b) {
    return a.regular && b.regular && a.volume == b.volume && a.index == b.index;
}

#ifdef _WIN32

#include <windows.h>

#include <string>

#include "platform/windows_wide_path.h"

namespace {

uint64_t join(DWORD high, DWORD low) {
    return (static_cast<uint64_t>(high) << 32) | low;
}

void stamp_handle(HANDLE handle, FileStamp& stamp) {
    stamp.present = true;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(handle, &information) == 0) return;  // a device: present, not regular
    const DWORD not_plain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    stamp.regular = (information.dwFileAttributes & not_plain) == 0;
    stamp.volume = information.dwVolumeSerialNumber;
    stamp.index = join(information.nFileIndexHigh, information.nFileIndexLow);
    stamp.size = join(information.nFileSizeHigh, information.nFileSizeLow);
    stamp.modified = static_cast<int64_t>(
        join(information.ftLastWriteTime.dwHighDateTime, information.ftLastWriteTime.dwLowDateTime));
    stamp.changed = stamp.modified;
}

}  // namespace

bool platform_file_stamp(const char* path, FileStamp& stamp) {
    stamp = FileStamp{};
    // No access rights are asked for, and everything is shared, so that the look
    // disturbs nobody; a link is looked at itself, not followed.
    std::wstring wide;
    if (!windows_extended_wide_path(path, wide)) return false;
    HANDLE handle = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        stamp.present = code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND && code != ERROR_INVALID_NAME;
        return stamp.present;
    }
    stamp_handle(handle, stamp);
    CloseHandle(handle);
    return true;
}

void platform_remove_stamped(const char* path, const FileStamp& stamp) {
    FileStamp now;
    std::wstring wide;
    if (platform_file_stamp(path, now) && file_stamp_same_file(stamp, now) && windows_extended_wide_path(path, wide)) {
        DeleteFileW(wide.c_str());
    }
}

#else

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int64_t nanoseconds(const struct timespec& time) {
    return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

void fill_stamp(const struct stat& status, FileStamp& stamp) {
    stamp.present = true;
    stamp.regular = S_ISREG(status.st_mode);
    stamp.volume = static_cast<uint64_t>(status.st_dev);
    stamp.index = static_cast<uint64_t>(status.st_ino);
    stamp.size = static_cast<uint64_t>(status.st_size);
    stamp.modified = nanoseconds(status.st_mtim);
    stamp.changed = nanoseconds(status.st_ctim);
}

}  // namespace

bool platform_file_stamp(const char* path, FileStamp& stamp) {
    stamp = FileStamp{};
    struct stat status;
    if (lstat(path, &status) != 0) {
        // Something that cannot be looked at is still somebody's.
        stamp.present = errno != ENOENT && errno != ENOTDIR;
        return stamp.present;
    }
    fill_stamp(status, stamp);
    return true;
}

void platform_remove_stamped(const char* path, const FileStamp& stamp) {
    FileStamp now;
    if (platform_file_stamp(path, now) && file_stamp_same_file(stamp, now)) unlink(path);
}

#endif
