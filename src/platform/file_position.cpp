// Large-file offsets on 32-bit POSIX systems; a no-op where off_t is already 64-bit.
#ifndef _WIN32
#define _FILE_OFFSET_BITS 64
#endif

#include "platform/file_position.h"

#ifdef _WIN32

bool platform_file_seek(FILE* file, int64_t offset, int origin) {
    return _fseeki64(file, offset, origin) == 0;
}

int64_t platform_file_tell(FILE* file) {
    const __int64 position = _ftelli64(file);
    return position < 0 ? -1 : static_cast<int64_t>(position);
}

#else

#include <sys/types.h>

bool platform_file_seek(FILE* file, int64_t offset, int origin) {
    return fseeko(file, static_cast<off_t>(offset), origin) == 0;
}

int64_t platform_file_tell(FILE* file) {
    const off_t position = ftello(file);
    return position < 0 ? -1 : static_cast<int64_t>(position);
}

#endif
