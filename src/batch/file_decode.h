// What decode does with one file once it was scanned: decode it into the
// output folder, copy it there, leave an existing output alone, or skip it.
// Every output is written under a temporary name beside its target and renamed
// into place only when complete; a failure or a cancel removes it.
#pragma once

#include <atomic>
#include <string>

#include "batch/batch_file.h"

struct DecodePlan {
    std::string output_root;    // the --to folder, as given
    int32_t output_kind;        // OUTPUT_KIND_FLAC or OUTPUT_KIND_WAV
    bool all_hdcd;              // decode signalling-only files too
    bool copy_others;
    bool overwrite;
    bool dry_run;
    std::atomic<bool>* disk_full;  // set by the first output that ran out of room
    uint32_t encoder_threads;   // threads one FLAC encoder may use
};

// Fills the file's action and output, writing what the plan asks for. A cancel
// abandons the output and clears file.scanned: the file counts as not done.
void file_decode_run(BatchFile& file, const DecodePlan& plan);

// The action's first word: "decoded", "copied", "exists", "skipped", "failed",
// "would decode" or "would copy".
std::string batch_action_kind(const BatchFile& file);
