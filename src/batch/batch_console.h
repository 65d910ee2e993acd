// What qv-hdcd-batch prints on the console: the progress line on stderr while a
// terminal is attached, then one line per album and the totals on stdout.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "batch/album_summary.h"
#include "batch/batch_file.h"

struct BatchProgressLine {
    bool shown;                            // not quiet and stderr is a terminal
    const std::vector<BatchFile>* files;
    uint64_t total_files;
    uint64_t total_bytes;
    std::atomic<uint64_t>* files_done;
    std::atomic<uint64_t>* bytes_done;
    std::atomic<size_t>* current;          // the file started last
    std::chrono::steady_clock::time_point started;
    size_t last_length;                    // characters drawn last time, to blank what is left of them
};

// Redraws the line; at most ten times a second is up to the caller.
void batch_progress_draw(BatchProgressLine& line);

// Blanks the line once the run is over.
void batch_progress_clear(BatchProgressLine& line);

// "12.3 MB", "1.50 GB", "512 bytes".
void format_bytes(char* buffer, size_t size, uint64_t bytes);

// A duration as minutes:seconds, rounded to the second; "--:--" when negative
// (not known).
void format_duration(char* buffer, size_t size, double seconds);

// One line per album on stdout: "[HDCD] path: 10 tracks (9 hdcd, 1 signalling-only, 0 none, 0 errors)",
// with "N decoded," before the none when the album has a decoder's output.
void batch_print_albums(const std::vector<BatchAlbum>& albums);

// The errors, one line each on stderr: "Error: path: message"; and a warning
// for each WAV read in this run whose data ends before its header says.
void batch_print_errors(const std::vector<BatchFile>& files);

// The totals line on stdout; "N decoded tracks" only when there are any.
void batch_print_totals(const BatchTotals& totals);

// What decode did, counted by the first word of each file's action.
struct BatchActionCounts {
    uint64_t decoded;
    uint64_t copied;
    uint64_t exists;
    uint64_t skipped;
    uint64_t failed;
    uint64_t would_decode;
    uint64_t would_copy;
};

void batch_count_actions(const std::vector<BatchFile>& files, BatchActionCounts& counts);

// --dry-run: one line per file on stdout, "would decode: IN -> OUT", "exists: OUT", "skipped: no HDCD: IN".
void batch_print_plan(const std::vector<BatchFile>& files);

// The failed actions, one line each on stderr (scan errors are printed already;
// a full disk is told once, by batch_print_disk_full).
void batch_print_action_failures(const std::vector<BatchFile>& files);

// The one message of a run that a full disk stopped, on stderr.
void batch_print_disk_full(const BatchActionCounts& counts);

// "Decode into DIR: 3 decoded, 10 copied, 0 exist, 2 skipped, 0 failed" on stdout.
void batch_print_actions(const BatchActionCounts& counts, const char* output_dir, bool dry_run);

struct WorkerPoolOutcome;

// Not one worker thread could be started: the one line of a run that stops.
void batch_print_no_worker(const WorkerPoolOutcome& pool);

// Fewer worker threads than asked for were started; the run went on with them.
void batch_print_fewer_workers(const WorkerPoolOutcome& pool);
