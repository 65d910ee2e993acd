#pragma once

// True when path opens for reading and, with want_byte, a first byte can be read
// from it; the file is closed again at once. Never waits: a named pipe without a
// writer counts as openable and empty.
bool platform_read_probe(const char* path, bool want_byte);
