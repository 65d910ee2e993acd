// Ownership of the file at an operation's write path: refuses an existing file
// without --overwrite, and on failure removes the file only when this run has
// created or truncated it. A file the run never replaced stays as it was.
#pragma once

struct OutputGuard {
    const char* path;
    bool existed_before;  // something was at the path when the run began
    bool claimed;         // this run created or truncated it: removing it loses nothing of the user's
};

// The overwrite probe. Unless overwrite, a path that opens for reading is refused
// with "Error: output file exists. Use --overwrite to replace it." and false is
// returned. Also notes whether anything is at the path yet.
bool output_guard_begin(OutputGuard& guard, const char* path, bool overwrite);

// Records the outcome of creating the writer. A writer that was created has
// truncated the path, so it is claimed. A failed creation claims it only when
// nothing was there before: the writer may have left a fresh file behind, while
// a file the writer could not open is the user's and is kept.
void output_guard_after_create(OutputGuard& guard, bool created);

// Removes the file at the path when the run claimed it; nothing otherwise.
void output_guard_discard(OutputGuard& guard);
