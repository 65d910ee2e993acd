#include "batch/batch_options.h"

#include <cstdlib>
#include <cstring>

#include "audio_io/output_sink.h"
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
    options.output_format = OUTPUT_KIND_FLAC;
    const bool decode = command == BATCH_COMMAND_DECODE;
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
        bool* flag = nullptr;
        if (std::strcmp(argument, "--quiet") == 0) flag = &options.quiet;
        if (decode && std::strcmp(argument, "--all-hdcd") == 0) flag = &options.all_hdcd;
        if (decode && std::strcmp(argument, "--copy-others") == 0) flag = &options.copy_others;
        if (decode && std::strcmp(argument, "--overwrite") == 0) flag = &options.overwrite;
        if (decode && std::strcmp(argument, "--dry-run") == 0) flag = &options.dry_run;
        if (flag != nullptr) {
            *flag = true;
            continue;
        }
        const char** value_target = nullptr;
        if (std::strcmp(argument, "--csv") == 0) value_target = &options.csv_path;
        if (std::strcmp(argument, "--json") == 0) value_target = &options.json_path;
        if (std::strcmp(argument, "--html") == 0) value_target = &options.html_path;
        if (command == BATCH_COMMAND_SCAN && std::strcmp(argument, "--update") == 0) {
            value_target = &options.update_path;
        }
        const char* format = nullptr;
        if (decode && std::strcmp(argument, "--to") == 0) value_target = &options.output_dir;
        if (decode && std::strcmp(argument, "--format") == 0) value_target = &format;
        const bool is_jobs = command != BATCH_COMMAND_REPORT && std::strcmp(argument, "--jobs") == 0;
        if (value_target == nullptr && !is_jobs) return argument_error("unknown option %s", argument);
        if (i + 1 >= argc) return argument_error("%s needs a value", argument);
        const char* value = argv[++i];
        if (is_jobs) {
            if (!parse_jobs(value, options.jobs)) {
                return argument_error("--jobs takes a number from 1 to 256, not %s", value);
            }
        } else {
            *value_target = value;
        }
        if (format != nullptr) {
            if (std::strcmp(format, "flac") != 0 && std::strcmp(format, "wav") != 0) {
                return argument_error("--format takes flac or wav, not %s", format);
            }
            options.output_format = std::strcmp(format, "wav") == 0 ? OUTPUT_KIND_WAV : OUTPUT_KIND_FLAC;
        }
    }
    if (options.paths.empty()) {
        return argument_error("%s", command == BATCH_COMMAND_REPORT ? "no REPORT.json given" : "no PATH given");
    }
    if (options.update_path != nullptr && options.json_path == nullptr) options.json_path = options.update_path;
    if (decode && options.output_dir == nullptr) return argument_error("%s", "decode needs --to DIR");
    return true;
}
