// Safe output for runs where input and output may be one file (EAC names the
// same file for both): the output is written to a temporary file beside it,
// checked, and only then moved over the original.
#pragma once

#include <cstddef>

#include "platform/owned_file.h"

// Room for a temporary path with its terminating zero.
constexpr size_t EAC_TEMP_PATH_CAPACITY = 4096;

// How one conversion run writes its output.
struct EacOutput {
    bool check_output;  // --eac: the requested output must exist and hold data at the end
    bool through_temp;  // the output is written to temp_path and moved into place
    bool temp_owned;    // temp_file describes the file at temp_path, which this run made
    char temp_path[EAC_TEMP_PATH_CAPACITY];
    FileStamp temp_file;
};

// True when the two paths name one file: their absolute forms are equal with
// ASCII letters folded to lower case (the paths as given when either cannot be
// made absolute), or both exist and are the same file on disk (links included)
// or might be, their identity being unreadable.
bool same_file(const char* input_path, const char* output_path);

// Formats temporary name number attempt (0 to 999) beside output_path with the
// output's extension (taken from the final path component; ".tmp" without one).
// False when the name would not fit in capacity bytes.
bool eac_temp_name(const char* output_path, unsigned attempt, char* temp_path, size_t capacity);

// True when path opens for reading and holds at least one byte.
bool file_has_data(const char* path);

// When the plan writes through a temporary file, creates it under the first
// free temporary name, exclusively: a name at which anything at all exists, a
// dangling link included, is taken. Where the directory refuses the creation
// outright, the first name that is free is left for the operation to create
// (and to fail on). On failure prints "Error: could not create a safe EAC
// temporary output path." and returns false.
bool eac_output_choose_temp(EacOutput& plan, const char* output_path);

// The path the operation writes: the temporary path or output_path itself.
const char* eac_output_write_path(const EacOutput& plan, const char* output_path);

// Removes the temporary file while it is still the one this run made; safe to
// call on every way out of the run, also after the move.
void eac_output_abandon(EacOutput& plan);

// After a successful operation: checks the temporary file, gives it the access
// rights of the file it replaces and moves it onto output_path, then (with
// --eac) checks the requested output. Each failure is reported on stderr;
// returns the exit status, 0 or 1.
int eac_output_complete(EacOutput& plan, const char* output_path);
