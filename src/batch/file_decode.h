// What decode does with one file once it was scanned: decode it into the
// output folder, copy it there, leave an existing output alone, or skip it.
// Every output goes through the output room: written under a temporary name
// beside its target and put in place only when complete; a failure or a cancel
// removes it.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "batch/batch_file.h"
#include "batch/file_scan.h"
#include "files/output_file.h"
#include "operations/decode_core.h"

struct DecodePlan {
    std::string output_root;    // the --to folder, as given
    std::vector<std::string> input_roots;  // the PATH arguments: no output may land inside one
    int32_t output_kind;        // OUTPUT_KIND_FLAC or OUTPUT_KIND_WAV
    bool all_hdcd;              // decode signalling-only files too
    bool copy_others;
    bool overwrite;
    bool dry_run;
    std::atomic<bool>* disk_full;  // set by the first output that ran out of room
    // Threads one FLAC encoder may use when libFLAC has them
    // (encoder_threads_for_jobs): the pool's share of the processors.
    uint32_t encoder_threads;
};

// The action of an output that ran out of room.
extern const char BATCH_DISK_FULL_ACTION[];

// Before anything is written: files whose output could coincide with another
// file's (x.wav and x.flac both decoding to x.flac, say) are marked as a
// possible clash. They are scanned with the others but written only once
// every scan is done.
void decode_mark_output_clashes(std::vector<BatchFile>& files, const DecodePlan& plan);

// Once every file is scanned: the possible clashes that are real (two files
// whose actual outputs share a name) are marked failed, naming the other,
// whatever the order of the work; the rest are cleared, and their indices
// returned, to be written now.
std::vector<size_t> decode_settle_output_clashes(std::vector<BatchFile>& files, const DecodePlan& plan);

// One file's decode while it is under way.
struct FileDecodeState {
    const DecodePlan* plan;
    std::string target;
    OutputFile file;      // the output, while it is written
    DecodeCore core;
    bool done;            // decoded in the scan's pass and renamed into place
    std::string failure;  // the action of an output that failed in the scan's pass
    ScanOutput output;
};

// Before the scan: when the file may be decoded into a new output, the output
// to write in the scan's own pass (null when none could be written).
ScanOutput* file_decode_prepare(FileDecodeState& state, const BatchFile& file, const DecodePlan& plan);

// After the scan: fills the file's action and output, writing what the plan
// asks for that the scan's pass has not written. A cancel abandons the output
// and clears file.scanned: the file counts as not done.
void file_decode_run(BatchFile& file, const DecodePlan& plan, FileDecodeState& state);

// The action's first word: "decoded", "copied", "exists", "skipped", "failed",
// "would decode" or "would copy".
std::string batch_action_kind(const BatchFile& file);
