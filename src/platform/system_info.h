// Facts about the machine and the console the program runs on.
#pragma once

#include <cstdint>

// Logical processors the program may use; at least 1.
uint32_t platform_processor_count();

// True when standard error is a terminal (a console window on Windows).
bool platform_stderr_is_terminal();
