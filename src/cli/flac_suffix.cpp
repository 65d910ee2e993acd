#include "cli/flac_suffix.h"

#include <cstring>

bool has_flac_suffix(const char* path) {
    static const char SUFFIX[] = ".flac";
    const size_t suffix_length = sizeof SUFFIX - 1;
    if (path == nullptr) return false;
    const size_t length = std::strlen(path);
    if (length < suffix_length) return false;
    const char* tail = path + length - suffix_length;
    for (size_t i = 0; i < suffix_length; ++i) {
        char c = tail[i];
        // Plain ASCII folding only: no locale, no other letters.
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != SUFFIX[i]) return false;
    }
    return true;
}
