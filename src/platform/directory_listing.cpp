#include "platform/directory_listing.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32

#include <windows.h>

#include "platform/windows_wide_path.h"

namespace {

void describe_error(DWORD code, char* error_text, size_t error_capacity) {
    wchar_t message[256] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, message, 256,
                   nullptr);
    std::string text;
    windows_utf8_text(message, text);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.' || text.back() == ' ')) {
        text.pop_back();
    }
    snprintf(error_text, error_capacity, "Windows error %lu%s%s", static_cast<unsigned long>(code),
             text.empty() ? "" : ": ", text.c_str());
}

// FILETIME counts 100 ns steps since 1601-01-01 UTC.
void stamp_from_filetime(const FILETIME& time, PlatformEntryStamp& stamp) {
    const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    constexpr int64_t EPOCH_DIFFERENCE_SECONDS = 11644473600LL;
    stamp.modified_seconds = static_cast<int64_t>(ticks / 10000000ULL) - EPOCH_DIFFERENCE_SECONDS;
    stamp.modified_nanoseconds = static_cast<uint32_t>(ticks % 10000000ULL) * 100u;
    stamp.modified_known = true;
    stamp.identity_known = false;
}

}  // namespace

int32_t platform_path_kind(const char* path, uint64_t& size) {
    PlatformEntryStamp stamp;
    return platform_path_kind_stamp(path, size, stamp);
}

int32_t platform_path_kind_stamp(const char* path, uint64_t& size, PlatformEntryStamp& stamp) {
    size = 0;
    stamp = PlatformEntryStamp{};
    std::wstring wide;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!windows_extended_wide_path(path, wide) || !GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
        return PLATFORM_ENTRY_MISSING;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return PLATFORM_ENTRY_DIRECTORY;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return PLATFORM_ENTRY_DEVICE;
    size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp_from_filetime(data.ftLastWriteTime, stamp);
    return PLATFORM_ENTRY_FILE;
}

namespace {

bool open_wide_folder(const std::wstring& wide, PlatformFolder& folder, char* error_text, size_t error_capacity) {
    folder = PlatformFolder{};
    folder.descriptor = -1;
    HANDLE handle = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        describe_error(GetLastError(), error_text, error_capacity);
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information;
    const bool known = GetFileInformationByHandle(handle, &information) != 0;
    CloseHandle(handle);
    if (!known || !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        describe_error(known ? ERROR_DIRECTORY : GetLastError(), error_text, error_capacity);
        return false;
    }
    folder.wide_path = wide;
    folder.identity.volume = information.dwVolumeSerialNumber;
    folder.identity.index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    return true;
}

std::wstring child_path(const std::wstring& folder, const wchar_t* name) {
    std::wstring path = folder;
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path + name;
}

}  // namespace

bool platform_folder_open(const char* path, PlatformFolder& folder, char* error_text, size_t error_capacity) {
    std::wstring wide;
    if (!windows_extended_wide_path(path, wide)) {
        folder = PlatformFolder{};
        folder.descriptor = -1;
        describe_error(ERROR_INVALID_NAME, error_text, error_capacity);
        return false;
    }
    return open_wide_folder(wide, folder, error_text, error_capacity);
}

bool platform_folder_open_child(const PlatformFolder& parent, const std::string& name, PlatformFolder& folder,
                                char* error_text, size_t error_capacity) {
    std::wstring wide_name;
    if (!windows_wide_path(name.c_str(), wide_name)) {
        folder = PlatformFolder{};
        folder.descriptor = -1;
        describe_error(ERROR_INVALID_NAME, error_text, error_capacity);
        return false;
    }
    return open_wide_folder(child_path(parent.wide_path, wide_name.c_str()), folder, error_text, error_capacity);
}

