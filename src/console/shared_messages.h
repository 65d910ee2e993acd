// Messages that several operations and tools print. Each text lives here once.
#pragma once

// "Error: out of memory.\n" on stderr.
void print_out_of_memory();

// "Error while decoding FLAC input.": the FLAC decoder failed somewhere in the
// stream, a bad MD5 signature included.
extern const char FLAC_DECODE_ERROR_TEXT[];

// A WAV/RF64 input whose reading failed in the middle (a disk error), as
// opposed to one that simply ends early.
extern const char INPUT_READ_ERROR_TEXT[];  // "Error reading the input file."

// Prints text and a line break on stderr: the failure of a block loop's input.
void print_input_failure(const char* text);

// "Error: output file exists. Use --overwrite to replace it.\n" on stderr.
void print_output_exists();

// Write and finishing failures of the decode and preserve loops.
extern const char OUTPUT_FLAC_WRITE_ERROR[];   // "\nError writing FLAC output.\n"
extern const char OUTPUT_FLAC_FINISH_ERROR[];  // "Error finalizing FLAC output.\n"
extern const char OUTPUT_WAV_FINISH_ERROR[];   // "Error finalizing WAV/RF64 output.\n"
