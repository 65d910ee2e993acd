#include "console/shared_messages.h"

#include "console/console.h"

void print_out_of_memory() {
    print_to_stream(stderr, "Error: out of memory.\n");
}

const char FLAC_DECODE_ERROR_TEXT[] = "Error while decoding FLAC input.";

void print_output_exists() {
    print_to_stream(stderr, "Error: output file exists. Use --overwrite to replace it.\n");
}

const char OUTPUT_FLAC_WRITE_ERROR[] = "\nError writing FLAC output.\n";
const char OUTPUT_FLAC_FINISH_ERROR[] = "Error finalizing FLAC output.\n";
const char OUTPUT_WAV_FINISH_ERROR[] = "Error finalizing WAV/RF64 output.\n";

const char INPUT_READ_ERROR_TEXT[] = "Error reading the input file.";

void print_input_failure(const char* text) {
    print_to_stream(stderr, "%s\n", text);
}
