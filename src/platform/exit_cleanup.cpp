#include "platform/exit_cleanup.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/output_placement.h"

namespace {

// Written by hand rather than with a container: a signal handler may look at
// the slots at any moment, so a slot's text is never freed or moved while it
// could be read. A slot whose buffer is too short for a new name gets a larger
// one, which begins with a pointer to the old one: nothing is freed, and
// nothing is lost either.
constexpr int SLOT_COUNT = 256;
constexpr size_t SMALLEST_BUFFER = 512;

struct Slot {
    std::atomic<int> state;  // 0 free, 1 being filled or emptied, 2 holds a live name
    int folder;              // POSIX: the open folder the name is in
    char* text;              // inside the buffer, after the pointer to the one it replaced
    size_t capacity;         // bytes of text the buffer holds
};

Slot slots[SLOT_COUNT];

}  // namespace

int platform_exit_cleanup_add(const OutputFolder& folder, const std::string& name) {
#ifdef _WIN32
    const std::string whole = platform_output_folder_path(folder, name);
    const char* path = whole.c_str();
#else
    const char* path = name.c_str();
#endif
    const size_t length = strlen(path);
    for (int i = 0; i < SLOT_COUNT; ++i) {
        int expected = 0;
        if (!slots[i].state.compare_exchange_strong(expected, 1)) continue;
        Slot& slot = slots[i];
        if (slot.capacity < length + 1) {
            size_t capacity = slot.capacity != 0 ? 2 * slot.capacity : SMALLEST_BUFFER;
            while (capacity < length + 1) capacity *= 2;
            void* buffer = malloc(sizeof(char*) + capacity);
            if (buffer == nullptr) {
                slot.state.store(0);
                return -1;
            }
            char* previous = slot.text != nullptr ? slot.text - sizeof(char*) : nullptr;
            memcpy(buffer, &previous, sizeof previous);
            slot.text = static_cast<char*>(buffer) + sizeof(char*);
            slot.capacity = capacity;
        }
        memcpy(slot.text, path, length + 1);
        slot.folder = folder.descriptor;
        slot.state.store(2);
        return i;
    }
    return -1;
}

void platform_exit_cleanup_remove(int slot) {
    if (slot < 0 || slot >= SLOT_COUNT) return;
    slots[slot].state.store(0);
}

#ifdef _WIN32

#include <windows.h>

#include <csignal>
#include <string>

namespace {

// Converts without allocating: the routine may run while memory is exhausted.
void remove_name(int, const char* path) {
    static wchar_t wide[32768];
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide, 32767);
    if (length > 0) DeleteFileW(wide);
}

BOOL WINAPI on_console_event(DWORD event) {
    // A first Ctrl+C reaches the runtime's handler, registered later and so
    // asked first; only one it declines (the second) comes here.
    platform_exit_cleanup_run();
    (void)event;
    return FALSE;  // the system's own handling ends the process
}

}  // namespace

void platform_exit_cleanup_install() {
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

void platform_exit_cleanup_arm_interrupt() {}

#else

#include <csignal>
#include <unistd.h>

namespace {

void remove_name(int folder, const char* name) {
    unlinkat(folder, name, 0);
}

void set_action(int signal_number, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal_number, &action, nullptr);
}

void end_by_signal(int signal_number) {
    platform_exit_cleanup_run();
    set_action(signal_number, SIG_DFL);
    raise(signal_number);
}

}  // namespace

void platform_exit_cleanup_install() {
    set_action(SIGTERM, end_by_signal);
    set_action(SIGHUP, end_by_signal);
    set_action(SIGQUIT, end_by_signal);
    set_action(SIGXFSZ, SIG_IGN);
}

void platform_exit_cleanup_arm_interrupt() {
    set_action(SIGINT, end_by_signal);
}

#endif

void platform_exit_cleanup_run() {
    for (Slot& slot : slots) {
        if (slot.state.load() == 2) remove_name(slot.folder, slot.text);
    }
}
