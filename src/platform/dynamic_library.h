// Run-time loading of shared libraries, and the directory of the running program.
#pragma once

#include <cstddef>

// Writes the full path of the running executable into buffer and returns its
// length. 0 means the path could not be obtained; a result of capacity or more
// means it did not fit (the buffer then holds no usable path).
size_t platform_executable_path(char* buffer, size_t capacity);

// True where the platform's loader can be asked for a library by its bare file
// name and searches the system's library folders for it (not Windows, whose
// search would take any copy on the PATH).
bool platform_library_search_by_name();

// Loads the library at path and returns its handle, or nullptr. A bare file
// name goes through the loader's search; use it only where
// platform_library_search_by_name is true.
void* platform_library_open(const char* path);

// Why the last platform_library_open failed, as the system tells it, without
// trailing line breaks, spaces and full stops: "Windows error %lu: %s" (or
// "Windows error %lu" when the system has no text) on Windows, the loader's
// own message elsewhere.
void platform_library_open_error(char* error_text, size_t error_capacity);

// The full path of the file a loaded library came from; false (and an empty
// buffer) when it cannot be told or does not fit.
bool platform_library_file(void* library, char* buffer, size_t capacity);

// Address of an exported function or variable, or nullptr when the library lacks it.
void* platform_library_symbol(void* library, const char* name);

// Releases a library loaded by platform_library_open; nullptr is ignored.
void platform_library_close(void* library);
