// Files this run made its own: created exclusively, or found at a path after the
// run opened it, and removed later only while the path still holds that file.
#pragma once

#include <cstdint>

// What lies at a path, without following a final link.
struct FileStamp {
    bool present;       // something is there, readable or not
    bool regular;       // a regular file: not a link, directory, pipe or device
    uint64_t volume;    // with index: the file's identity on this machine
    uint64_t index;
    uint64_t size;
    int64_t modified;   // opaque times, compared only for equality
    int64_t changed;
};

// Stamps whatever is at path. False (and a cleared stamp) when nothing is there.
bool platform_file_stamp(const char* path, FileStamp& stamp);

// True when both stamps describe the same regular file.
bool file_stamp_same_file(const FileStamp& a, const FileStamp& b);

// The outcomes of creating a file exclusively: TAKEN when anything at all is at
// the name, a dangling link included, which is never followed; FAILED for any
// other refusal (a missing or read-only folder, a name the system rejects).
enum CreateExclusiveResult { CREATE_EXCLUSIVE_DONE = 0, CREATE_EXCLUSIVE_TAKEN = 1, CREATE_EXCLUSIVE_FAILED = 2 };
// Removes path when it still holds the regular file that stamp describes; any
// other thing there, or another file put in its place, stays.
void platform_remove_stamped(const char* path, const FileStamp& stamp);
