// 64-bit positioning of stdio streams, so that files past 2 GiB (RF64) can be
// walked and patched on every platform.
#pragma once

#include <cstdint>
#include <cstdio>

// Moves the stream like fseek (origin SEEK_SET, SEEK_CUR or SEEK_END) with a
// 64-bit offset. Returns true on success.
bool platform_file_seek(FILE* file, int64_t offset, int origin);

// Current position of the stream, or -1 when it cannot be told (a pipe, say).
int64_t platform_file_tell(FILE* file);
