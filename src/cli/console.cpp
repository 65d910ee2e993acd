#include "cli/console.h"

#include <cstdarg>

int print_to_stream(FILE* stream, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = vfprintf(stream, format, args);
    va_end(args);
    return written;
}

int print_to_stdout(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = vfprintf(stdout, format, args);
    va_end(args);
    return written;
}

int format_to_buffer(char* buffer, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = vsnprintf(buffer, size, format, args);
    va_end(args);
    if (length < 0) {
        if (buffer != nullptr && size > 0) buffer[0] = '\0';
        return -1;
    }
    return length;
}

int progress_percent(uint64_t frames_done, uint64_t total_frames) {
    if (total_frames == 0) return 0;
    // Frame counts fit easily below 2^57, so the product cannot overflow for any
    // real file; larger values are divided first rather than wrapped.
    uint64_t percent;
    if (frames_done <= UINT64_MAX / 100) {
        percent = frames_done * 100 / total_frames;
    } else {
        percent = frames_done / (total_frames / 100 + 1);
    }
    return percent > 100 ? 100 : static_cast<int>(percent);
}

void progress_print(uint64_t frames_done, uint64_t total_frames, bool quiet) {
    if (quiet) return;
    print_to_stream(stderr, "\rProgress: %3d%%", progress_percent(frames_done, total_frames));
    fflush(stderr);
}

void progress_finish(bool quiet) {
    if (quiet) return;
    fputc('\n', stderr);
}
