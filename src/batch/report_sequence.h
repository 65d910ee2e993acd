// Hands the files' results to the reports in the collection's order as they
// complete, whatever order the workers finish them in, and then lets go of
// what only the reports needed (the timelines). A worker may run ahead of the
// first file not yet written by a bounded window only, so that the results
// waiting for their turn stay few.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "batch/batch_file.h"
#include "batch/batch_report.h"

constexpr size_t REPORT_WINDOW_FILES = 64;

struct ReportSequence {
    std::vector<BatchFile>* files;
    ReportSet* reports;
    std::vector<uint8_t> ready;   // per file: its result is final
    size_t next;                  // the first file not yet written
    size_t window;                // 0: no bound
    // Called for a file taken over from an earlier report, just before it is
    // written: fills its entry (the timeline too). When that fails the file is
    // written as it stands.
    void (*fill)(void* context, size_t file_index, BatchFile& file);
    void* fill_context;
    std::mutex mutex;
    std::condition_variable advanced;
};

void report_sequence_start(ReportSequence& sequence, std::vector<BatchFile>& files, ReportSet& reports,
                           size_t window);

// Marks a file whose result needs no work (found so by the walk, or taken over).
void report_sequence_mark(ReportSequence& sequence, size_t file_index);

// Waits until the file is within the window, or a cancel is requested.
void report_sequence_wait_turn(ReportSequence& sequence, size_t file_index);

// The file's result is final: it and every ready file after it are written.
void report_sequence_ready(ReportSequence& sequence, size_t file_index);

// Once no worker runs: every file not yet written is written, in order.
void report_sequence_finish(ReportSequence& sequence);
