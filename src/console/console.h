// Console helpers: every message the program prints goes through these.
#pragma once

#include <cstdint>
#include <cstdio>

#if defined(__GNUC__)
#define QV_PRINTF_LIKE(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))
#else
#define QV_PRINTF_LIKE(fmt_index, first_arg)
#endif

// Formatted print to the given stream, stdout flushed first when it is another
// one; returns the characters written, negative on error.
int print_to_stream(FILE* stream, const char* format, ...) QV_PRINTF_LIKE(2, 3);

// Formatted print to stdout; returns the characters written, negative on error.
int print_to_stdout(const char* format, ...) QV_PRINTF_LIKE(1, 2);

// Writes at most size - 1 characters and a terminating zero. Returns the length
// the whole text has (a result not below size means it was cut off), or -1 when
// the formatter fails.
int format_to_buffer(char* buffer, size_t size, const char* format, ...) QV_PRINTF_LIKE(3, 4);

// Percentage shown by the progress line: done * 100 / total in 64-bit integer
// arithmetic, 0 when the total is 0, never above 100.
int progress_percent(uint64_t frames_done, uint64_t total_frames);

// Redraws "\rProgress: %3d%%" on stderr and flushes it. Does nothing when quiet.
void progress_print(uint64_t frames_done, uint64_t total_frames, bool quiet);

// Ends the progress line with a newline on stderr after a loop that ran to its end.
// Does nothing when quiet.
void progress_finish(bool quiet);
