// Threads of the system, started without exceptions: a thread the system
// refuses (a process limit, no memory for its stack) is a false return with
// the reason, never an abort.
#pragma once

#include <cstddef>
#include <cstdint>

struct PlatformThread {
    uint64_t handle;             // the system's handle, while started
    void (*run)(void* context);
    void* context;
};

// Starts run(context) on a new thread. The record must stay where it is until
// platform_thread_join. False with the system's reason in error_text.
bool platform_thread_start(PlatformThread& thread, void (*run)(void*), void* context, char* error_text,
                           size_t error_capacity);

// Waits for a started thread to end.
void platform_thread_join(PlatformThread& thread);
