// Path services that need the operating system: making a path absolute,
// taking a path apart, and telling a full disk.
#pragma once

#include <cstddef>
#include <string>

// Sets result to the absolute form of path, of any length. Relative paths are
// taken against the current directory; "." and ".." are folded by name, without following links, so the path need
// not exist. False when the current directory is unknown or the path cannot be
// converted.
bool platform_absolute_path(const char* path, std::string& result);

// True for the error numbers of a write that failed for want of room: a full
// disk, a quota, or a file-size limit.
bool platform_error_is_disk_full(int error_number);

// The form under which two paths name the same file as far as their spelling
// goes: the path itself, or on Windows with ASCII letters in lower case and
// '/' as '\\'.
std::string platform_path_compare_key(const std::string& path);

// The path without its last component ("a/b" -> "a", "b" -> "."). False at a
// root, which has nothing above it.
bool platform_parent_path(const std::string& path, std::string& parent);

// The last component of path, separators after it dropped.
std::string platform_last_component(const std::string& path);
