#include "platform/dynamic_library.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>
#endif

namespace {

// Cuts trailing line breaks, spaces and full stops from a system message so that
// it reads well inside our own sentence.
void trim_system_text(char* text) {
    size_t length = strlen(text);
    while (length > 0) {
        const char last = text[length - 1];
        if (last != '\n' && last != '\r' && last != ' ' && last != '.') break;
        text[--length] = '\0';
    }
}

}  // namespace

#ifdef _WIN32

size_t platform_executable_path(char* buffer, size_t capacity) {
    const DWORD length = GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(capacity));
    return static_cast<size_t>(length);
}

bool platform_library_search_by_name() { return false; }

void* platform_library_open(const char* path) {
    return reinterpret_cast<void*>(LoadLibraryA(path));
}

void platform_library_open_error(char* error_text, size_t error_capacity) {
    const DWORD code = GetLastError();
    char system_text[192] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), system_text,
                                        static_cast<DWORD>(sizeof system_text), nullptr);
    if (length == 0) {
        snprintf(error_text, error_capacity, "Windows error %lu", static_cast<unsigned long>(code));
        return;
    }
    trim_system_text(system_text);
    snprintf(error_text, error_capacity, "Windows error %lu: %s", static_cast<unsigned long>(code), system_text);
}

bool platform_library_file(void* library, char* buffer, size_t capacity) {
    if (capacity == 0) return false;
    const DWORD length = GetModuleFileNameA(static_cast<HMODULE>(library), buffer, static_cast<DWORD>(capacity));
    if (length == 0 || length >= capacity) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

void* platform_library_symbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void platform_library_close(void* library) {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

#else

size_t platform_executable_path(char* buffer, size_t capacity) {
    if (capacity == 0) return 0;
    const ssize_t length = readlink("/proc/self/exe", buffer, capacity);
    if (length <= 0) return 0;
    if (static_cast<size_t>(length) >= capacity) return capacity;
    buffer[length] = '\0';
    return static_cast<size_t>(length);
}

bool platform_library_search_by_name() { return true; }

namespace {
// dlerror's text is consumed by reading it, so the text of a failed open is
// kept here until it is asked for.
char last_open_error[512];

// Copies text whole into buffer; false (and an empty buffer) when it does not fit.
bool copy_whole(const char* text, char* buffer, size_t capacity) {
    if (capacity == 0) return false;
    const size_t length = strlen(text);
    if (length >= capacity) {
        buffer[0] = '\0';
        return false;
    }
    memcpy(buffer, text, length + 1);
    return true;
}

}  // namespace

void* platform_library_open(const char* path) {
    last_open_error[0] = '\0';
    dlerror();
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* text = dlerror();
        snprintf(last_open_error, sizeof last_open_error, "%s", text != nullptr ? text : "unknown error");
    }
    return library;
}

void platform_library_open_error(char* error_text, size_t error_capacity) {
    char system_text[sizeof last_open_error];
    memcpy(system_text, last_open_error, sizeof system_text);
    trim_system_text(system_text);
    snprintf(error_text, error_capacity, "%s", system_text);
}

bool platform_library_file(void* library, char* buffer, size_t capacity) {
    // The loader keeps the path it found the file under, also for a bare name.
    link_map* map = nullptr;
    if (library == nullptr || dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr) {
        if (capacity > 0) buffer[0] = '\0';
        return false;
    }
    return copy_whole(map->l_name, buffer, capacity);
}

void* platform_library_symbol(void* library, const char* name) {
    dlerror();
    return dlsym(library, name);
}

void platform_library_close(void* library) {
    if (library != nullptr) dlclose(library);
}

#endif
