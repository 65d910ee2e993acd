#include "batch/batch_command_line.h"

#include <cstring>

#include "batch/batch_options.h"
#include "batch/batch_merge.h"
#include "batch/batch_run.h"
#include "batch/batch_usage.h"
#include "console/console.h"

int batch_command_line_run(int argc, char** argv) {
    if (argc < 2) {
        batch_usage_print(stderr);
        return 1;
    }
    const char* command = argv[1];
    if (std::strcmp(command, "--help") == 0) {
        batch_usage_print(stdout);
        return 0;
    }
    if (std::strcmp(command, "--version") == 0) {
        batch_version_print();
        return 0;
    }
    int32_t which = -1;
    if (std::strcmp(command, "scan") == 0) which = BATCH_COMMAND_SCAN;
    if (std::strcmp(command, "decode") == 0) which = BATCH_COMMAND_DECODE;
    if (std::strcmp(command, "report") == 0) which = BATCH_COMMAND_REPORT;
    if (which < 0) {
        print_to_stream(stderr, "Error: unknown command %s\n\n", command);
        batch_usage_print(stderr);
        return 1;
    }
    BatchOptions options;
    if (!batch_options_parse(argc, argv, which, options)) return 1;
    return which == BATCH_COMMAND_REPORT ? batch_merge_run(options) : batch_run(options);
}
