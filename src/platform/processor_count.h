#pragma once

#include <cstdint>

// The number of logical processors this process may run on (its affinity
// taken into account where the system has one); at least 1.
uint32_t platform_logical_processor_count();
