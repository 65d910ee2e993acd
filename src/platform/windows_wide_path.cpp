#include "platform/windows_wide_path.h"

#ifdef _WIN32

#include <windows.h>

bool windows_wide_path(const char* path, std::wstring& wide) {
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    if (length <= 0) return false;
    wide.assign(static_cast<size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, &wide[0], length) != length) return false;
    wide.resize(static_cast<size_t>(length) - 1);
    return true;
}

bool windows_utf8_text(const wchar_t* wide, std::string& utf8) {
    utf8.clear();
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return false;
    utf8.assign(static_cast<size_t>(length), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, &utf8[0], length, nullptr, nullptr) != length) {
        utf8.clear();
        return false;
    }
    utf8.resize(static_cast<size_t>(length) - 1);
    return true;
}

bool windows_full_wide_path(const char* path, std::wstring& full) {
    std::wstring wide;
    if (!windows_wide_path(path, wide) || wide.empty()) return false;
    // The first call gives the room needed with the terminator; the current
    // directory may change in between, hence the loop.
    DWORD capacity = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    while (capacity != 0) {
        full.assign(capacity, L'\0');
        const DWORD length = GetFullPathNameW(wide.c_str(), capacity, &full[0], nullptr);
        if (length == 0) break;
        if (length < capacity) {
            full.resize(length);
            return true;
        }
        capacity = length;
    }
    return false;
}

bool windows_extended_wide_path(const char* path, std::wstring& extended) {
    std::wstring full;
    if (!windows_full_wide_path(path, full)) return false;
    if (full.compare(0, 4, L"\\\\?\\") == 0 || full.compare(0, 4, L"\\\\.\\") == 0) {
        extended = full;
    } else if (full.compare(0, 2, L"\\\\") == 0) {
        extended = L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share\...
    } else {
        extended = L"\\\\?\\" + full;
    }
    return true;
}

#endif
