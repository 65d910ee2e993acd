#include "console/console.h"

#include <cstdarg>
#include <vector>

#include "platform/console_text.h"

namespace {

// stdout is block-buffered when it goes to a file or a pipe, stderr never is:
// whatever stdout holds goes out first, so that a log of both streams reads in
// the order a terminal shows.
void before_stream(FILE* stream) {
    if (stream != stdout) fflush(stdout);
}

// Formats the text whole and hands it to the platform, which shows it in a
// console as the characters it stands for.
int write_formatted(FILE* stream, const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    char text[1024];
    const int length = vsnprintf(text, sizeof text, format, args);
    bool written = false;
    if (length >= 0 && static_cast<size_t>(length) < sizeof text) {
        written = platform_write_text(stream, text, static_cast<size_t>(length));
    } else if (length >= 0) {
        std::vector<char> long_text(static_cast<size_t>(length) + 1);
        vsnprintf(long_text.data(), long_text.size(), format, again);
        written = platform_write_text(stream, long_text.data(), static_cast<size_t>(length));
    }
    va_end(again);
    return written ? length : -1;
}

}  // namespace

int print_to_stream(FILE* stream, const char* format, ...) {
    before_stream(stream);
    va_list args;
    va_start(args, format);
    const int written = write_formatted(stream, format, args);
    va_end(args);
    return written;
}

int print_to_stdout(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = write_formatted(stdout, format, args);
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
    if (frames_done >= total_frames) return 100;
    if (frames_done <= UINT64_MAX / 100) {
        return static_cast<int>(frames_done * 100 / total_frames);
    }
    // Counts this large never come from a real file, but the figure must not
    // wrap around: widen the product instead.
#if defined(__SIZEOF_INT128__)
    const unsigned __int128 wide = static_cast<unsigned __int128>(frames_done) * 100 / total_frames;
    return static_cast<int>(wide);
#else
    return static_cast<int>(frames_done / (total_frames / 100 + 1));
#endif
}

void progress_print(uint64_t frames_done, uint64_t total_frames, bool quiet) {
    if (quiet) return;
    print_to_stream(stderr, "\rProgress: %3d%%", progress_percent(frames_done, total_frames));
    fflush(stderr);
}

void progress_finish(bool quiet) {
    if (quiet) return;
    before_stream(stderr);
    fputc('\n', stderr);
    fflush(stderr);
}
