#include "audio_io/flac_suffix.h"

#include <cstring>

bool path_has_suffix(const char* path, const char* suffix) {
    if (path == nullptr) return false;
    const size_t length = std::strlen(path);
    const size_t suffix_length = std::strlen(suffix);
    if (length < suffix_length) return false;
    const char* tail = path + length - suffix_length;
    for (size_t i = 0; i < suffix_length; ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

bool has_flac_suffix(const char* path) {
    return path_has_suffix(path, ".flac");
}
