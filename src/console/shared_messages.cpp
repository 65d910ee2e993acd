#include "console/shared_messages.h"

#include "console/console.h"

void print_out_of_memory() {
    print_to_stream(stderr, "Error: out of memory.\n");
}

void print_flac_decode_error() {
    print_to_stream(stderr, "Error while decoding FLAC input.\n");
}

void print_output_exists() {
    print_to_stream(stderr, "Error: output file exists. Use --overwrite to replace it.\n");
}

const char OUTPUT_FLAC_WRITE_ERROR[] = "\nError writing FLAC output.\n";
const char OUTPUT_FLAC_FINISH_ERROR[] = "Error finalizing FLAC output.\n";
const char OUTPUT_WAV_FINISH_ERROR[] = "Error finalizing WAV/RF64 output.\n";
