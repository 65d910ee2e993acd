#include "platform/directory_listing.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32

#include <windows.h>

namespace {

std::wstring to_wide(const char* text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

std::string to_utf8(const wchar_t* text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &narrow[0], length, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(length - 1));
    return narrow;
}

// The \\?\ form of the path's full name, which lifts the 260-character limit.
std::wstring long_form(const char* path) {
    const std::wstring wide = to_wide(path);
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return wide;
    std::wstring full(needed, L'\0');
    const DWORD written = GetFullPathNameW(wide.c_str(), needed, &full[0], nullptr);
    if (written == 0 || written >= needed) return wide;
    full.resize(written);
    if (full.compare(0, 4, L"\\\\?\\") == 0) return full;
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

void describe_error(DWORD code, char* error_text, size_t error_capacity) {
    wchar_t message[256] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, message, 256,
                   nullptr);
    std::string text = to_utf8(message);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.' || text.back() == ' ')) {
        text.pop_back();
    }
    snprintf(error_text, error_capacity, "Windows error %lu%s%s", static_cast<unsigned long>(code),
             text.empty() ? "" : ": ", text.c_str());
}

}  // namespace

int32_t platform_path_kind(const char* path, uint64_t& size) {
    size = 0;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(long_form(path).c_str(), GetFileExInfoStandard, &data)) return PLATFORM_ENTRY_MISSING;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return PLATFORM_ENTRY_DIRECTORY;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return PLATFORM_ENTRY_OTHER;
    size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return PLATFORM_ENTRY_FILE;
}

bool platform_list_directory(const char* path, std::vector<PlatformDirectoryEntry>& entries, char* error_text,
                             size_t error_capacity) {
    entries.clear();
    std::wstring pattern = long_form(path);
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
        entry.name = to_utf8(found.cFileName);
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
    const std::wstring wide = long_form(path);
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
