#include "platform/processor_count.h"

#ifdef _WIN32

#include <windows.h>

uint32_t platform_logical_processor_count() {
    DWORD_PTR process_mask = 0;
    DWORD_PTR system_mask = 0;
    uint32_t count = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask) != 0) {
        for (; process_mask != 0; process_mask &= process_mask - 1) ++count;
    }
    if (count == 0) {
        SYSTEM_INFO information;
        GetSystemInfo(&information);
        count = information.dwNumberOfProcessors;
    }
    return count != 0 ? count : 1;
}

#else

#include <sched.h>
#include <unistd.h>

uint32_t platform_logical_processor_count() {
#ifdef CPU_COUNT
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 0) {
        return static_cast<uint32_t>(CPU_COUNT(&allowed));
    }
#endif
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<uint32_t>(online) : 1;
}

#endif
