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

}  // namespace

int32_t platform_path_kind(const char* path, uint64_t& size) {
    size = 0;
    std::wstring wide;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!windows_extended_wide_path(path, wide) || !GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
        return PLATFORM_ENTRY_MISSING;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return PLATFORM_ENTRY_DIRECTORY;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return PLATFORM_ENTRY_OTHER;
    size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return PLATFORM_ENTRY_FILE;
}

bool platform_list_directory(const char* path, std::vector<PlatformDirectoryEntry>& entries, char* error_text,
                             size_t error_capacity) {
    entries.clear();
    std::wstring pattern;
    if (!windows_extended_wide_path(path, pattern)) {
        describe_error(ERROR_INVALID_NAME, error_text, error_capacity);
        return false;
    }
    if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
    pattern += L'*';
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
        const DWORD attributes = found.dwFileAttributes;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A junction or a folder link is not followed.
            entry.kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? PLATFORM_ENTRY_OTHER : PLATFORM_ENTRY_DIRECTORY;
        } else if (attributes & FILE_ATTRIBUTE_DEVICE) {
            entry.kind = PLATFORM_ENTRY_OTHER;
        } else {
            entry.kind = PLATFORM_ENTRY_FILE;
            entry.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
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

char platform_path_separator() {
    return '\\';
}

bool platform_is_path_separator(char c) {
    return c == '/' || c == '\\';
}

#else

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace {

void describe_errno(int code, char* error_text, size_t error_capacity) {
    snprintf(error_text, error_capacity, "error %d: %s", code, strerror(code));
}

}  // namespace

int32_t platform_path_kind(const char* path, uint64_t& size) {
    size = 0;
    struct stat status;
    if (stat(path, &status) != 0) return PLATFORM_ENTRY_MISSING;
    if (S_ISDIR(status.st_mode)) return PLATFORM_ENTRY_DIRECTORY;
    if (!S_ISREG(status.st_mode)) return PLATFORM_ENTRY_OTHER;
    size = static_cast<uint64_t>(status.st_size);
    return PLATFORM_ENTRY_FILE;
}

bool platform_list_directory(const char* path, std::vector<PlatformDirectoryEntry>& entries, char* error_text,
                             size_t error_capacity) {
    entries.clear();
    DIR* directory = opendir(path);
    if (directory == nullptr) {
        describe_errno(errno, error_text, error_capacity);
        return false;
    }
    std::string full = path;
    if (full.empty() || full.back() != '/') full += '/';
    const size_t base_length = full.size();
    for (;;) {
        errno = 0;
        const dirent* item = readdir(directory);
        if (item == nullptr) break;
        if (strcmp(item->d_name, ".") == 0 || strcmp(item->d_name, "..") == 0) continue;
        PlatformDirectoryEntry entry;
        entry.name = item->d_name;
        entry.size = 0;
        full.resize(base_length);
        full += item->d_name;
        struct stat status;
        if (lstat(full.c_str(), &status) != 0) {
            entry.kind = PLATFORM_ENTRY_OTHER;
        } else if (S_ISDIR(status.st_mode)) {
            entry.kind = PLATFORM_ENTRY_DIRECTORY;
        } else if (S_ISREG(status.st_mode)) {
            entry.kind = PLATFORM_ENTRY_FILE;
            entry.size = static_cast<uint64_t>(status.st_size);
        } else if (S_ISLNK(status.st_mode) && stat(full.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
            // A link to a file is read like the file; a link to a folder is not followed.
            entry.kind = PLATFORM_ENTRY_FILE;
            entry.size = static_cast<uint64_t>(status.st_size);
        } else {
            entry.kind = PLATFORM_ENTRY_OTHER;
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

bool platform_make_directory(const char* path, char* error_text, size_t error_capacity) {
    if (mkdir(path, 0777) == 0) return true;
    const int code = errno;
    struct stat status;
    if (stat(path, &status) == 0 && S_ISDIR(status.st_mode)) return true;
    describe_errno(code, error_text, error_capacity);
    return false;
}

char platform_path_separator() {
    return '/';
}

bool platform_is_path_separator(char c) {
    return c == '/';
}

#endif
