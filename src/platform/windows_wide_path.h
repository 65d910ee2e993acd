// Windows only: UTF-8 paths turned into the wide, full and extended-length
// forms that the system's wide-character calls take at any length, and the
// system's wide text turned back into UTF-8.
#pragma once

#ifdef _WIN32

#include <string>

// The UTF-8 path as UTF-16. False when it is not valid UTF-8.
bool windows_wide_path(const char* path, std::wstring& wide);

// UTF-16 text from the system (a file name, a message) as UTF-8; a lone
// surrogate becomes U+FFFD. False when it cannot be converted.
bool windows_utf8_text(const wchar_t* wide, std::string& utf8);

// The full path: taken against the current directory, "." and ".." folded,
// separators made backslashes. False when the path cannot be converted.
bool windows_full_wide_path(const char* path, std::wstring& full);

// The full path in the "\\?\" form, which lifts the 260-character limit from
// the file calls; a path already in that form or naming a device ("\\.\") is
// left as it is.
bool windows_extended_wide_path(const char* path, std::wstring& extended);

#endif
