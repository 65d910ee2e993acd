#pragma once

#include "audio_io/metadata_tags.h"

// Settings of one conversion, collected from the command line. The paths and
// tag values are borrowed from the argument vector.
struct ConversionOptions {
    const char* input_path;
    const char* output_path;
    bool quiet;
    bool eac;
    bool overwrite;
    bool preserve_hdcd;
    MetadataTags tags;
};

// Parses the conversion grammar from argv[1] on into options (cleared first).
// Flags and tag options may stand anywhere; a tag option takes the next
// argument as its value whatever it looks like. Returns true when two file
// names were given and nothing was wrong; otherwise the error (or the usage
// text) has been printed and the exit status is 1.
bool conversion_options_parse(int argc, char** argv, ConversionOptions& options);
