#include "platform/worker_thread.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32

#include <windows.h>
#include <process.h>

namespace {

unsigned __stdcall thread_entry(void* argument) {
    PlatformThread& thread = *static_cast<PlatformThread*>(argument);
    thread.run(thread.context);
    return 0;
}

}  // namespace

bool platform_thread_start(PlatformThread& thread, void (*run)(void*), void* context, char* error_text,
                           size_t error_capacity) {
    thread.run = run;
    thread.context = context;
    const uintptr_t handle = _beginthreadex(nullptr, 0, thread_entry, &thread, 0, nullptr);
    if (handle == 0) {
        snprintf(error_text, error_capacity, "%s", strerror(errno));
        return false;
    }
    thread.handle = handle;
    return true;
}

void platform_thread_join(PlatformThread& thread) {
    HANDLE handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(thread.handle));
    WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
    thread.handle = 0;
}

#else

#include <pthread.h>

static_assert(sizeof(pthread_t) <= sizeof(uint64_t), "a thread handle must fit the record");

namespace {

void* thread_entry(void* argument) {
    PlatformThread& thread = *static_cast<PlatformThread*>(argument);
    thread.run(thread.context);
    return nullptr;
}

}  // namespace

bool platform_thread_start(PlatformThread& thread, void (*run)(void*), void* context, char* error_text,
                           size_t error_capacity) {
    thread.run = run;
    thread.context = context;
    pthread_t handle;
    const int code = pthread_create(&handle, nullptr, thread_entry, &thread);
    if (code != 0) {
        snprintf(error_text, error_capacity, "%s", strerror(code));
        return false;
    }
    thread.handle = 0;
    memcpy(&thread.handle, &handle, sizeof handle);
    return true;
}

void platform_thread_join(PlatformThread& thread) {
    pthread_t handle;
    memcpy(&handle, &thread.handle, sizeof handle);
    pthread_join(handle, nullptr);
}

#endif
