#pragma once

// True when something (a file, a directory, anything) is present at path, even
// when it cannot be read. False when nothing is there or the path is invalid.
bool platform_path_exists(const char* path);