bool platform_folder_list(const PlatformFolder& folder, std::vector<PlatformDirectoryEntry>& entries,
                          char* error_text, size_t error_capacity) {
    entries.clear();
    const std::wstring pattern = child_path(folder.wide_path, L"*");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) return true;
        describe_error(code, error_text, error_capacity);
        return false;
    }
    bool ok = true;
    do {
        if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) continue;
        PlatformDirectoryEntry entry;
        windows_utf8_text(found.cFileName, entry.name);
        entry.size = 0;
        entry.stamp = PlatformEntryStamp{};
        const DWORD attributes = found.dwFileAttributes;
        entry.hidden_system = (attributes & FILE_ATTRIBUTE_HIDDEN) && (attributes & FILE_ATTRIBUTE_SYSTEM);
        WIN32_FILE_ATTRIBUTE_DATA target;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A junction or a folder link is not followed.
            entry.kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? PLATFORM_ENTRY_FOLDER_LINK
                                                                     : PLATFORM_ENTRY_DIRECTORY;
        } else if (attributes & FILE_ATTRIBUTE_DEVICE) {
            entry.kind = PLATFORM_ENTRY_DEVICE;
        } else if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            entry.kind = PLATFORM_ENTRY_FILE;
            entry.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
            stamp_from_filetime(found.ftLastWriteTime, entry.stamp);
        } else if (GetFileAttributesExW(child_path(folder.wide_path, found.cFileName).c_str(), GetFileExInfoStandard,
                                        &target)) {
            // A link to a file is read like the file.
            entry.kind = (target.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? PLATFORM_ENTRY_FOLDER_LINK
                                                                              : PLATFORM_ENTRY_FILE;
            if (entry.kind == PLATFORM_ENTRY_FILE) {
                entry.size = (static_cast<uint64_t>(target.nFileSizeHigh) << 32) | target.nFileSizeLow;
                stamp_from_filetime(target.ftLastWriteTime, entry.stamp);
            }
        } else {
            entry.kind = PLATFORM_ENTRY_DANGLING_LINK;
        }
        entries.push_back(entry);
    } while (FindNextFileW(search, &found));
    const DWORD code = GetLastError();
    if (code != ERROR_NO_MORE_FILES) {
        describe_error(code, error_text, error_capacity);
        ok = false;
    }
    FindClose(search);
    return ok;
}

void platform_folder_close(PlatformFolder& folder) {
    folder.wide_path.clear();
}

bool platform_make_directory(const char* path, char* error_text, size_t error_capacity) {
    std::wstring wide;
    if (!windows_extended_wide_path(path, wide)) {
        describe_error(ERROR_INVALID_NAME, error_text, error_capacity);
        return false;
    }
    if (CreateDirectoryW(wide.c_str(), nullptr)) return true;
    const DWORD code = GetLastError();
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    describe_error(code, error_text, error_capacity);
    return false;
}

size_t platform_longest_path() {
    // Extended-length paths, which the program's file calls use, reach 32767 UTF-16 units.
    return 32767;
}

char platform_path_separator() {
    return '\\';
}

bool platform_is_path_separator(char c) {
    return c == '/' || c == '\\';
}

#else

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace {

void describe_errno(int code, char* error_text, size_t error_capacity) {
    snprintf(error_text, error_capacity, "error %d: %s", code, strerror(code));
}

// The kind of what a stat result describes, a link's target included.
int32_t kind_of(const struct stat& status) {
    if (S_ISDIR(status.st_mode)) return PLATFORM_ENTRY_DIRECTORY;
    if (S_ISREG(status.st_mode)) return PLATFORM_ENTRY_FILE;
    if (S_ISFIFO(status.st_mode)) return PLATFORM_ENTRY_PIPE;
    if (S_ISSOCK(status.st_mode)) return PLATFORM_ENTRY_SOCKET;
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) return PLATFORM_ENTRY_DEVICE;
    return PLATFORM_ENTRY_OTHER;
}

void stamp_from_stat(const struct stat& status, PlatformEntryStamp& stamp) {
    stamp.modified_seconds = static_cast<int64_t>(status.st_mtim.tv_sec);
    stamp.modified_nanoseconds = static_cast<uint32_t>(status.st_mtim.tv_nsec);
    stamp.modified_known = true;
    stamp.identity.volume = static_cast<uint64_t>(status.st_dev);
    stamp.identity.index = static_cast<uint64_t>(status.st_ino);
    stamp.identity_known = true;
}

bool take_open_folder(int descriptor, PlatformFolder& folder, char* error_text, size_t error_capacity) {
    if (descriptor < 0) {
        describe_errno(errno, error_text, error_capacity);
        return false;
    }
    struct stat status;
    if (fstat(descriptor, &status) != 0) {
        describe_errno(errno, error_text, error_capacity);
        close(descriptor);
        return false;
    }
    folder.descriptor = descriptor;
    folder.identity.volume = static_cast<uint64_t>(status.st_dev);
    folder.identity.index = static_cast<uint64_t>(status.st_ino);
    return true;
}

}  // namespace

