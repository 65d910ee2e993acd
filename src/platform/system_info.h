// What the program can tell about the console it runs in.
#pragma once

#include <cstdint>

// True when standard error is a terminal (a console window on Windows).
bool platform_stderr_is_terminal();

// The width of the terminal on standard error in characters; 80 when it cannot be told.
uint32_t platform_stderr_columns();
