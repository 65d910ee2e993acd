// The command line of qv-hdcd-batch: a command word, then PATHs and options in
// any order.
#pragma once

#include <cstdint>
#include <vector>

enum BatchCommand { BATCH_COMMAND_SCAN = 0, BATCH_COMMAND_DECODE = 1, BATCH_COMMAND_REPORT = 2 };

constexpr uint32_t BATCH_MAX_JOBS = 256;

struct BatchOptions {
    int32_t command;
    std::vector<const char*> paths;   // report: the JSON reports to merge
    uint32_t jobs;              // 0: one per logical processor
    const char* csv_path;       // null when not asked for
    const char* json_path;
    const char* html_path;
    bool quiet;
    // scan only: the earlier JSON report whose entries of unchanged files are
    // taken over; the updated report replaces it unless --json names another
    const char* update_path;
    // decode only
    const char* output_dir;     // --to
    int32_t output_format;      // OUTPUT_KIND_FLAC (default) or OUTPUT_KIND_WAV
    bool all_hdcd;
    bool copy_others;
    bool overwrite;
    bool dry_run;
};

// Parses argv[2..] for the command named by argv[1]. False after printing one
// line naming the problem, and the usage, on stderr.
bool batch_options_parse(int argc, char** argv, int32_t command, BatchOptions& options);
