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

#else

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

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

#endif

namespace {

bool separator_at(const char* path, size_t index) {
#ifdef _WIN32
    return path[index] == '\\' || path[index] == '/';
#else
    return path[index] == '/';
#endif
}

}  // namespace

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
