#pragma once

// True when path names something other than a regular file or a directory (a
// device such as /dev/zero or NUL, a pipe, a socket), following links. Reading
// such a thing may never end. False when nothing is there or it cannot be
// inspected.
bool platform_is_device_file(const char* path);
