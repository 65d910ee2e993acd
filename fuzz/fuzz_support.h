// Helpers shared by the fuzz targets.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace fuzz {

// Reports a broken invariant and aborts, so that libFuzzer keeps the input.
[[noreturn]] inline void fail(const char* what) {
    fprintf(stderr, "fuzz invariant broken: %s\n", what);
    abort();
}

inline void check(bool condition, const char* what) {
    if (!condition) fail(what);
}

// This process's scratch file, rewritten for every input.
inline const std::string& scratch_path(const char* suffix) {
    const char* directory = getenv("TMPDIR");
    static const std::string path = std::string(directory != nullptr && *directory != '\0' ? directory : "/tmp") +
                                    "/qv-hdcd-fuzz-" + std::to_string(getpid()) + suffix;
    return path;
}

inline void write_scratch(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = fopen(path.c_str(), "wb");
    check(file != nullptr, "cannot create the scratch file");
    const bool written = size == 0 || fwrite(data, 1, size, file) == size;
    const bool closed = fclose(file) == 0;  // closed on every path, even after a short write
    check(written && closed, "cannot write the scratch file");
}

// An error message: one non-empty line, ended inside its buffer.
inline void check_error_text(const char* text, size_t capacity) {
    const size_t length = strnlen(text, capacity);
    check(length < capacity && length > 0 && strchr(text, '\n') == nullptr, "error text empty, unterminated or multi-line");
}

}  // namespace fuzz
