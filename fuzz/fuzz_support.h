// Helpers shared by the fuzz targets.
#pragma once

#include <unistd.h>

#include <cstdint>
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

// A scratch file of this process (one per suffix), rewritten for every input.
inline const std::string& scratch_path(const char* suffix) {
    static std::string path;
    if (path.empty()) {
        const char* directory = getenv("TMPDIR");
        if (directory == nullptr || directory[0] == '\0') directory = "/tmp";
        path = std::string(directory) + "/qv-hdcd-fuzz-" + std::to_string(getpid()) + suffix;
    }
    return path;
}

inline void write_scratch(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr) fail("cannot create the scratch file");
    if (size != 0 && fwrite(data, 1, size, file) != size) fail("cannot write the scratch file");
    if (fclose(file) != 0) fail("cannot close the scratch file");
}

// A message handed back in a caller's error buffer: one line, not empty, ended
// inside the buffer.
inline void check_error_text(const char* text, size_t capacity) {
    const size_t length = strnlen(text, capacity);
    check(length < capacity, "error text not terminated inside its buffer");
    check(length > 0, "failure without an error text");
    check(strchr(text, '\n') == nullptr, "error text holds a line break");
}

}  // namespace fuzz
