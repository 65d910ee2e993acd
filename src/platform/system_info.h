// What the program can tell about the console it runs in.
#pragma once

#include <cstdint>

// True when standard error is a terminal (a console window on Windows).
bool platform_stderr_is_terminal();
