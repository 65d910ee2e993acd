// The one way either program writes a file. A new file is written under a
// temporary name beside its target, created exclusively and never through a
// link, under a name no other run holds; it is flushed, synced and checked,
// given what the file it replaces had (owner, group, permission bits, access
// lists, extended attributes), and only then put at its final name in one
// step. Until that moment the final name holds what it held before. Without
// replace, that last step itself refuses a name that has been taken meanwhile.
// A character device (/dev/null, NUL) is written in place; a folder, pipe or
// socket is refused before anything is written and never removed. The
// temporary name is removed on every failure and, through the exit clean-up,
// when the process is ended from outside.
//
// The room owns names; the writers own formats: a writer is handed `stream`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/output_placement.h"

enum OutputFileStatus {
    OUTPUT_FILE_OK = 0,
    OUTPUT_FILE_EXISTS = 1,        // the name is taken and may not be replaced
    OUTPUT_FILE_NOT_A_FILE = 2,    // a folder, pipe, socket or the like is there: left alone
    OUTPUT_FILE_BAD_NAME = 3,      // a name the system would change, or one it reserves for a device
    OUTPUT_FILE_NO_TEMPORARY = 4,  // every temporary name beside the target is taken
    OUTPUT_FILE_FAILED = 5,        // creating, writing or syncing failed (error_number says why)
    OUTPUT_FILE_NOT_PLACED = 6,    // the complete file could not be put at its name
};

struct OutputFile {
    std::string target;         // the name the user asked for, as given
    OutputFolder folder;        // the folder it goes in, held from the first look to the last step
    bool folder_open;
    std::string name;           // its name in that folder
    std::string temporary;      // the name in that folder the file has until it is complete
    const char* tag;            // the temporary names' mark, e.g. "qv-hdcd-eac"
    bool replace;               // an existing file at target may be replaced
    bool in_place;              // a character device, written directly
    bool keep_replaced;         // a replaced file's owner, bits and attributes go to the new one (the default)
    FILE* stream;               // open between output_file_open and commit or abandon
    FileStamp temporary_stamp;  // the file this run created at `temporary`
    int cleanup_slot;           // its registration with the exit clean-up
    int error_number;           // errno of the last failure, 0 when none
};

// Looks at what is at target before anything is read or written. Without
// replace anything at all there (a dangling link included) is EXISTS. With
// replace a folder, pipe, socket or block device is NOT_A_FILE. On Windows a
// name ending in a dot or a space, or a reserved device name other than NUL, is
// BAD_NAME. For NOT_A_FILE and BAD_NAME, and for EXISTS when what is there is
// no file, `reason` gets the words that say why ("a folder", "a name ending in
// a dot or a space").
int output_file_check(OutputFile& file, const char* target, bool replace, const char* tag, std::string& reason);

// Creates the temporary file (or opens the device) and its stream. FAILED and
// NO_TEMPORARY leave nothing behind.
int output_file_open(OutputFile& file);

// Completes the file: flushes, syncs and checks it, carries over what the
// replaced file had, and puts it at its name. EXISTS when, without replace, the
// name was taken meanwhile; FAILED for a write or sync failure; NOT_PLACED with
// the system's reason in `failure` when the final step failed. On anything but
// OK the temporary file is gone and the target is as it was.
int output_file_commit(OutputFile& file, char* failure, size_t failure_capacity);

// Ends a file that will not be completed: closes the stream and removes the
// temporary file, and lets go of the folder. Safe to call on every way out,
// after a commit too, and on a record output_file_check never saw.
void output_file_abandon(OutputFile& file);

// For a copy: the new file takes the permission bits and modification time of
// source instead of what a replaced file had. Call once everything is written.
bool output_file_take_mode_and_time(OutputFile& file, const char* source);

// Abandons the file on every way out of a scope; harmless after a commit.
struct OutputFileGuard {
    OutputFile& file;
    ~OutputFileGuard() { output_file_abandon(file); }
};

// The temporary name of attempt number `attempt` (0 to 999) beside target:
// "<stem>.<tag>.tmp<extension>", then "<stem>.<tag>-<attempt>.tmp<extension>",
// the extension taken from the file name (".tmp" without one), so that a
// container chosen by suffix is the same for both names.
std::string output_file_temporary_name(const std::string& target, const char* tag, unsigned attempt);
