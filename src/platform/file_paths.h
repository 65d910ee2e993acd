// Path services that need the operating system: making a path absolute and
// moving a finished file over another one.
#pragma once

#include <cstddef>
#include <string>

// Sets result to the absolute form of path, of any length. Relative paths are
// taken against the current directory; "." and ".." are folded by name, without following links, so the path need
// not exist. False when the current directory is unknown or the path cannot be
// converted.
bool platform_absolute_path(const char* path, std::string& result);

// Moves source onto target, replacing a file that is there, and returns once the
// move is on disk as far as the system can tell. On failure false, and failure
// holds the system's error number with its text where the system has one (for
// example "error 28: No space left on device"); source and target are then as
// they were. Once the rename itself has succeeded the result is true.
bool platform_move_replacing(const char* source, const char* target, char* failure, size_t failure_capacity);

// True when `inner` is `outer` or lies below it, comparing the absolute forms
// of both (folded by name, as platform_absolute_path does; on Windows without
// regard to letter case). False when either cannot be made absolute.
bool platform_path_within(const char* outer, const char* inner);

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
