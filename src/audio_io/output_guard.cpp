#include "audio_io/output_guard.h"

#include "console/shared_messages.h"
#include "platform/read_probe.h"

bool output_guard_begin(OutputGuard& guard, const char* path, bool overwrite) {
    guard = OutputGuard{};
    guard.path = path;
    if (!overwrite && platform_read_probe(path, false)) {
        print_output_exists();
        return false;
    }
    platform_file_stamp(path, guard.before);
    return true;
}

void output_guard_after_create(OutputGuard& guard, bool created) {
    FileStamp now;
    platform_file_stamp(guard.path, now);
    const bool opened = created || (!guard.before.present && now.present) || file_stamp_touched(guard.before, now);
    guard.claimed = opened && now.regular;
    guard.file = now;
}

void output_guard_discard(OutputGuard& guard) {
    if (!guard.claimed) return;
    platform_remove_stamped(guard.path, guard.file);
    guard.claimed = false;
}
