#pragma once

// True when both paths name existing files and they are the same file on disk
// (the same path written differently, a hard link or a symbolic link to it).
// False when either does not exist or cannot be inspected.
bool platform_same_existing_file(const char* path_a, const char* path_b);
