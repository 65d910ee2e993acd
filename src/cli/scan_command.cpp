#include "cli/scan_command.h"

#include <cstring>

#include "console/console.h"
#include "audio_io/flac_suffix.h"
#include "cli/usage.h"
#include "operations/scan_input.h"

int scan_command_run(int argc, char** argv) {
    if (argc < 3) {
        print_usage();
        return 1;
    }
    // The argument after --scan is the input, whatever it looks like.
    const char* input_path = argv[2];
    bool quiet = false;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quiet") != 0) {
            print_to_stream(stderr, "Unexpected argument: %s\n", argv[i]);
            return 1;
        }
        quiet = true;
    }
    return has_flac_suffix(input_path) ? scan_flac_input(input_path, quiet) : scan_wav_input(input_path, quiet);
}
