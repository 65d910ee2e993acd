// Run-time loading of shared libraries, and the directory of the running program.
#pragma once

#include <cstddef>

// Writes the full path of the running executable into buffer and returns its
// length. 0 means the path could not be obtained; a result of capacity or more
// means it did not fit (the buffer then holds no usable path).
size_t platform_executable_path(char* buffer, size_t capacity);

// Loads the library file at full_path and returns its handle, or nullptr. Where
// the platform has a loader search by name (not Windows), a full_path that names
// no file falls back to loading bare_name through that search; a file that
// exists but cannot be loaded is a failure, never skipped.
void* platform_library_open(const char* full_path, const char* bare_name);

// Describes the failure of the last platform_library_open as one sentence,
// "Unable to load <display_name> (...).", with the system's own text trimmed of
// trailing line breaks, spaces and full stops.
void platform_library_open_error(const char* display_name, char* error_text, size_t error_capacity);

// Address of an exported function, or nullptr when the library lacks it.
void* platform_library_symbol(void* library, const char* name);

// Releases a library loaded by platform_library_open; nullptr is ignored.
void platform_library_close(void* library);
