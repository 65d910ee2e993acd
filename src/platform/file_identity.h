#pragma once

// True when both paths name existing files and they are the same file on disk
// (the same path written differently, a hard link or a symbolic link to it).
// Also true when both exist but their identity cannot be read, since they may
// be one. False when either does not exist.
bool platform_same_existing_file(const char* path_a, const char* path_b);
