// Ownership of the file at an operation's write path: refuses an existing file
// without --overwrite, and on failure removes the file only when this run has
// created or truncated it, and only while the path still holds that regular
// file. A file the run never replaced, and anything that is not a regular file
// (a link, a pipe, a device), stays as it was.
#pragma once

#include "platform/owned_file.h"

struct OutputGuard {
    const char* path;
    FileStamp before;  // what was at the path when the run began
    FileStamp file;    // the regular file the run claimed
    bool claimed;      // this run created or truncated it: removing it loses nothing of the user's
};

// The overwrite probe. Unless overwrite, a path that opens for reading is refused
// with "Error: output file exists. Use --overwrite to replace it." and false is
// returned; the probe never waits (a named pipe is simply there). Also stamps
// what is at the path yet.
bool output_guard_begin(OutputGuard& guard, const char* path, bool overwrite);

// Records the outcome of creating the writer. A writer that was created has
// truncated the path, so the regular file there is claimed. A failed creation
// claims it when the writer got as far as opening the path: a file that was not
// there before, or the one that was, now written or truncated. A file the writer
// never opened is the user's and is kept.
void output_guard_after_create(OutputGuard& guard, bool created);

// Removes the file at the path when the run claimed it and it is still there;
// nothing otherwise.
void output_guard_discard(OutputGuard& guard);
