#include "platform/read_probe.h"

#ifdef _WIN32

#include <cstdio>

bool platform_read_probe(const char* path, bool want_byte) {
    FILE* file = fopen(path, "rb");
    if (file == nullptr) return false;
    const bool ok = !want_byte || fgetc(file) != EOF;
    fclose(file);
    return ok;
}

#else

#include <fcntl.h>
#include <unistd.h>

bool platform_read_probe(const char* path, bool want_byte) {
    // Without O_NONBLOCK, opening a named pipe would wait for a writer for ever.
    const int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return false;
    char byte;
    const bool ok = !want_byte || read(descriptor, &byte, 1) == 1;
    close(descriptor);
    return ok;
}

#endif
