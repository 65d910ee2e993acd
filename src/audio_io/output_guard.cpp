#include "audio_io/output_guard.h"

#include <cstdio>

#include "console/shared_messages.h"
#include "platform/path_exists.h"

bool output_guard_begin(OutputGuard& guard, const char* path, bool overwrite) {
    guard = OutputGuard{};
    guard.path = path;
    if (!overwrite) {
        FILE* probe = fopen(path, "rb");
        if (probe != nullptr) {
            fclose(probe);
            print_output_exists();
            return false;
        }
    }
    guard.existed_before = platform_path_exists(path);
    return true;
}

void output_guard_after_create(OutputGuard& guard, bool created) {
    guard.claimed = created || !guard.existed_before;
}

void output_guard_discard(OutputGuard& guard) {
    if (!guard.claimed) return;
    remove(guard.path);
    guard.claimed = false;
}
