#include "platform/file_paths.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32

#include <windows.h>

#include "platform/windows_wide_path.h"

bool platform_absolute_path(const char* path, std::string& result) {
    std::wstring full;
    return windows_full_wide_path(path, full) && windows_utf8_text(full.c_str(), result);
}

bool platform_move_replacing(const char* source, const char* target, char* failure, size_t failure_capacity) {
    std::wstring wide_source;
    std::wstring wide_target;
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (windows_extended_wide_path(source, wide_source) && windows_extended_wide_path(target, wide_target) &&
        MoveFileExW(wide_source.c_str(), wide_target.c_str(), flags) != 0) {
        return true;
    }
    const unsigned long code = GetLastError();
    snprintf(failure, failure_capacity, "Windows error %lu", code);
    return false;
}

#else

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void describe_errno(int code, char* failure, size_t failure_capacity) {
    snprintf(failure, failure_capacity, "error %lu: %s", static_cast<unsigned long>(code), strerror(code));
}

// Flushes the file or directory at path to disk.
int sync_path(const char* path, int flags) {
    const int descriptor = open(path, flags);
    if (descriptor < 0) return errno;
    int code = 0;
    if (fsync(descriptor) != 0) code = errno;
    close(descriptor);
    return code;
}

}  // namespace

bool platform_absolute_path(const char* path, std::string& result) {
    std::string joined;
    if (path[0] != '/') {
        std::vector<char> directory(4096);
        while (getcwd(directory.data(), directory.size()) == nullptr) {
            if (errno != ERANGE || directory.size() > (1u << 20)) return false;
            directory.resize(directory.size() * 2);
        }
        joined = directory.data();
        joined += '/';
    }
    joined += path;

    // Fold the components by name: "." vanishes, ".." takes back the one before
    // it (and stays at the root).
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= joined.size()) {
        size_t end = joined.find('/', start);
        if (end == std::string::npos) end = joined.size();
        const std::string part = joined.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    result.clear();
    for (const std::string& part : parts) result += "/" + part;
    if (result.empty()) result = "/";
    return true;
}

bool platform_move_replacing(const char* source, const char* target, char* failure, size_t failure_capacity) {
    // The data must be on disk before the name points at it, or a crash could
    // leave an empty file where the original used to be.
    int code = sync_path(source, O_RDONLY);
    if (code != 0) {
        describe_errno(code, failure, failure_capacity);
        return false;
    }
    if (rename(source, target) != 0) {
        describe_errno(errno, failure, failure_capacity);
        return false;
    }
    // The move has happened: the new name is in place and the temporary name is
    // gone. Syncing the directory only makes the new name durable sooner; when
    // it fails (or the file system cannot sync a directory at all) the move is
    // no less done, and the caller's check of the output decides the outcome.
    const char* slash = strrchr(target, '/');
    const std::string directory = slash == nullptr ? std::string(".")
                                  : slash == target ? std::string("/")
                                                    : std::string(target, static_cast<size_t>(slash - target));
    sync_path(directory.c_str(), O_RDONLY | O_DIRECTORY);
    return true;
}

#endif

namespace {

bool separator_at(const char* path, size_t index) {
#ifdef _WIN32
    return path[index] == '\\' || path[index] == '/';
#else
    return path[index] == '/';
#endif
}

bool same_character(char a, char b) {
#ifdef _WIN32
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a == '/') a = '\\';
    if (b == '/') b = '\\';
#endif
    return a == b;
}

}  // namespace

bool platform_path_within(const char* outer, const char* inner) {
    std::string outer_full;
    std::string inner_full;
    if (!platform_absolute_path(outer, outer_full) || !platform_absolute_path(inner, inner_full)) return false;
    size_t length = outer_full.size();
    while (length > 1 && separator_at(outer_full.c_str(), length - 1)) --length;  // "C:\" and "/" keep theirs
    if (inner_full.size() < length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (!same_character(outer_full[i], inner_full[i])) return false;
    }
    return inner_full.size() == length || separator_at(inner_full.c_str(), length) ||
           separator_at(outer_full.c_str(), length - 1);
}

bool platform_error_is_disk_full(int error_number) {
#ifdef EDQUOT
    if (error_number == EDQUOT) return true;
#endif
    return error_number == ENOSPC || error_number == EFBIG;
}

std::string platform_path_compare_key(const std::string& path) {
    std::string key = path;
#ifdef _WIN32
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c == '/') c = '\\';
    }
#endif
    return key;
}

bool platform_parent_path(const std::string& path, std::string& parent) {
    size_t end = path.size();
    while (end > 0 && separator_at(path.c_str(), end - 1)) --end;
#ifdef _WIN32
    if (end == 2 && path[1] == ':') return false;  // "C:\"
#endif
    size_t cut = end;
    while (cut > 0 && !separator_at(path.c_str(), cut - 1)) --cut;
    if (cut == 0) {
        if (end == 0 || path.compare(0, end, ".") == 0) return false;
        parent = ".";
        return true;
    }
    size_t keep = cut;
    while (keep > 1 && separator_at(path.c_str(), keep - 1)) --keep;
    parent = path.substr(0, keep);
#ifdef _WIN32
    if (parent.size() == 2 && parent[1] == ':') parent += '\\';  // "C:" alone names another folder
#endif
    return parent != path;
}

std::string platform_last_component(const std::string& path) {
    size_t end = path.size();
    while (end > 0 && separator_at(path.c_str(), end - 1)) --end;
    size_t start = end;
    while (start > 0 && !separator_at(path.c_str(), start - 1)) --start;
    return path.substr(start, end - start);
}
