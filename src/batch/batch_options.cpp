#include "batch/batch_options.h"

#include <cstdlib>
#include <cstring>

#include "batch/batch_usage.h"
#include "console/console.h"

namespace {

bool argument_error(const char* format, const char* detail) {
    print_to_stream(stderr, "Error: ");
    print_to_stream(stderr, format, detail);
    print_to_stream(stderr, "\n\n");
    batch_usage_print(stderr);
    return false;
}

bool parse_jobs(const char* text, uint32_t& jobs) {
    if (*text < '0' || *text > '9') return false;
    char* end = nullptr;
    const unsigned long value = strtoul(text, &end, 10);
    if (*end != '\0' || value < 1 || value > BATCH_MAX_JOBS) return false;
    jobs = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

bool batch_options_parse(int argc, char** argv, int32_t command, BatchOptions& options) {
    options = BatchOptions{};
    options.command = command;
    bool options_ended = false;
    for (int i = 2; i < argc; ++i) {
        const char* argument = argv[i];
        if (options_ended || std::strncmp(argument, "--", 2) != 0) {
            options.paths.push_back(argument);
            continue;
        }
        if (std::strcmp(argument, "--") == 0) {
            options_ended = true;
            continue;
        }
        if (std::strcmp(argument, "--quiet") == 0) {
            options.quiet = true;
            continue;
        }
        const char** value_target = nullptr;
        if (std::strcmp(argument, "--csv") == 0) value_target = &options.csv_path;
        if (std::strcmp(argument, "--json") == 0) value_target = &options.json_path;
        if (std::strcmp(argument, "--html") == 0) value_target = &options.html_path;
        const bool is_jobs = std::strcmp(argument, "--jobs") == 0;
        if (value_target == nullptr && !is_jobs) return argument_error("unknown option %s", argument);
        if (i + 1 >= argc) return argument_error("%s needs a value", argument);
        const char* value = argv[++i];
        if (is_jobs) {
            if (!parse_jobs(value, options.jobs)) return argument_error("--jobs takes a number from 1 to 256, not %s", value);
        } else {
            *value_target = value;
        }
    }
    if (options.paths.empty()) return argument_error("%s", "no PATH given");
    return true;
}