int32_t platform_path_kind(const char* path, uint64_t& size) {
    PlatformEntryStamp stamp;
    return platform_path_kind_stamp(path, size, stamp);
}

int32_t platform_path_kind_stamp(const char* path, uint64_t& size, PlatformEntryStamp& stamp) {
    size = 0;
    stamp = PlatformEntryStamp{};
    struct stat status;
    if (stat(path, &status) != 0) return PLATFORM_ENTRY_MISSING;
    const int32_t kind = kind_of(status);
    if (kind == PLATFORM_ENTRY_FILE) {
        size = static_cast<uint64_t>(status.st_size);
        stamp_from_stat(status, stamp);
    }
    return kind;
}

bool platform_folder_open(const char* path, PlatformFolder& folder, char* error_text, size_t error_capacity) {
    folder = PlatformFolder{};
    folder.descriptor = -1;
    return take_open_folder(open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC), folder, error_text, error_capacity);
}

bool platform_folder_open_child(const PlatformFolder& parent, const std::string& name, PlatformFolder& folder,
                                char* error_text, size_t error_capacity) {
    folder = PlatformFolder{};
    folder.descriptor = -1;
    const int descriptor = openat(static_cast<int>(parent.descriptor), name.c_str(),
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return take_open_folder(descriptor, folder, error_text, error_capacity);
}

bool platform_folder_list(const PlatformFolder& folder, std::vector<PlatformDirectoryEntry>& entries,
                          char* error_text, size_t error_capacity) {
    entries.clear();
    const int at = static_cast<int>(folder.descriptor);
    // The listing reads through a copy of the descriptor, which it closes;
    // the folder's own stays open for the inspections relative to it.
    const int own = dup(at);
    DIR* directory = own < 0 ? nullptr : fdopendir(own);
    if (directory == nullptr) {
        const int code = errno;
        if (own >= 0) close(own);
        describe_errno(code, error_text, error_capacity);
        return false;
    }
    for (;;) {
        errno = 0;
        const dirent* item = readdir(directory);
        if (item == nullptr) break;
        if (strcmp(item->d_name, ".") == 0 || strcmp(item->d_name, "..") == 0) continue;
        PlatformDirectoryEntry entry;
        entry.name = item->d_name;
        entry.size = 0;
        entry.stamp = PlatformEntryStamp{};
        entry.hidden_system = false;
        struct stat status;
        if (fstatat(at, item->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
            entry.kind = PLATFORM_ENTRY_UNREADABLE;
            char reason[160];
            describe_errno(errno, reason, sizeof reason);
            entry.error = reason;
        } else if (!S_ISLNK(status.st_mode)) {
            entry.kind = kind_of(status);
        } else if (fstatat(at, item->d_name, &status, 0) != 0) {
            entry.kind = PLATFORM_ENTRY_DANGLING_LINK;
        } else {
            // A link to a file is read like the file; a link to a folder is not followed.
            entry.kind = kind_of(status);
            if (entry.kind == PLATFORM_ENTRY_DIRECTORY) entry.kind = PLATFORM_ENTRY_FOLDER_LINK;
        }
        if (entry.kind == PLATFORM_ENTRY_FILE) {
            entry.size = static_cast<uint64_t>(status.st_size);
            stamp_from_stat(status, entry.stamp);
        }
        entries.push_back(entry);
    }
    const int code = errno;
    closedir(directory);
    if (code != 0) {
        describe_errno(code, error_text, error_capacity);
        return false;
    }
    return true;
}

void platform_folder_close(PlatformFolder& folder) {
    if (folder.descriptor >= 0) close(static_cast<int>(folder.descriptor));
    folder.descriptor = -1;
}

bool platform_make_directory(const char* path, char* error_text, size_t error_capacity) {
    if (mkdir(path, 0777) == 0) return true;
    const int code = errno;
    struct stat status;
    if (stat(path, &status) == 0 && S_ISDIR(status.st_mode)) return true;
    describe_errno(code, error_text, error_capacity);
    errno = code;  // the caller tells a full disk by it
    return false;
}

size_t platform_longest_path() {
    return PATH_MAX - 1;
}

char platform_path_separator() {
    return '/';
}

bool platform_is_path_separator(char c) {
    return c == '/';
}

#endif
