// What qv-hdcd's conversions and tools print when their output file could not
// be started or completed. Each text lives here once.
#pragma once

// The mark in the temporary names of qv-hdcd's outputs.
constexpr char CONVERTER_TEMPORARY_TAG[] = "qv-hdcd-eac";

// Looks at output_path for a conversion or tool (output_file_check) and prints
// why it cannot be written: the output-exists line, or the line of
// print_output_not_writable. True when the output may be written.
struct OutputFile;
bool output_file_check_printing(OutputFile& file, const char* output_path, bool overwrite);

// By OutputFileStatus: "Error: could not create a safe EAC temporary output
// path." when every temporary name is taken; the output-exists line for a name
// that was taken meanwhile; "Error: could not move EAC temporary output into
// place (<reason>)." when the final step failed; otherwise "Error: Unable to
// create output file.". A write or sync failure while completing is the
// caller's own finishing error.
void print_output_file_failure(int status, const char* reason);

// "Error: the output path is <reason>, not a file that can be written." for
// OUTPUT_FILE_NOT_A_FILE and OUTPUT_FILE_BAD_NAME.
void print_output_not_writable(const char* reason);

// Starts the output file after output_file_check_printing; false after printing
// why it could not be started.
bool output_file_open_printing(OutputFile& file);

// Completes the output file; false after printing why not (finish_error, the
// caller's own line, for a write or sync failure).
bool output_file_commit_printing(OutputFile& file, const char* finish_error);
