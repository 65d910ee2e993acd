#include "cli/command_line.h"

#include <cstdio>
#include <cstring>

#include "console/console.h"
#include "cli/conversion_options.h"
#include "cli/conversion_run.h"
#include "cli/flac_status_report.h"
#include "cli/scan_command.h"
#include "cli/usage.h"
#include "console/version_info.h"
#include "tools/lle_test_generate.h"
#include "tools/pcm_compare.h"
#include "tools/self_test.h"

int command_line_run(int argc, char** argv) {
    if (argc < 2) {
        print_usage();
        return 1;
    }

    // Command words count only in the first position and only as whole,
    // case-sensitive matches; everything else starts a conversion.
    const char* command = argv[1];
    if (std::strcmp(command, "--help") == 0) {
        print_usage();
        return 0;
    }
    if (std::strcmp(command, "--version") == 0) {
        std::puts(QV_PRODUCT_VERSION_LINE);
        return 0;
    }
    if (std::strcmp(command, "--flac-status") == 0) {
        return flac_status_report();
    }
    if (std::strcmp(command, "--selftest") == 0) {
        self_test();
        return 0;
    }
    if (std::strcmp(command, "--make-lle-test") == 0) {
        if (argc != 3) {
            print_to_stream(stderr, "Usage: qv-hdcd.exe --make-lle-test output.wav\n");
            return 1;
        }
        return lle_test_generate(argv[2]);
    }
    if (std::strcmp(command, "--compare-pcm") == 0) {
        if (argc != 4) {
            print_to_stream(stderr, "Usage: qv-hdcd.exe --compare-pcm a.wav b.wav\n");
            return 1;
        }
        return pcm_compare(argv[2], argv[3]);
    }
    if (std::strcmp(command, "--scan") == 0) {
        return scan_command_run(argc, argv);
    }

    ConversionOptions options;
    if (!conversion_options_parse(argc, argv, options)) return 1;
    return conversion_run(options);
}
