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
